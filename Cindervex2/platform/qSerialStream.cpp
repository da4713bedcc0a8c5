// The serial port stream over a terminal device in raw mode. Reads never wait (VMIN and
// VTIME 0, descriptor non-blocking); a write waits a bounded time for the port to take the
// bytes, then for their transmission. The settings found at open are restored at close.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "Cindervex2/common/qStream.h"
#include "Cindervex2/platform/qPlatform.h"

#define qSERIAL_STATE_TAG 0xBEEF

namespace {

constexpr int kWriteLimitMs = 2000;
constexpr speed_t kSpeeds[] = {B2400, B4800, B9600, B19200, B38400, B57600, B115200, B230400};

struct SerialState {
    uint16_t tag;
    int baud;
    char path[qFILE_PATH_MAX + 1];
    int fd;  // -1 when closed: descriptor 0 is valid when stdin was closed
    termios saved;
    termios applied;
};

bool sValid(const SerialState* state) { return state && state->tag == qSERIAL_STATE_TAG; }

qErr sOpenError(int error) {
    if (error == ENOENT) return qErrNotFound;
    if (error == EACCES || error == EPERM) return qErrPermission;
    return qErrIO;
}

termios sRawSettings(const termios& found, int baud, bool parity, int dataBits, int stopBits) {
    termios settings = found;
    settings.c_iflag = IGNBRK | (parity ? IGNPAR : 0);
    settings.c_oflag = 0;
    settings.c_lflag = 0;
    settings.c_cflag = CLOCAL | CREAD | (parity ? PARENB : 0) | (dataBits == 0 ? CS8 : CS7) | (stopBits == 1 ? CSTOPB : 0);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, kSpeeds[baud]);
    cfsetospeed(&settings, kSpeeds[baud]);
    return settings;
}

// The descriptor stays non-blocking: with VMIN = VTIME = 0 reads return at once anyway,
// and a write to a port that stops taking bytes must not hang the writer thread.
qErr sOpen(SerialState* state, bool parity, int dataBits, int stopBits) {
    int fd = open(state->path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return sOpenError(errno);
    termios found;
    if (tcgetattr(fd, &found) != 0) {
        close(fd);
        return qErrIO;
    }
    termios settings = sRawSettings(found, state->baud, parity, dataBits, stopBits);
    if (tcsetattr(fd, TCSANOW, &settings) != 0 || tcflush(fd, TCIOFLUSH) != 0) {
        tcsetattr(fd, TCSANOW, &found);
        close(fd);
        return qErrIO;
    }
    state->fd = fd;
    state->saved = found;
    state->applied = settings;
    return qErrNone;
}

qErr sGet(uint8_t* byte, void* reference) {
    SerialState* state = static_cast<SerialState*>(reference);
    if (!sValid(state) || state->fd < 0) return qErrParam;
    ssize_t n = read(state->fd, byte, 1);
    if (n == 1) return qErrNone;
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return qErrNotReady;
    return qErrIO;
}

qErr sWrite(const uint8_t* data, uint32_t count, void* reference) {
    SerialState* state = static_cast<SerialState*>(reference);
    if (!sValid(state) || state->fd < 0) return qErrParam;
    uint64_t deadline = qTime_GetMonotonicMS() + kWriteLimitMs;
    size_t sent = 0;
    while (sent < count) {
        ssize_t n = write(state->fd, data + sent, count - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return qErrIO;
        uint64_t now = qTime_GetMonotonicMS();
        if (now >= deadline) return qErrTimeout;
        pollfd writable = {state->fd, POLLOUT, 0};
        poll(&writable, 1, static_cast<int>(deadline - now));
    }
    while (tcdrain(state->fd) != 0) {
        if (errno != EINTR) return qErrIO;
    }
    return qErrNone;
}

qErr sPut(const uint8_t* byte, void* reference) { return sWrite(byte, 1, reference); }

qErr sWait(uint32_t timeoutMs, void* reference) {
    SerialState* state = static_cast<SerialState*>(reference);
    if (!sValid(state) || state->fd < 0) return qErrParam;
    pollfd readable = {state->fd, POLLIN, 0};
    int timeout = timeoutMs > INT32_MAX ? INT32_MAX : static_cast<int>(timeoutMs);
    return poll(&readable, 1, timeout) == 0 ? qErrTimeout : qErrNone;
}

qErr sDelete(void* reference) {
    SerialState* state = static_cast<SerialState*>(reference);
    if (!sValid(state)) return qErrParam;
    qErr result = qErrNone;
    if (state->fd >= 0) {
        if (tcsetattr(state->fd, TCSANOW, &state->saved) != 0) result = qErrIO;
        if (close(state->fd) != 0) result = qErrIO;
        state->fd = -1;
    }
    state->tag = 0;
    delete state;
    return result;
}

}  // namespace

qErr qStream_CreateSerial(const char* path, int baudSelector, uint8_t parity, int dataBits, int stopBits,
                          qStream** stream) {
    constexpr int kSelectors = sizeof kSpeeds / sizeof kSpeeds[0];
    if (!path || !stream) return qErrParam;
    *stream = nullptr;
    if (baudSelector < 0 || baudSelector >= kSelectors || (dataBits != 0 && dataBits != 1) ||
        (stopBits != 0 && stopBits != 1))
        return qErrParam;
    if (strnlen(path, qFILE_PATH_MAX + 1) > qFILE_PATH_MAX) return qErrFileNameLength;
    SerialState* state = new (std::nothrow) SerialState{};
    if (!state) return qErrMemory;
    state->tag = qSERIAL_STATE_TAG;
    state->baud = baudSelector;
    state->fd = -1;
    strcpy(state->path, path);
    qErr result = sOpen(state, parity != 0, dataBits, stopBits);
    if (result != qErrNone) {
        sDelete(state);
        return result;
    }
    return qStream_CreateWaitable(sGet, sPut, sWrite, sDelete, sWait, state, stream);
}
