// The driver's library path: libusb bulk transfers on the module's link interface.
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstring>

#include "Cindervex2/common/qModuleUSB.h"
#include "Cindervex2/platform/cvusbDevice.h"
#include "Cindervex2/platform/qUSBContext.h"

namespace {

constexpr unsigned kOutTimeoutMs = 50;
constexpr unsigned kInTimeoutMs = 1000;
constexpr int kMaxWriteErrors = 10;

// Opens `dev` and returns its handle when it is a module with the serial text asked for.
libusb_device_handle* sOpenIfMatching(libusb_device* dev, const char* serialText) {
    libusb_device_descriptor desc;
    if (libusb_get_device_descriptor(dev, &desc) != LIBUSB_SUCCESS) return nullptr;
    if (!is_cindervex_device(desc.idVendor, desc.idProduct)) return nullptr;
    libusb_device_handle* handle = nullptr;
    if (libusb_open(dev, &handle) != LIBUSB_SUCCESS) return nullptr;
    unsigned char text[257] = {0};
    int n = desc.iSerialNumber == 0
                ? -1
                : libusb_get_string_descriptor_ascii(handle, desc.iSerialNumber, text, 256);
    if (n >= 0 && n <= 256) {
        text[n] = 0;
        if (strcmp(reinterpret_cast<char*>(text), serialText) == 0) return handle;
    }
    libusb_close(handle);
    return nullptr;
}

// Finds the link interface of configuration 0 and its bulk (or interrupt) endpoints.
qErr sFindEndpoints(cvusb_device* device, libusb_device* dev) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_config_descriptor(dev, 0, &config) != LIBUSB_SUCCESS) return qErrConfiguration;
    bool found = false;
    for (int i = 0; i < config->bNumInterfaces && !found; i++) {
        const libusb_interface& itf = config->interface[i];
        for (int a = 0; a < itf.num_altsetting && !found; a++) {
            const libusb_interface_descriptor& alt = itf.altsetting[a];
            if (alt.bInterfaceClass != MODULE_INTERFACE_CLASS || alt.bInterfaceSubClass != MODULE_INTERFACE_SUBCLASS ||
                alt.bInterfaceProtocol != MODULE_INTERFACE_PROTOCOL)
                continue;
            found = true;
            device->interfaceNumber = alt.bInterfaceNumber;
            for (int e = 0; e < alt.bNumEndpoints; e++) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if ((ep.bmAttributes & 0x02) == 0) continue;
                uint16_t maxPacket = ep.wMaxPacketSize & 0x07FF;
                if (ep.bEndpointAddress & 0x80) {
                    device->inEndpoint = ep.bEndpointAddress;
                    device->inMaxPacket = maxPacket;
                } else {
                    device->outEndpoint = ep.bEndpointAddress;
                    device->outMaxPacket = maxPacket;
                }
            }
        }
    }
    libusb_free_config_descriptor(config);
    // A zero max packet size would make every OUT chunk empty: treat it as missing.
    bool complete = found && device->inEndpoint != 0 && device->outEndpoint != 0 && device->outMaxPacket != 0;
    return complete ? qErrNone : qErrConfiguration;
}

qErr sClaimResult(int r) {
    if (r == LIBUSB_SUCCESS) return qErrNone;
    if (r == LIBUSB_ERROR_BUSY || r == LIBUSB_ERROR_NO_DEVICE) return qErrBusy;
    if (r == LIBUSB_ERROR_ACCESS) return qErrPermission;
    return qErrUnknown;
}

// With the module found and opened: endpoints, then the claim.
qErr sPrepare(cvusb_device* device, libusb_device* dev, libusb_device_handle* handle) {
    device->handle = handle;
    device->state = kDeviceStateOpened;
    qErr result = sFindEndpoints(device, dev);
    if (result == qErrNone) result = sClaimResult(libusb_claim_interface(handle, device->interfaceNumber));
    if (result == qErrNone) {
        device->state = kDeviceStateReady;
        device->errorCount = 0;
        device->available = 0;
        device->readPosition = 0;
        return qErrNone;
    }
    libusb_close(handle);
    device->handle = nullptr;
    device->state = kDeviceStateClosed;
    device->inEndpoint = device->outEndpoint = 0;
    return result;
}

