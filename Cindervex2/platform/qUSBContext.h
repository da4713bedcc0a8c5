#pragma once
// The process-wide libusb context, shared by the USB driver and USB discovery. It is made
// on first use under its own mutex (taken only inside these functions, never while
// another lock of the library is held). Users that keep a device handle or a device list
// open hold the context, so that Cindervex_libusb_exit cannot pull it from under them.
#include "Cindervex2/common/qErr.h"

struct libusb_context;

/* The context, made if there is none; null if libusb cannot be initialised (the next call
 * tries again). Does not hold it: use Cindervex_libusb_hold while something stays open. */
struct libusb_context* Cindervex_libusb_context(void);

/* Makes the context if needed; the result is dropped. */
void Cindervex_libusb_init(void);

/* As Cindervex_libusb_context, and counts one open handle or device list until
 * Cindervex_libusb_release. Null (nothing counted) if there is no context. */
struct libusb_context* Cindervex_libusb_hold(void);

/* Ends one hold taken with Cindervex_libusb_hold. */
void Cindervex_libusb_release(void);

/* Releases the context so that the next use enumerates afresh. qErrBusy (context kept)
 * while a handle or device list is held; qErrNone otherwise, also when there was none. */
qErr Cindervex_libusb_exit(void);
