#include "settings.h"
#include "supplicant.h"

#include "rows.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Supplicant : testing::TestWithParam<NamedRow> {};

TEST_P(Supplicant, DistilsSettings) {
    const Row &row = GetParam().row;
    const std::string config = row_text(row, "config");
    char path[] = "/tmp/kelmora-supplicant-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, config.data(), config.size()), static_cast<ssize_t>(config.size()));
    close(fd);

    std::memset(&network_settings, 0, sizeof network_settings);
    testing::internal::CaptureStdout();
    const Failure failure = parse_supplicant_config(path);
    const std::string summary = testing::internal::GetCapturedStdout();
    unlink(path);

    const char *why = fault_text(failure.fault).why;
    EXPECT_EQ(why != nullptr ? why : "", row_text(row, "fault"));
    EXPECT_EQ(failure.number, row_texts(row, "line").empty() ? 0 : row_int(row, "line"));
    const std::string ssid = row_text(row, "ssid"), key = row_text(row, "key");
    EXPECT_EQ(network_settings.ssid, ssid);
    EXPECT_EQ(network_settings.auth_mode, row_int(row, "auth_mode"));
    EXPECT_EQ(network_settings.encrypt_type, row_int(row, "encrypt_type"));
    EXPECT_EQ(network_settings.key, key);
    EXPECT_EQ(summary, "SSID: " + ssid +
                           "\nAuthMode: " + std::to_string(row_int(row, "auth_mode")) +
                           "\nEncType: " + std::to_string(row_int(row, "encrypt_type")) +
                           "\nEncKey: " + key + "\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, Supplicant,
                         testing::ValuesIn(load_named_rows(TEST_ROWS_DIR "/supplicant_test.rows",
                                                           {"name", "config", "fault", "line",
                                                            "ssid", "auth_mode", "encrypt_type",
                                                            "key"})),
                         row_name);

// A file that opens but cannot be read fails as one that does not open: its error, and
// no summary.
void expect_unread(const char *path, int error) {
    testing::internal::CaptureStdout();
    const Failure failure = parse_supplicant_config(path);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(failure.fault, Fault::input_unread);
    EXPECT_EQ(failure.error, error);
}

TEST(SupplicantFailures, UnopenableFileGivesItsErrorAndNoSummary) {
    expect_unread("/nonexistent/wpa.conf", ENOENT);
}

TEST(SupplicantFailures, ReadErrorIsNotEndOfFile) {
    expect_unread("/tmp", EISDIR);
}

} // namespace
