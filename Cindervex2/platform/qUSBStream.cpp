#include "Cindervex2/platform/qUSBStream.h"

#include <cstdio>
#include <new>

#include "Cindervex2/platform/cvusb.h"

namespace {

struct UsbStreamState {
    uint16_t tag;
    uint32_t serial;
    cvusb_device* device;
};

cvusb_device* sDevice(void* reference) {
    auto* state = static_cast<UsbStreamState*>(reference);
    return state != nullptr && state->tag == qUSBSTREAM_TAG ? state->device : nullptr;
}

qErr sGet(uint8_t* byte, void* reference) {
    cvusb_device* device = sDevice(reference);
    return device == nullptr ? qErrParam : cvusb_get_from_device(device, byte);
}

qErr sWrite(const uint8_t* data, uint32_t count, void* reference) {
    cvusb_device* device = sDevice(reference);
    return device == nullptr ? qErrParam : cvusb_write_to_device(device, data, count);
}

qErr sPut(const uint8_t* byte, void* reference) { return sWrite(byte, 1, reference); }

qErr sWait(uint32_t timeoutMs, void* reference) {
    cvusb_device* device = sDevice(reference);
    return device == nullptr ? qErrParam : cvusb_wait_readable(device, timeoutMs);
}

qErr sDelete(void* reference) {
    cvusb_device* device = sDevice(reference);
    if (device == nullptr) return qErrParam;
    auto* state = static_cast<UsbStreamState*>(reference);
    qErr result = cvusb_close_cindervex_device(device);
    // A library record that was never opened has no handle to close: nothing is lost.
    if (result != qErrNone && result != qErrMode) return result;
    cvusb_destroy(&state->device);
    state->tag = 0;
    delete state;
    return qErrNone;
}

}  // namespace

qErr qStream_CreateUSB(uint32_t serial, qStream** stream) {
    if (stream != nullptr) *stream = nullptr;
    if (serial == 0 || stream == nullptr) return qErrParam;
    bool kernel = cvusb_is_kernel_driver_installed(serial);
    auto* state = new (std::nothrow) UsbStreamState{qUSBSTREAM_TAG, serial, nullptr};
    if (state == nullptr) return qErrMemory;
    char text[16];
    snprintf(text, sizeof text, "%08X", serial);
    state->device = cvusb_create_usb(kernel ? 0 : 1);
    if (state->device == nullptr) {
        delete state;
        return qErrResource;
    }
    qErr result = cvusb_open_cindervex_device(state->device, text);
    if (result != qErrNone) {
        cvusb_destroy(&state->device);
        delete state;
        return result;
    }
    qStream* made = qStream_Create(sGet, sPut, sWrite, sDelete, state);
    if (made == nullptr) {
        cvusb_destroy(&state->device);
        delete state;
        return qErrMemory;
    }
    qStream_SetWaitFunction(made, sWait);
    *stream = made;
    return qErrNone;
}
