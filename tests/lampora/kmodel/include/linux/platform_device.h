/* Host model of platform devices: registration is recorded, not performed. */
#ifndef KMODEL_LINUX_PLATFORM_DEVICE_H
#define KMODEL_LINUX_PLATFORM_DEVICE_H

struct resource;

struct device {
    void *platform_data;
    void (*release)(struct device *dev);
};

struct platform_device {
    const char *name;
    int id;
    struct device dev;
    unsigned int num_resources;
    struct resource *resource;
};

int platform_device_register(struct platform_device *pdev);

#endif
