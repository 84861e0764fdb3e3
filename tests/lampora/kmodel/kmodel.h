/* What a test sees of the kernel model. */
#ifndef KMODEL_KMODEL_H
#define KMODEL_KMODEL_H

#include <linux/module.h>

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct platform_device;

/* Forgets everything; the next registration returns register_result. */
void kmodel_reset(int register_result);
/* Everything printk wrote since the reset. */
const char *kmodel_log(void);
size_t kmodel_log_length(void);
int kmodel_register_calls(void);
/* The device of the last registration, and the log length at that moment. */
struct platform_device *kmodel_registered_device(void);
size_t kmodel_log_length_at_register(void);
/* Whether a routine lies in the init section. */
int kmodel_is_init_text(initcall_t fn);

#ifdef __cplusplus
}
#endif

#endif
