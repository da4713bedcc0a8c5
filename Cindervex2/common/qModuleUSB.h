#pragma once
// How a module shows itself on USB: the maker's vendor id, the product ids modules use,
// and the name of the kernel driver's device node. Every USB path (driver, discovery)
// takes these from here.
#include <cstdint>

/* The maker's USB vendor id. */
#define MODULE_VENDOR_ID 0x3A7Cu

/* The link interface: vendor class, this subclass and protocol. */
#define MODULE_INTERFACE_CLASS 0xFFu
#define MODULE_INTERFACE_SUBCLASS 0x88u
#define MODULE_INTERFACE_PROTOCOL 0x10u

/* printf format of the kernel driver's device node for one serial number. */
#define MODULE_KERNEL_NODE_FORMAT "/dev/cindervex.%08X"

/* True when a device with these ids is a module: our vendor id and a product id with
 * bit 15 clear (product ids with bit 15 set belong to other products of the maker). */
static inline bool is_cindervex_device(uint16_t vendorId, uint16_t productId) {
    return vendorId == MODULE_VENDOR_ID && (productId & 0x8000u) == 0;
}
