#include "settings.h"
#include "supplicant.h"

#include "case_name.h"
#include "rows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Case {
    std::string name;
    std::string config;
    int result;
    std::string ssid;
    int auth_mode;
    int encrypt_type;
    std::string key;
};

std::vector<Case> load_cases() {
    std::vector<Case> cases;
    for (const Row &row :
         load_rows(TEST_ROWS_DIR "/supplicant_test.rows",
                   {"name", "config", "result", "ssid", "auth_mode", "encrypt_type", "key"})) {
        cases.push_back({row_text(row, "name"), row_text(row, "config"), row_int(row, "result"),
                         row_text(row, "ssid"), row_int(row, "auth_mode"),
                         row_int(row, "encrypt_type"), row_text(row, "key")});
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
    const int result = parse_supplicant_config(path);
    const std::string summary = testing::internal::GetCapturedStdout();
    unlink(path);

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(network_settings.ssid, c.ssid);
    EXPECT_EQ(network_settings.auth_mode, c.auth_mode);
    EXPECT_EQ(network_settings.encrypt_type, c.encrypt_type);
    EXPECT_EQ(network_settings.key, c.key);
    EXPECT_EQ(summary, "SSID: " + c.ssid + "\nAuthMode: " + std::to_string(c.auth_mode) +
                           "\nEncType: " + std::to_string(c.encrypt_type) + "\nEncKey: " + c.key +
                           "\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, Supplicant, testing::ValuesIn(load_cases()), CaseName());

TEST(SupplicantFailures, UnopenableFileGivesMinusOneAndNoSummary) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_supplicant_config("/nonexistent/wpa.conf"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(SupplicantFailures, ReadErrorIsNotEndOfFile) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_supplicant_config("/tmp"), -1); // a directory opens but cannot be read
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
