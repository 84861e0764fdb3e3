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

static char log_buffer[4096];
static size_t log_length;
static int register_result;
static int register_calls;
static struct platform_device *registered_device;
static size_t log_length_at_register;

void kmodel_reset(int result) {
    memset(log_buffer, 0, sizeof(log_buffer));
    log_length = 0;
    register_result = result;
    register_calls = 0;
    registered_device = NULL;
    log_length_at_register = 0;
}

const char *kmodel_log(void) {
    return log_buffer;
}

size_t kmodel_log_length(void) {
    return log_length;
}

int kmodel_register_calls(void) {
    return register_calls;
}

struct platform_device *kmodel_registered_device(void) {
    return registered_device;
}

size_t kmodel_log_length_at_register(void) {
    return log_length_at_register;
}

int kmodel_is_init_text(initcall_t fn) {
    uintptr_t p = (uintptr_t)fn;
    return p >= (uintptr_t)__start_kmodel_init_text && p < (uintptr_t)__stop_kmodel_init_text;
}

int printk(const char *fmt, ...) {
    size_t room = sizeof(log_buffer) - log_length;
    va_list ap;
    int n;

    va_start(ap, fmt);
    n = vsnprintf(log_buffer + log_length, room, fmt, ap);
    va_end(ap);
    if (n < 0)
        return n;
    /* Like the kernel's buffer, an overflow is cut rather than overrun. */
    log_length += (size_t)n < room ? (size_t)n : room - 1;
    return n;
}

int platform_device_register(struct platform_device *pdev) {
    register_calls++;
    registered_device = pdev;
    log_length_at_register = log_length;
    return register_result;
}
