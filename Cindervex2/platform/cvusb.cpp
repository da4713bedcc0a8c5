#include "Cindervex2/platform/cvusb.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "Cindervex2/common/qModuleUSB.h"
#include "Cindervex2/platform/cvusbDevice.h"
#include "Cindervex2/platform/qPlatform.h"
#include "Cindervex2/platform/qUSBContext.h"

namespace {

// Brief USB disturbances must not end a link: four I/O errors in a row are swallowed,
// the fifth fails the device. A swallowed read hands out no byte.
qErr sTolerate(cvusb_device* device, qErr result, bool reading) {
    if (result != qErrIO) {
        device->errorCount = 0;
        return result;
    }
    uint8_t before = device->errorCount.load();
    if (before < 0xFF) device->errorCount = before + 1;
    if (before <= 3) return reading ? qErrNotReady : qErrNone;
    device->state = kDeviceStateFailed;
    return qErrIO;
}

}  // namespace

cvusb_device* cvusb_create_usb(int useLibrary) {
    cvusb_device* device = new (std::nothrow) cvusb_device();
    if (device == nullptr) return nullptr;
    device->mode = useLibrary ? 1 : 0;
    device->descriptor = -1;
    device->state = kDeviceStateCreated;
    if (device->mode == 1) Cindervex_libusb_init();
    return device;
}

qErr cvusb_open_cindervex_device(cvusb_device* device, const char* serialText) {
    if (device == nullptr || serialText == nullptr) return qErrParam;
    size_t length = strnlen(serialText, sizeof device->serialText);
    if (length >= sizeof device->serialText) return qErrParam;
    if (device->handle != nullptr || device->descriptor >= 0) return qErrParam;
    if (device->state == 0) return qErrResource;
    memcpy(device->serialText, serialText, length + 1);
    return device->mode == 1 ? cvusbLibrary_open(device) : cvusbKernel_open(device);
}

qErr cvusb_write_to_device(cvusb_device* device, const uint8_t* data, uint32_t count) {
    if (device == nullptr || (data == nullptr && count > 0)) return qErrParam;
    if (device->mode == 0) return cvusbKernel_write(device, data, count);
    return sTolerate(device, cvusbLibrary_write(device, data, count), false);
}

qErr cvusb_get_from_device(cvusb_device* device, uint8_t* byte) {
    if (device == nullptr || byte == nullptr) return qErrParam;
    if (device->mode == 0) return cvusbKernel_get(device, byte);
    return sTolerate(device, cvusbLibrary_get(device, byte), true);
}

qErr cvusb_wait_readable(cvusb_device* device, uint32_t timeoutMs) {
    if (device == nullptr) return qErrParam;
    return device->mode == 0 ? cvusbKernel_wait(device, timeoutMs) : qErrNone;
}

qErr cvusb_close_cindervex_device(cvusb_device* device) {
    if (device == nullptr) return qErrParam;
    return device->mode == 1 ? cvusbLibrary_close(device) : cvusbKernel_close(device);
}

qErr cvusb_destroy(cvusb_device** device) {
    if (device == nullptr || *device == nullptr) return qErrParam;
    if ((*device)->mode == 1 && (*device)->handle != nullptr) cvusbLibrary_close(*device);
    if ((*device)->mode == 0) cvusbKernel_close(*device);
    delete *device;
    *device = nullptr;
    return qErrNone;
}

int cvusb_get_state(const cvusb_device* device) { return device == nullptr ? 0 : device->state.load(); }

bool cvusb_is_kernel_driver_installed(uint32_t serial) {
    char path[64];
    snprintf(path, sizeof path, MODULE_KERNEL_NODE_FORMAT, serial);
    return qFile_Exists(path);
}
