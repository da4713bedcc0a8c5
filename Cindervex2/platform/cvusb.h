#pragma once
// The USB driver: one open/read/write/close interface over the two ways a module is
// reached: libusb bulk transfers on the module's link interface (library path), or the
// maker's kernel driver's device node (kernel path). A device record is used by one
// reading thread and one writing thread at a time; nothing in it is locked except the
// state and the error count, which both touch.
#include <cstdint>

#include "Cindervex2/common/qErr.h"

enum cvusbDeviceState {
    kDeviceStateCreated = 1, /* nothing open yet */
    kDeviceStateClosed = 2,  /* closed, or an open failed after the module was found */
    kDeviceStateOpened = 3,  /* found and opened, interface not claimed */
    kDeviceStateReady = 4,   /* interface claimed: transfers allowed */
    kDeviceStateFailed = 5,  /* five I/O errors in a row: every transfer fails until reopened */
};

typedef struct cvusb_device cvusb_device;

/* New record for the library path (`useLibrary` 1, the shared libusb context is made if
 * needed) or the kernel path (0), in kDeviceStateCreated. Null if memory runs out.
 * Free it with cvusb_destroy. */
cvusb_device* cvusb_create_usb(int useLibrary);

/* Opens the module whose serial-number string is exactly `serialText` (8 upper-case hex
 * digits). Library path: the first module on the bus with that string is opened, its link
 * interface found and claimed. qErrNotFound: no such module, or it cannot be opened.
 * qErrConfiguration: its link interface lacks a bulk IN or OUT endpoint. qErrBusy: the
 * interface is claimed elsewhere or the device left. qErrPermission: access denied.
 * qErrUnknown: another claim failure. Kernel path: opens the device node named for the
 * serial; qErrBusy when it is in use, qErrIO for other failures. Both: qErrParam for a
 * null record or text, a text of 256 characters or more, or a record already open. */
qErr cvusb_open_cindervex_device(cvusb_device* device, const char* serialText);

/* Sends `count` bytes. Library path: chunks of at most the OUT max packet size (a chunk
 * of exactly 512 goes as 511), each a bulk transfer of at most 50 ms, up to 10 failed
 * attempts per call; a stalled endpoint is cleared. qErrWrite: bytes were left unsent.
 * qErrConnection: closed. qErrNotReady: not opened yet. qErrIO: failed device (see
 * cvusb_get_from_device for the error tolerance). Kernel path: at most 1000 write calls;
 * qErrIO when they fail or bytes are left. Blocks at most about 10 x 50 ms. */
qErr cvusb_write_to_device(cvusb_device* device, const uint8_t* data, uint32_t count);

/* Hands out one received byte. Library path: when no byte is buffered, one bulk IN
 * transfer of up to 1024 bytes waits at most 1000 ms. qErrNotReady: nothing arrived (or a
 * stall was cleared, or an I/O error was tolerated). Error tolerance: four I/O errors in a
 * row are swallowed; the fifth is returned as qErrIO and the device goes to
 * kDeviceStateFailed, where every transfer fails. Kernel path: one read of the node,
 * which never blocks; qErrNotReady when no byte waits. qErrMode: kernel node not open. */
qErr cvusb_get_from_device(cvusb_device* device, uint8_t* byte);

/* Waits at most `timeoutMs` until a byte may be read. Kernel path: polls the node.
 * Library path: returns at once (the read itself waits). qErrNone or qErrTimeout. */
qErr cvusb_wait_readable(cvusb_device* device, uint32_t timeoutMs);

/* Closes the device. Library path: releases the interface and the handle (qErrMode when
 * no handle is open). Kernel path: closes the node (qErrCancel if that fails; nothing
 * open is qErrNone). The state becomes kDeviceStateClosed. */
qErr cvusb_close_cindervex_device(cvusb_device* device);

/* Closes whatever is still open, frees the record, sets `*device` to null.
 * qErrParam: null address or record. */
qErr cvusb_destroy(cvusb_device** device);

/* The record's state (cvusbDeviceState), 0 for a null record. */
int cvusb_get_state(const cvusb_device* device);

/* True when the kernel driver's device node for `serial` exists. */
bool cvusb_is_kernel_driver_installed(uint32_t serial);
