// USB search: the modules on the device list of the process-wide libusb context.

#include <libusb-1.0/libusb.h>

#include <cstring>

#include "Cindervex2/common/qDiscoverySearch.h"
#include "Cindervex2/common/qModuleUSB.h"
#include "Cindervex2/platform/qUSBContext.h"

namespace {

constexpr int kSerialTextSize = 32;
constexpr int kSerialDigits = 8;

// The driver opens a module by the exact "%08X" text of its serial number, so only texts of
// eight upper-case hexadecimal digits name a module that can be opened.
bool sParseSerial(const unsigned char* text, int length, uint32_t* serial)
{
    if (length != kSerialDigits)
        return false;
    uint32_t value = 0;
    for (int i = 0; i < kSerialDigits; ++i) {
        unsigned char c = text[i];
        if (c >= '0' && c <= '9')
            value = (value << 4) | uint32_t(c - '0');
        else if (c >= 'A' && c <= 'F')
            value = (value << 4) | uint32_t(c - 'A' + 10);
        else
            return false;
    }
    *serial = value;
    return true;
}

// Fills `spec` from an open module; false when it has no usable serial number.
bool sDescribe(libusb_device_handle* handle, const libusb_device_descriptor& d, linkSpec* spec)
{
    unsigned char text[kSerialTextSize] = {};
    int length = d.iSerialNumber == 0 ? -1
                                      : libusb_get_string_descriptor_ascii(
                                            handle, d.iSerialNumber, text, sizeof text - 1);
    uint32_t serial = 0;
    if (length < 0 || !sParseSerial(text, length, &serial))
        return false;
    memset(spec, 0, sizeof *spec);
    spec->type = USB;
    spec->serialNumber = serial;
    spec->model = d.idProduct & 0xFF;
    spec->usbId = serial;
    return true;
}

} // namespace

uint8_t qDiscovery_EnumerateUSB(qDiscovery_Callback callback, void* ref)
{
    libusb_context* context = Cindervex_libusb_hold();
    if (!context)
        return 0;
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(context, &list);
    uint8_t count = 0;
    bool goOn = true;
    for (ssize_t i = 0; i < n && goOn; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != LIBUSB_SUCCESS ||
            !is_cindervex_device(d.idVendor, d.idProduct))
            continue;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(list[i], &handle) != LIBUSB_SUCCESS)
            continue;
        linkSpec spec;
        bool usable = sDescribe(handle, d, &spec);
        libusb_close(handle);
        if (usable)
            goOn = qDiscovery_Report(callback, ref, &spec, &count);
    }
    if (n >= 0)
        libusb_free_device_list(list, 1);
    Cindervex_libusb_release();
    return count;
}
