/* What a test sees of the kernel model. */
#ifndef KMODEL_KMODEL_H
#define KMODEL_KMODEL_H

#include <linux/module.h>

#include <stddef.h>

struct platform_device;

/* What the module did since the last reset. */
struct kmodel_record {
    char log[4096]; /* everything printk wrote */
    size_t log_length;
    int register_result; /* what the next registration returns */
    int register_calls;
    struct platform_device *registered_device; /* of the last registration */
    size_t log_length_at_register;
};
extern struct kmodel_record kmodel;

/* Forgets everything; the next registration returns register_result. */
void kmodel_reset(int register_result);
/* Whether a routine lies in the init section. */
int kmodel_is_init_text(initcall_t fn);

#endif
