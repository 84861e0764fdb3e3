// Loads lampora into the host model of the kernel and checks what it hands over.
// The model is C, as the kernel is.
extern "C" {
#include "kmodel.h"
#include <linux/leds.h>
#include <linux/module.h>
#include <linux/platform_device.h>
}

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The board's wiring, in table order; every LED is active low, off at start and not
// kept on in suspend.
struct ExpectedLed {
    const char *name;
    const char *trigger;
    unsigned gpio;
};
const ExpectedLed kBoardLeds[] = {
    {"READY", "heartbeat", 36}, {"LINK", "mmc0", 37}, {"Reserve", "gpio", 38}};

// Loads the module with registration returning err: it logs one line per LED, as in
// expected.log, and registers once, after the whole log.
void expect_load(int err) {
    SCOPED_TRACE(err);
    std::ifstream in(LAMPORA_EXPECTED_LOG, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << "cannot open " << LAMPORA_EXPECTED_LOG;
    kmodel_reset(err);
    EXPECT_EQ(init_module(), err);
    EXPECT_EQ(std::string(kmodel.log, kmodel.log_length),
              std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    EXPECT_EQ(kmodel.register_calls, 1);
    EXPECT_EQ(kmodel.log_length_at_register, kmodel.log_length);
}

TEST(LamporaModel, LoadLogsOneLinePerLedThenRegisters) {
    expect_load(0);
}

TEST(LamporaModel, RegistersThePlainLedsGpioDevice) {
    kmodel_reset(0);
    ASSERT_EQ(init_module(), 0);
    const platform_device *dev = kmodel.registered_device;
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
    ASSERT_NE(kmodel.registered_device, nullptr);
    const auto *info =
        static_cast<const gpio_led_platform_data *>(kmodel.registered_device->dev.platform_data);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->gpio_blink_set, nullptr);
    ASSERT_EQ(info->num_leds, static_cast<int>(std::size(kBoardLeds)));
    ASSERT_NE(info->leds, nullptr);
    for (int i = 0; i < info->num_leds; i++) {
        const gpio_led &got = info->leds[i];
        SCOPED_TRACE(kBoardLeds[i].name);
        EXPECT_STREQ(got.name, kBoardLeds[i].name);
        EXPECT_STREQ(got.default_trigger, kBoardLeds[i].trigger);
        EXPECT_EQ(got.gpio, kBoardLeds[i].gpio);
        EXPECT_EQ(got.active_low, 1u);
        EXPECT_EQ(got.retain_state_suspended, 0u);
        EXPECT_EQ(got.default_state, LEDS_GPIO_DEFSTATE_OFF);
    }
}

TEST(LamporaModel, FailedRegistrationFailsTheLoadAfterLogging) {
    for (int err : {-EEXIST, -ENOMEM, -EBUSY}) {
        expect_load(err);
    }
}

TEST(LamporaModel, InitRoutineIsDiscardableInitCode) {
    EXPECT_TRUE(kmodel_is_init_text(kmodel_init_entry));
}

TEST(LamporaModel, ModuleInformation) {
    EXPECT_STREQ(kmodel_module_license, "GPL"); // fails on a null one too
    EXPECT_STREQ(kmodel_module_description, "LAMPORA driver");
}

} // namespace
