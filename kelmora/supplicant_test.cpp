#include "settings.h"
#include "supplicant.h"

#include "case_name.h"
#include "rows.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Case {
    std::string name;
    std::string config;
    std::string fault; // its reason, empty for none
    long line;         // 0: none
    std::string ssid;
    int auth_mode;
    int encrypt_type;
    std::string key;
};

std::vector<Case> load_cases() {
    std::vector<Case> cases;
    for (const Row &row : load_rows(
             TEST_ROWS_DIR "/supplicant_test.rows",
             {"name", "config", "fault", "line", "ssid", "auth_mode", "encrypt_type", "key"})) {
        const bool numbered = !row_texts(row, "line").empty();
        cases.push_back({row_text(row, "name"), row_text(row, "config"), row_text(row, "fault"),
                         numbered ? row_int(row, "line") : 0, row_text(row, "ssid"),
                         row_int(row, "auth_mode"), row_int(row, "encrypt_type"),
                         row_text(row, "key")});
    }
    return cases;
}

struct Supplicant : testing::TestWithParam<Case> {};

TEST_P(Supplicant, DistilsSettings) {
    const Case &c = GetParam();
    char path[] = "/tmp/kelmora-supplicant-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, c.config.data(), c.config.size()), static_cast<ssize_t>(c.config.size()));
    close(fd);

    std::memset(&network_settings, 0, sizeof network_settings);
    testing::internal::CaptureStdout();
    const Failure failure = parse_supplicant_config(path);
    const std::string summary = testing::internal::GetCapturedStdout();
    unlink(path);

    const char *why = fault_text(failure.fault).why;
    EXPECT_EQ(why != nullptr ? why : "", c.fault);
    EXPECT_EQ(failure.number, c.line);
    EXPECT_EQ(network_settings.ssid, c.ssid);
    EXPECT_EQ(network_settings.auth_mode, c.auth_mode);
    EXPECT_EQ(network_settings.encrypt_type, c.encrypt_type);
    EXPECT_EQ(network_settings.key, c.key);
    EXPECT_EQ(summary, "SSID: " + c.ssid + "\nAuthMode: " + std::to_string(c.auth_mode) +
                           "\nEncType: " + std::to_string(c.encrypt_type) + "\nEncKey: " + c.key +
                           "\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, Supplicant, testing::ValuesIn(load_cases()), CaseName());

TEST(SupplicantFailures, UnopenableFileGivesItsErrorAndNoSummary) {
    testing::internal::CaptureStdout();
    const Failure failure = parse_supplicant_config("/nonexistent/wpa.conf");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(failure.fault, Fault::input_unread);
    EXPECT_EQ(failure.error, ENOENT);
}

TEST(SupplicantFailures, ReadErrorIsNotEndOfFile) {
    testing::internal::CaptureStdout();
    const Failure failure = parse_supplicant_config("/tmp"); // opens, but cannot be read
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(failure.fault, Fault::input_unread);
    EXPECT_EQ(failure.error, EISDIR);
}

} // namespace
