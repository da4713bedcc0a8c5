#pragma once
// Inside the USB driver only: the device record and the two paths behind cvusb.h.
#include <atomic>
#include <cstdint>

#include "Cindervex2/platform/cvusb.h"

struct libusb_device_handle;

#define CVUSB_RECEIVE_SIZE 1024

struct cvusb_device {
    int mode; /* 1 = library path, 0 = kernel path */
    char serialText[256];
    int descriptor; /* kernel node, -1 when closed */
    libusb_device_handle* handle;
    std::atomic<int> state;
    uint8_t interfaceNumber;
    uint8_t outEndpoint;
    uint8_t inEndpoint;
    uint8_t receive[CVUSB_RECEIVE_SIZE];
    uint32_t available;
    uint32_t readPosition;
    std::atomic<uint8_t> errorCount;
    uint16_t inMaxPacket;
    uint16_t outMaxPacket;
};

qErr cvusbLibrary_open(cvusb_device* device);
qErr cvusbLibrary_write(cvusb_device* device, const uint8_t* data, uint32_t count);
qErr cvusbLibrary_get(cvusb_device* device, uint8_t* byte);
qErr cvusbLibrary_close(cvusb_device* device);

qErr cvusbKernel_open(cvusb_device* device);
qErr cvusbKernel_write(cvusb_device* device, const uint8_t* data, uint32_t count);
qErr cvusbKernel_get(cvusb_device* device, uint8_t* byte);
qErr cvusbKernel_wait(cvusb_device* device, uint32_t timeoutMs);
qErr cvusbKernel_close(cvusb_device* device);
