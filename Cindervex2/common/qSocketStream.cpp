// The TCP client stream. The link's reader (get, wait) and writer (write) both use the
// socket and either may find the connection broken and reconnect, so the descriptor and
// the connected flag are only touched with the state's lock held; no call that can block
// for long runs under it except a connect, which is bounded.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "Cindervex2/common/qStream.h"
#include "Cindervex2/platform/qPlatform.h"

#define qSOCKET_STATE_TAG 0xDEAD

namespace {

constexpr int kConnectTimeoutMs = 2000;
// A peer that accepts and closes at once must not make the reader reconnect in a loop.
constexpr uint64_t kReconnectGapMs = 100;
constexpr int kWriteRetries = 10;
constexpr uint32_t kWriteRetryPauseMs = 60;
// Partial sends renew the retries; this bounds a write to a peer that takes a byte at a time.
constexpr uint64_t kWriteLimitMs = 1000;

struct SocketState {
    uint16_t tag;
    uint16_t port;
    sockaddr_in address;
    qMutex* lock;
    int fd;  // -1 when closed: descriptor 0 is a valid socket when stdin was closed
    bool connected;
    uint64_t lastAttemptMs;
};

bool sValid(const SocketState* state) { return state && state->tag == qSOCKET_STATE_TAG; }

// Lock held. shutdown first: a waiter polling a duplicate of the descriptor wakes at once.
void sCloseLocked(SocketState* state) {
    state->connected = false;
    if (state->fd < 0) return;
    shutdown(state->fd, SHUT_RDWR);
    close(state->fd);
    state->fd = -1;
}

bool sIsConnectionFailure(int error) {
    return error == ECONNREFUSED || error == ECONNRESET || error == ETIMEDOUT || error == EAGAIN ||
           error == EHOSTUNREACH || error == ENETUNREACH;
}

// Connects the non-blocking socket `fd`, waiting at most kConnectTimeoutMs.
int sConnectWithin(int fd, const sockaddr_in& address) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd writable = {fd, POLLOUT, 0};
    int ready;
    while ((ready = poll(&writable, 1, kConnectTimeoutMs)) < 0 && errno == EINTR) {
    }
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

qErr sApplyOptions(int fd) {
    int on = 1;
    timeval noTimeout = {0, 0};
    linger reset = {1, 0};  // close resets the connection at once, no lingering in TIME_WAIT
    if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &noTimeout, sizeof noTimeout) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset) != 0)
        return qErrIO;
    return qErrNone;
}

// Lock held. Closes any open socket and connects a new one.
qErr sConnectLocked(SocketState* state) {
    sCloseLocked(state);
    uint64_t since = qTime_GetMonotonicMS() - state->lastAttemptMs;
    if (since < kReconnectGapMs) qTime_MSSleep(static_cast<uint32_t>(kReconnectGapMs - since));
    state->lastAttemptMs = qTime_GetMonotonicMS();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return qErrIO;
    int error = sConnectWithin(fd, state->address);
    if (error != 0) {
        close(fd);
        return sIsConnectionFailure(error) ? qErrConnection : qErrIO;
    }
    state->fd = fd;
    state->connected = true;
    qErr result = sApplyOptions(fd);
    if (result != qErrNone) sCloseLocked(state);
    return result;
}

bool sIsBroken(int error) { return error == ECONNRESET || error == ENOTCONN || error == ETIMEDOUT || error == EPIPE; }

// Lock held. Peeks for one byte, reconnecting once on a broken connection.
qErr sPeekLocked(SocketState* state, uint8_t* byte) {
    for (int attempt = 0;; attempt++) {
        ssize_t n = recv(state->fd, byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 1) return qErrNone;
        if (n == 0) {
            // The peer closed: nothing more will come on this connection, start a new one.
            qErr result = sConnectLocked(state);
            return result == qErrNone ? qErrNotReady : result;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return qErrNotReady;
        if (!sIsBroken(errno)) return qErrConnection;
        if (attempt > 0) return qErrNotReady;
        qErr result = sConnectLocked(state);
        if (result != qErrNone) return result;
    }
}

qErr sGet(uint8_t* byte, void* reference) {
    SocketState* state = static_cast<SocketState*>(reference);
    if (!sValid(state)) return qErrParam;
    qMutexGuard hold(state->lock);
    if (!hold.locked()) return qErrIO;
    if (!state->connected) {
        qErr result = sConnectLocked(state);
        if (result != qErrNone) return result;
    }
    qErr result = sPeekLocked(state, byte);
    if (result != qErrNone) return result;
    ssize_t n = recv(state->fd, byte, 1, MSG_DONTWAIT);
    if (n == 1) return qErrNone;
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || sIsBroken(errno)) return qErrNotReady;
    return qErrIO;
}

