#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

template <typename Done>
bool sPollUntil(int timeoutMs, Done done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

uint32_t LoopbackServer::address() { return htonl(INADDR_LOOPBACK); }

LoopbackServer::LoopbackServer() {
    if (listenOn(0)) thread_ = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    stop();
}

bool LoopbackServer::listenOn(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = address();
    where.sin_port = htons(port);
    socklen_t size = sizeof where;
    if (bind(fd, reinterpret_cast<sockaddr*>(&where), size) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size) != 0) {
        close(fd);
        return false;
    }
    std::lock_guard<std::mutex> hold(mutex_);
    listener_ = fd;
    port_ = ntohs(where.sin_port);
    return true;
}

// Accepts and reads under the lock with non-blocking calls only, between short polls.
void LoopbackServer::run() {
    while (running_) {
        pollfd fds[2];
        int n = 0;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (listener_ >= 0) fds[n++] = {listener_, POLLIN, 0};
            if (client_ >= 0 && reading_) fds[n++] = {client_, POLLIN, 0};
        }
        if (n == 0 || poll(fds, n, 20) <= 0) {
            if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        std::lock_guard<std::mutex> hold(mutex_);
        for (int i = 0; i < n; i++) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (fds[i].fd == listener_) {
                int accepted = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (accepted < 0) continue;
                closeClientLocked(false);
                client_ = accepted;
                connections_++;
            } else if (fds[i].fd == client_) {
                char buffer[4096];
                ssize_t got = recv(client_, buffer, sizeof buffer, MSG_DONTWAIT);
                if (got > 0) {
                    received_.append(buffer, static_cast<size_t>(got));
                } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    closeClientLocked(false);
                }
            }
        }
    }
}

void LoopbackServer::closeClientLocked(bool reset) {
    if (client_ < 0) return;
    if (reset) {
        linger now = {1, 0};
        setsockopt(client_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    close(client_);
    client_ = -1;
}

int LoopbackServer::connections() {
    std::lock_guard<std::mutex> hold(mutex_);
    return connections_;
}

bool LoopbackServer::waitForConnections(int count, int timeoutMs) {
    return sPollUntil(timeoutMs, [&] { return connections() >= count; });
}

bool LoopbackServer::send(const std::string& bytes) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (client_ < 0) return false;
    return ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string LoopbackServer::received() {
    std::lock_guard<std::mutex> hold(mutex_);
    return received_;
}

bool LoopbackServer::waitForReceived(size_t count, int timeoutMs) {
    return sPollUntil(timeoutMs, [&] { return received().size() >= count; });
}

void LoopbackServer::setReading(bool reading) {
    std::lock_guard<std::mutex> hold(mutex_);
    reading_ = reading;
}

void LoopbackServer::dropClient(bool reset) {
    std::lock_guard<std::mutex> hold(mutex_);
    closeClientLocked(reset);
}

void LoopbackServer::stop() {
    std::lock_guard<std::mutex> hold(mutex_);
    closeClientLocked(false);
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
}

bool LoopbackServer::restart() {
    uint16_t port;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (listener_ >= 0) return true;
        port = port_;
    }
    return listenOn(port);
}
