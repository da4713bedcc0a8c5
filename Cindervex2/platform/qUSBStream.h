#pragma once
// The USB stream kind: a qStream over one module opened through the USB driver.
#include <cstdint>

#include "Cindervex2/common/qErr.h"
#include "Cindervex2/common/qStream.h"

#define qUSBSTREAM_TAG 0xDEAD

/* Opens the module with serial number `serial` and returns a stream over it in `*stream`
 * (null unless qErrNone). The kernel driver's device node is used when it exists, libusb
 * otherwise. Get delivers one byte (the library path waits up to 1 s for one, answering
 * qErrNotReady when none came); write sends a block; destroying the stream closes the
 * device. qErrParam: serial 0 or null `stream`. qErrMemory: no memory. qErrResource: no
 * device record. Else the open's result (qErrNotFound when no such module is attached;
 * see cvusb_open_cindervex_device). */
qErr qStream_CreateUSB(uint32_t serial, qStream** stream);
