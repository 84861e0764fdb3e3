/* Host model of the kernel's init markers. */
#ifndef KMODEL_LINUX_INIT_H
#define KMODEL_LINUX_INIT_H

/* Init code goes to a section of its own, so a test can tell it was marked. */
#define __init __attribute__((section("kmodel_init_text"), used))

#endif
