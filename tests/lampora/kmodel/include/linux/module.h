/* Host model of the module entry point and module information. */
#ifndef KMODEL_LINUX_MODULE_H
#define KMODEL_LINUX_MODULE_H

typedef int (*initcall_t)(void);

/* What loading the module calls, and the routine it was given. */
int init_module(void);
extern const initcall_t kmodel_init_entry;

/* Module information; the model's own defaults are null. */
extern const char *const kmodel_module_license;
extern const char *const kmodel_module_description;

/* Ends in a declaration so that the caller's ';' is not a stray one. */
#define module_init(fn)                                                                            \
    int init_module(void) {                                                                        \
        return fn();                                                                               \
    }                                                                                              \
    const initcall_t kmodel_init_entry = fn

#define MODULE_LICENSE(s) const char *const kmodel_module_license = s
#define MODULE_DESCRIPTION(s) const char *const kmodel_module_description = s

#endif
