// SPDX-License-Identifier: GPL-2.0
/*
 * The emulated board's GPIO controller: owns lines 32 to 63, where the LEDs
 * sit, and shows in debugfs ("board-gpio-sim/lines") each line's level and
 * how often it has changed, so one can watch what the LED driver does.
 */
#include <linux/bitops.h>
#include <linux/debugfs.h>
#include <linux/module.h>
#include <linux/seq_file.h>

/* One source for the board's kernels: 2.6.35 has older headers and helpers. */
#if __has_include("linux/gpio/driver.h")
#include <linux/atomic.h>
#include <linux/gpio/driver.h>
#define sim_chip_remove(chip) gpiochip_remove(chip)
#else
#include <asm/atomic.h>
#include <linux/gpio.h>
#define gpiochip_add_data(chip, data) gpiochip_add(chip)
/* Cannot fail: the module stays while any line is requested. */
#define sim_chip_remove(chip) WARN_ON(gpiochip_remove(chip))
#endif

#define SIM_BASE 32
#define SIM_LINES 32

static unsigned long sim_levels;
static atomic_t sim_changes[SIM_LINES];
static struct dentry *sim_dir;

/* Called from timers too (heartbeat), hence atomic bit operations. */
static void sim_drive(unsigned int offset, int value)
{
	bool changed = value ? !test_and_set_bit(offset, &sim_levels) :
			       test_and_clear_bit(offset, &sim_levels);

	if (changed)
		atomic_inc(&sim_changes[offset]);
}

static int sim_get(struct gpio_chip *chip, unsigned int offset)
{
	return test_bit(offset, &sim_levels);
}

static void sim_set(struct gpio_chip *chip, unsigned int offset, int value)
{
	sim_drive(offset, value);
}

static int sim_direction_output(struct gpio_chip *chip, unsigned int offset,
				int value)
{
	sim_drive(offset, value);
	return 0;
}

static int sim_direction_input(struct gpio_chip *chip, unsigned int offset)
{
	return 0;
}

static struct gpio_chip sim_chip = {
	.label = "board-gpio-sim",
	.owner = THIS_MODULE,
	.base = SIM_BASE,
	.ngpio = SIM_LINES,
	.get = sim_get,
	.set = sim_set,
	.direction_output = sim_direction_output,
	.direction_input = sim_direction_input,
};

/* One line per GPIO: number, level (0 or 1), number of changes. */
static int sim_lines_show(struct seq_file *s, void *unused)
{
	int i;

	for (i = 0; i < SIM_LINES; i++)
		seq_printf(s, "%d %d %d\n", SIM_BASE + i,
			   test_bit(i, &sim_levels),
			   atomic_read(&sim_changes[i]));
	return 0;
}
#ifdef DEFINE_SHOW_ATTRIBUTE
DEFINE_SHOW_ATTRIBUTE(sim_lines);
#else
static int sim_lines_open(struct inode *inode, struct file *file)
{
	return single_open(file, sim_lines_show, inode->i_private);
}

static const struct file_operations sim_lines_fops = {
	.owner = THIS_MODULE,
	.open = sim_lines_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
};
#endif

static int __init sim_init(void)
{
	int ret = gpiochip_add_data(&sim_chip, NULL);

	if (ret)
		return ret;
	sim_dir = debugfs_create_dir("board-gpio-sim", NULL);
	debugfs_create_file("lines", 0444, sim_dir, NULL, &sim_lines_fops);
	return 0;
}

static void __exit sim_exit(void)
{
	debugfs_remove_recursive(sim_dir);
	sim_chip_remove(&sim_chip);
}

module_init(sim_init);
module_exit(sim_exit);
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Simulated GPIO lines 32-63 of the emulated board");
