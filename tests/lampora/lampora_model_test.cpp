// Loads lampora into the host model of the kernel and checks what it hands over.
#include "kmodel.h"

#include <linux/leds.h>
#include <linux/module.h>
#include <linux/platform_device.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct ExpectedLed {
    const char *name;
    const char *trigger;
    unsigned gpio;
    unsigned active_low;
    unsigned retain_state_suspended;
    unsigned default_state;
};

// The board's wiring, in table order.
const ExpectedLed kBoardLeds[] = {
    {"READY", "heartbeat", 36, 1, 0, LEDS_GPIO_DEFSTATE_OFF},
    {"LINK", "mmc0", 37, 1, 0, LEDS_GPIO_DEFSTATE_OFF},
    {"Reserve", "gpio", 38, 1, 0, LEDS_GPIO_DEFSTATE_OFF},
};

std::string expected_log() {
    std::ifstream in(LAMPORA_EXPECTED_LOG, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << "cannot open " << LAMPORA_EXPECTED_LOG;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const gpio_led_platform_data *loaded_info() {
    const platform_device *dev = kmodel_registered_device();
    if (dev == nullptr)
        return nullptr;
    return static_cast<const gpio_led_platform_data *>(dev->dev.platform_data);
}

TEST(LamporaModel, LoadLogsOneLinePerLedThenRegisters) {
    kmodel_reset(0);
    EXPECT_EQ(init_module(), 0);
    EXPECT_EQ(std::string(kmodel_log(), kmodel_log_length()), expected_log());
    EXPECT_EQ(kmodel_register_calls(), 1);
    EXPECT_EQ(kmodel_log_length_at_register(), kmodel_log_length());
}

TEST(LamporaModel, RegistersThePlainLedsGpioDevice) {
    kmodel_reset(0);
    ASSERT_EQ(init_module(), 0);
    const platform_device *dev = kmodel_registered_device();
    ASSERT_NE(dev, nullptr);
    EXPECT_STREQ(dev->name, "leds-gpio");
    EXPECT_EQ(dev->id, -1);
    EXPECT_NE(dev->dev.platform_data, nullptr);
    EXPECT_EQ(dev->dev.release, nullptr);
    EXPECT_EQ(dev->num_resources, 0u);
    EXPECT_EQ(dev->resource, nullptr);
}

TEST(LamporaModel, PlatformDataHoldsTheBoardTable) {
    kmodel_reset(0);
    ASSERT_EQ(init_module(), 0);
    const gpio_led_platform_data *info = loaded_info();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->gpio_blink_set, nullptr);
    const int count = static_cast<int>(sizeof(kBoardLeds) / sizeof(kBoardLeds[0]));
    ASSERT_EQ(info->num_leds, count);
    ASSERT_NE(info->leds, nullptr);
    for (int i = 0; i < count; i++) {
        const gpio_led &got = info->leds[i];
        const ExpectedLed &want = kBoardLeds[i];
        SCOPED_TRACE(want.name);
        EXPECT_STREQ(got.name, want.name);
        EXPECT_STREQ(got.default_trigger, want.trigger);
        EXPECT_EQ(got.gpio, want.gpio);
        EXPECT_EQ(got.active_low, want.active_low);
        EXPECT_EQ(got.retain_state_suspended, want.retain_state_suspended);
        EXPECT_EQ(got.default_state, want.default_state);
    }
}

TEST(LamporaModel, FailedRegistrationFailsTheLoadAfterLogging) {
    for (int err : {-EEXIST, -ENOMEM, -EBUSY}) {
        SCOPED_TRACE(err);
        kmodel_reset(err);
        EXPECT_EQ(init_module(), err);
        EXPECT_EQ(kmodel_register_calls(), 1);
        EXPECT_EQ(std::string(kmodel_log(), kmodel_log_length()), expected_log());
        EXPECT_EQ(kmodel_log_length_at_register(), kmodel_log_length());
    }
}

TEST(LamporaModel, InitRoutineIsDiscardableInitCode) {
    EXPECT_TRUE(kmodel_is_init_text(kmodel_init_entry));
}

TEST(LamporaModel, ModuleInformation) {
    ASSERT_NE(kmodel_module_license, nullptr);
    EXPECT_STREQ(kmodel_module_license, "GPL");
    ASSERT_NE(kmodel_module_description, nullptr);
    EXPECT_STREQ(kmodel_module_description, "LAMPORA driver");
}

} // namespace
