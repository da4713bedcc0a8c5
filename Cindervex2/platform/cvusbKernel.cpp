// The driver's kernel path: the maker's driver shows each module as a device node that
// reads and writes bytes; a read with no byte waiting fails with EFAULT.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>

#include "Cindervex2/platform/cvusbDevice.h"

namespace {

constexpr int kMaxWriteCalls = 1000;
constexpr int kWriteWaitMs = 10;

}  // namespace

qErr cvusbKernel_open(cvusb_device* device) {
    if (device->mode != 0) return qErrMode;
    char path[300];
    snprintf(path, sizeof path, "/dev/cindervex.%s", device->serialText);
    // Non-blocking: the reader waits in poll with a bound, never in read.
    int fd = open(path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY ? qErrBusy : qErrIO;
    device->descriptor = fd;
    device->state = kDeviceStateReady;
    return qErrNone;
}

qErr cvusbKernel_write(cvusb_device* device, const uint8_t* data, uint32_t count) {
    if (device->mode != 0) return qErrMode;
    if (device->descriptor < 0) return qErrMode;
    uint32_t done = 0;
    for (int calls = 0; done < count && calls < kMaxWriteCalls; calls++) {
        ssize_t n = write(device->descriptor, data + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p = {device->descriptor, POLLOUT, 0};
            poll(&p, 1, kWriteWaitMs);
        } else {
            return qErrIO;
        }
    }
    return done == count ? qErrNone : qErrIO;
}

qErr cvusbKernel_get(cvusb_device* device, uint8_t* byte) {
    if (device->mode != 0) return qErrMode;
    if (device->descriptor < 0) return qErrMode;
    ssize_t n = read(device->descriptor, byte, 1);
    if (n == 1) return qErrNone;
    if (n == 0 || errno == EFAULT || errno == EAGAIN || errno == EINTR) return qErrNotReady;
    return qErrIO;
}

qErr cvusbKernel_wait(cvusb_device* device, uint32_t timeoutMs) {
    if (device->descriptor < 0) return qErrNone;
    pollfd p = {device->descriptor, POLLIN, 0};
    int n = poll(&p, 1, static_cast<int>(timeoutMs > 60000 ? 60000 : timeoutMs));
    return n == 0 ? qErrTimeout : qErrNone;
}

qErr cvusbKernel_close(cvusb_device* device) {
    if (device->mode != 0) return qErrMode;
    qErr result = qErrNone;
    if (device->descriptor >= 0 && close(device->descriptor) != 0) result = qErrCancel;
    device->descriptor = -1;
    device->state = kDeviceStateClosed;
    return result;
}
