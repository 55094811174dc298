// SPDX-License-Identifier: MIT
// A GPIO chip for the QEMU guest's checks: 16 input lines whose values a parameter sets.
//
// /sys/module/movanta_gpio_test/parameters/values  line k reads bit k
// /sys/module/movanta_gpio_test/parameters/present 0 removes the chip, 1 adds it again, as
//                                                  unplugging and plugging a USB part does
#include <linux/gpio/driver.h>
#include <linux/kernel.h>
#include <linux/module.h>

static unsigned int values;
module_param(values, uint, 0644);
MODULE_PARM_DESC(values, "the input of each line, line k at bit k");

static int test_get(struct gpio_chip* chip, unsigned int offset)
{
    return (READ_ONCE(values) >> offset) & 1;
}

static int test_get_multiple(struct gpio_chip* chip, unsigned long* mask, unsigned long* bits)
{
    *bits = (*bits & ~*mask) | (READ_ONCE(values) & *mask);
    return 0;
}

static int test_direction_input(struct gpio_chip* chip, unsigned int offset) { return 0; }

static int test_get_direction(struct gpio_chip* chip, unsigned int offset)
{
    return GPIO_LINE_DIRECTION_IN;
}

static struct gpio_chip chip = {
    .label = "movanta-test",
    .owner = THIS_MODULE,
    .base = -1,
    .ngpio = 16,
    .get = test_get,
    .get_multiple = test_get_multiple,
    .direction_input = test_direction_input,
    .get_direction = test_get_direction,
};

// Parameter writes are serialised by the kernel's parameter lock.
static bool added;

static int set_present(const char* text, const struct kernel_param* kp)
{
    bool wanted;
    int error = kstrtobool(text, &wanted);

    if (error)
        return error;
    if (wanted && !added) {
        // The kernel writes the number range it chose into base. A fresh part asks anew, as it
        // must: a chip removed while its lines were requested keeps its range (kernel 6.1).
        chip.base = -1;
        error = gpiochip_add_data(&chip, NULL);
        added = error == 0;
    } else if (!wanted && added) {
        // Lines still requested go on existing and read -ENODEV from here on.
        gpiochip_remove(&chip);
        added = false;
    }
    return error;
}

static int get_present(char* buffer, const struct kernel_param* kp)
{
    return sprintf(buffer, "%d\n", added);
}

static const struct kernel_param_ops present_ops = {
    .set = set_present,
    .get = get_present,
};
module_param_cb(present, &present_ops, NULL, 0644);
MODULE_PARM_DESC(present, "whether the chip is there");

static int __init movanta_gpio_test_init(void) { return set_present("1", NULL); }

static void __exit movanta_gpio_test_exit(void) { set_present("0", NULL); }

module_init(movanta_gpio_test_init);
module_exit(movanta_gpio_test_exit);
MODULE_DESCRIPTION("GPIO lines whose inputs a test sets");
MODULE_LICENSE("Dual MIT/GPL");