// Lock held. True when the peer closed the connection and left nothing unread: bytes sent
// now would be acknowledged by the kernel and then lost.
bool sPeerClosedLocked(SocketState* state) {
    uint8_t probe;
    return recv(state->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// One send attempt, under the lock; reconnects first when the connection is down.
// Returns the bytes sent, or -1 with the error in `*error` (0 when a reconnect failed
// and `*result` holds its code).
ssize_t sSendOnce(SocketState* state, const uint8_t* data, size_t count, int* error, qErr* result) {
    qMutexGuard hold(state->lock);
    *error = 0;
    *result = hold.locked() ? qErrNone : qErrIO;
    if (*result == qErrNone && (!state->connected || sPeerClosedLocked(state))) *result = sConnectLocked(state);
    if (*result != qErrNone) return -1;
    ssize_t n = send(state->fd, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
        *error = errno;
        if (sIsBroken(*error)) sCloseLocked(state);
    }
    return n;
}

qErr sWrite(const uint8_t* data, uint32_t count, void* reference) {
    SocketState* state = static_cast<SocketState*>(reference);
    if (!sValid(state)) return qErrParam;
    size_t sent = 0;
    int retries = 0;
    uint64_t deadline = qTime_GetMonotonicMS() + kWriteLimitMs;
    while (sent < count) {
        int error;
        qErr result;
        ssize_t n = sSendOnce(state, data + sent, count - sent, &error, &result);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            retries = 1;
        } else if (result != qErrNone) {
            return result;
        } else if (sIsBroken(error)) {
            // The block starts again on the next connection: a packet cut in two would
            // desynchronise the module.
            sent = 0;
            retries++;
        } else if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) {
            retries++;
        } else {
            return qErrIO;
        }
        if (sent < count) {
            if (retries >= kWriteRetries || qTime_GetMonotonicMS() >= deadline) return qErrTimeout;
            qTime_MSSleep(kWriteRetryPauseMs);
        }
    }
    return qErrNone;
}

qErr sPut(const uint8_t* byte, void* reference) { return sWrite(byte, 1, reference); }

// Polls a duplicate of the descriptor so the lock is not held while waiting; a reconnect
// by the writer meanwhile shuts the old socket down, which ends the poll.
qErr sWait(uint32_t timeoutMs, void* reference) {
    SocketState* state = static_cast<SocketState*>(reference);
    if (!sValid(state)) return qErrParam;
    int fd = -1;
    {
        qMutexGuard hold(state->lock);
        if (!hold.locked()) return qErrIO;
        if (state->connected) fd = fcntl(state->fd, F_DUPFD_CLOEXEC, 0);
    }
    if (fd < 0) return qErrNone;  // get reconnects (or reports why it cannot)
    pollfd readable = {fd, POLLIN, 0};
    int timeout = timeoutMs > INT32_MAX ? INT32_MAX : static_cast<int>(timeoutMs);
    int ready = poll(&readable, 1, timeout);
    close(fd);
    return ready == 0 ? qErrTimeout : qErrNone;
}

void sFree(SocketState* state) {
    state->tag = 0;
    qMutex_Destroy(&state->lock);
    delete state;
}

qErr sDelete(void* reference) {
    SocketState* state = static_cast<SocketState*>(reference);
    if (!sValid(state)) return qErrIO;
    {
        qMutexGuard hold(state->lock);
        sCloseLocked(state);
    }
    sFree(state);
    return qErrNone;
}

}  // namespace

qErr qStream_CreateSocket(uint32_t address, uint16_t port, qStream** stream) {
    if (!stream) return qErrParam;
    *stream = nullptr;
    SocketState* state = new (std::nothrow) SocketState{};
    if (!state) return qErrMemory;
    state->tag = qSOCKET_STATE_TAG;
    state->port = port;
    state->address.sin_family = AF_INET;
    state->address.sin_port = htons(port);
    state->address.sin_addr.s_addr = address;
    state->fd = -1;
    state->lock = qMutex_Create("qSocketStream");
    if (!state->lock) {
        sFree(state);
        return qErrMemory;
    }
    qErr result;
    {
        qMutexGuard hold(state->lock);
        result = sConnectLocked(state);
    }
    if (result != qErrNone) {
        sFree(state);
        return result;
    }
    return qStream_CreateWaitable(sGet, sPut, sWrite, sDelete, sWait, state, stream);
}
