/* Host model of printk and the kernel's small helpers. */
#ifndef KMODEL_LINUX_KERNEL_H
#define KMODEL_LINUX_KERNEL_H

#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))

/* Appends to the model's log; the format is checked like the kernel's. */
int printk(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

#endif
