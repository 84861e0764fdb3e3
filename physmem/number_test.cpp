#include "number.h"

#include <gtest/gtest.h>

namespace {

struct hex_case {
    const char *text;
    uint32_t value;
};

// What strtoul with base 16 gives on the 32-bit device.
const hex_case hex_cases[] = {
    {"1000", 0x1000},
    {"0x1000", 0x1000},
    {"0X1000", 0x1000},
    {"DeadBeef", 0xdeadbeef},
    {"ffffffff", 0xffffffff},
    {"100000000", 0xffffffff},
    {"123456789abcdef0", 0xffffffff},
    {"-100000000", 0xffffffff},
    {"00000000000001", 1},
    {"  \t\n\v\f\r1f", 0x1f},
    {"+10", 0x10},
    {"-4", 0xfffffffc},
    {" -4", 0xfffffffc},
    {"-0x10", 0xfffffff0},
    {"-0", 0},
    {"-ffffffff", 1},
    {"12zz", 0x12},
    {"0x", 0},
    {"0xg1", 0},
    {"x10", 0},
    {"zz", 0},
    {"", 0},
    {"+-1", 0},
    {"- 1", 0},
};

TEST(ReadHex32, MatchesThirtyTwoBitStrtoul) {
    for (const auto &c : hex_cases) {
        EXPECT_EQ(read_hex32(c.text), c.value) << '"' << c.text << '"';
    }
}

struct size_case {
    const char *text;
    int32_t value;
};

// A saturating 32-bit strtol with base 10.
const size_case size_cases[] = {
    {"16", 16},
    {"0", 0},
    {"  5", 5},
    {"+7", 7},
    {"-4", -4},
    {" -4", -4},
    {"12abc", 12},
    {"0x10", 0},
    {"abc", 0},
    {"", 0},
    {"--1", 0},
    {"2147483647", INT32_MAX},
    {"2147483648", INT32_MAX},
    {"4294967300", INT32_MAX},
    {"99999999999999999999999", INT32_MAX},
    {"-2147483648", INT32_MIN},
    {"-2147483649", INT32_MIN},
    {"-4294967292", INT32_MIN},
    {"000000000000000000000012", 12},
};

TEST(ReadSize, SaturatingSignedDecimal) {
    for (const auto &c : size_cases) {
        EXPECT_EQ(read_size(c.text), c.value) << '"' << c.text << '"';
    }
}

} // namespace
