// SPDX-License-Identifier: GPL-2.0
/*
 * Board status LEDs: hands the LED table to the kernel's generic leds-gpio
 * driver, which creates the LED devices and attaches the triggers. The module
 * drives no GPIO itself.
 */
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/leds.h>
#include <linux/module.h>
#include <linux/platform_device.h>

/* All three LEDs light when their line is driven low. */
static struct gpio_led lampora[] = {
	{
		.name = "READY",
		.default_trigger = "heartbeat",
		.gpio = 36,
		.active_low = 1,
		.retain_state_suspended = 0,
		.default_state = LEDS_GPIO_DEFSTATE_OFF,
	},
	{
		.name = "LINK",
		.default_trigger = "mmc0",
		.gpio = 37,
		.active_low = 1,
		.retain_state_suspended = 0,
		.default_state = LEDS_GPIO_DEFSTATE_OFF,
	},
	{
		.name = "Reserve",
		.default_trigger = "gpio",
		.gpio = 38,
		.active_low = 1,
		.retain_state_suspended = 0,
		.default_state = LEDS_GPIO_DEFSTATE_OFF,
	},
};

static struct gpio_led_platform_data lampora_info = {
	.num_leds = ARRAY_SIZE(lampora),
	.leds = lampora,
};

/*
 * Never unregistered, so it needs no release routine. The id -1 names the
 * device plainly "leds-gpio", which is what the driver binds to.
 */
static struct platform_device lampora_device = {
	.name = "leds-gpio",
	.id = -1,
	.dev = {
		.platform_data = &lampora_info,
	},
};

static int __init lampora_init(void)
{
	unsigned int i;

	/* Logged before registering, so a failed load still shows the board. */
	for (i = 0; i < ARRAY_SIZE(lampora); i++) {
		const struct gpio_led *led = &lampora[i];

		/*
		 * 32 lines per bank, banks lettered from A. No log level on
		 * purpose: the lines go out at the kernel's default level.
		 */
		printk("Set <%s> to [%s], Pin: GP%c%d\n", led->name,
		       led->default_trigger, 'A' + led->gpio / 32,
		       led->gpio % 32);
	}
	return platform_device_register(&lampora_device);
}

/* No exit routine: the device stays registered until the system stops. */
module_init(lampora_init);

/* GPL: platform_device_register is exported to GPL modules only. */
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("LAMPORA driver");
