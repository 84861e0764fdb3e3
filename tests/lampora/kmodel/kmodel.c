/* The kernel services a module sees, recorded so a test can check them. */
#include "kmodel.h"

#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/platform_device.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

__attribute__((weak)) const char *const kmodel_module_license = NULL;
__attribute__((weak)) const char *const kmodel_module_description = NULL;

/* Bounds of the init section from the linker; null when nothing was marked. */
extern const char __start_kmodel_init_text[] __attribute__((weak));
extern const char __stop_kmodel_init_text[] __attribute__((weak));

struct kmodel_record kmodel;

void kmodel_reset(int register_result) {
    memset(&kmodel, 0, sizeof(kmodel));
    kmodel.register_result = register_result;
}

int kmodel_is_init_text(initcall_t fn) {
    uintptr_t p = (uintptr_t)fn;
    return p >= (uintptr_t)__start_kmodel_init_text && p < (uintptr_t)__stop_kmodel_init_text;
}

int printk(const char *fmt, ...) {
    size_t room = sizeof(kmodel.log) - kmodel.log_length;
    va_list ap;
    int n;

    va_start(ap, fmt);
    n = vsnprintf(kmodel.log + kmodel.log_length, room, fmt, ap);
    va_end(ap);
    if (n < 0)
        return n;
    /* Like the kernel's buffer, an overflow is cut rather than overrun. */
    kmodel.log_length += (size_t)n < room ? (size_t)n : room - 1;
    return n;
}

int platform_device_register(struct platform_device *pdev) {
    kmodel.register_calls++;
    kmodel.registered_device = pdev;
    kmodel.log_length_at_register = kmodel.log_length;
    return kmodel.register_result;
}