qErr sStateError(int state) {
    if (state == kDeviceStateClosed) return qErrConnection;
    if (state == kDeviceStateCreated || state == kDeviceStateOpened) return qErrNotReady;
    return qErrIO;
}

}  // namespace

qErr cvusbLibrary_open(cvusb_device* device) {
    if (device->mode != 1) return qErrMode;
    libusb_context* context = Cindervex_libusb_hold();
    if (context == nullptr) return qErrNotFound;
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context, &list);
    qErr result = qErrNotFound;
    for (ssize_t i = 0; i < count; i++) {
        libusb_device_handle* handle = sOpenIfMatching(list[i], device->serialText);
        if (handle == nullptr) continue;
        result = sPrepare(device, list[i], handle);
        break;
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    // An open handle keeps the context held until it is closed.
    if (result != qErrNone) Cindervex_libusb_release();
    return result;
}

qErr cvusbLibrary_write(cvusb_device* device, const uint8_t* data, uint32_t count) {
    if (device->mode != 1) return qErrMode;
    int state = device->state;
    if (state != kDeviceStateReady) return sStateError(state);
    qErr result = qErrNone;
    uint32_t done = 0;
    int errors = 0;
    while (done < count && errors < kMaxWriteErrors) {
        uint32_t chunk = std::min<uint32_t>(device->outMaxPacket, count - done);
        if (chunk == 512) chunk = 511;  // a full 512-byte packet would need a zero-length one after it
        int transferred = 0;
        int r = libusb_bulk_transfer(device->handle, device->outEndpoint, const_cast<uint8_t*>(data + done),
                                     static_cast<int>(chunk), &transferred, kOutTimeoutMs);
        // A timed-out transfer may have moved part of the chunk: never send that part twice.
        if (transferred > 0) done += std::min<uint32_t>(static_cast<uint32_t>(transferred), chunk);
        if (r == LIBUSB_SUCCESS) continue;
        errors++;
        if (r == LIBUSB_ERROR_PIPE && libusb_clear_halt(device->handle, device->outEndpoint) != LIBUSB_SUCCESS)
            result = qErrIO;
    }
    return done < count ? qErrWrite : result;
}

qErr cvusbLibrary_get(cvusb_device* device, uint8_t* byte) {
    if (device->mode != 1) return qErrMode;
    if (device->available == 0) {
        int state = device->state;
        if (state != kDeviceStateReady) return sStateError(state);
        int got = 0;
        int r = libusb_bulk_transfer(device->handle, device->inEndpoint, device->receive, CVUSB_RECEIVE_SIZE, &got,
                                     kInTimeoutMs);
        if (r == LIBUSB_ERROR_PIPE) {
            libusb_clear_halt(device->handle, device->inEndpoint);
            return qErrNotReady;
        }
        if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_TIMEOUT) return qErrIO;
        device->available = static_cast<uint32_t>(std::clamp(got, 0, CVUSB_RECEIVE_SIZE));
        device->readPosition = 0;
        if (device->available == 0) return qErrNotReady;
    }
    *byte = device->receive[device->readPosition++];
    device->available--;
    return qErrNone;
}

qErr cvusbLibrary_close(cvusb_device* device) {
    if (device->mode != 1) return qErrMode;
    if (device->handle == nullptr) return qErrMode;
    libusb_release_interface(device->handle, device->interfaceNumber);
    libusb_close(device->handle);
    Cindervex_libusb_release();
    device->handle = nullptr;
    device->state = kDeviceStateClosed;
    device->interfaceNumber = device->inEndpoint = device->outEndpoint = 0;
    device->available = 0;
    return qErrNone;
}
