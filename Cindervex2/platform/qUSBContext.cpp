#include "Cindervex2/platform/qUSBContext.h"

#include <libusb-1.0/libusb.h>

#include <mutex>

namespace {

struct UsbContext {
    std::mutex lock;
    libusb_context* context = nullptr;
    unsigned holds = 0;
};

UsbContext& sContext() {
    static UsbContext c;
    return c;
}

libusb_context* sMakeLocked(UsbContext& c) {
    if (c.context == nullptr && libusb_init(&c.context) != LIBUSB_SUCCESS) c.context = nullptr;
    return c.context;
}

}  // namespace

libusb_context* Cindervex_libusb_context(void) {
    UsbContext& c = sContext();
    std::lock_guard<std::mutex> guard(c.lock);
    return sMakeLocked(c);
}

void Cindervex_libusb_init(void) { (void)Cindervex_libusb_context(); }

libusb_context* Cindervex_libusb_hold(void) {
    UsbContext& c = sContext();
    std::lock_guard<std::mutex> guard(c.lock);
    libusb_context* context = sMakeLocked(c);
    if (context != nullptr) c.holds++;
    return context;
}

void Cindervex_libusb_release(void) {
    UsbContext& c = sContext();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.holds > 0) c.holds--;
}

qErr Cindervex_libusb_exit(void) {
    UsbContext& c = sContext();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.holds > 0) return qErrBusy;
    if (c.context != nullptr) libusb_exit(c.context);
    c.context = nullptr;
    return qErrNone;
}
