/* Host model of the leds-gpio driver's platform data. */
#ifndef KMODEL_LINUX_LEDS_H
#define KMODEL_LINUX_LEDS_H

#define LEDS_GPIO_DEFSTATE_OFF 0
#define LEDS_GPIO_DEFSTATE_ON 1
#define LEDS_GPIO_DEFSTATE_KEEP 2

struct gpio_led {
    const char *name;
    const char *default_trigger;
    unsigned gpio;
    unsigned active_low : 1;
    unsigned retain_state_suspended : 1;
    unsigned default_state : 2;
};

struct gpio_led_platform_data {
    int num_leds;
    const struct gpio_led *leds;
    int (*gpio_blink_set)(unsigned gpio, int state, unsigned long *delay_on,
                          unsigned long *delay_off);
};

#endif
