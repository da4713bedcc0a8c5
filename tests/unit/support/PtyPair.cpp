#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>

PtyPair::PtyPair() {
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    char* name = ptsname(fd);
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || !name) {
        close(fd);
        return;
    }
    master_ = fd;
    slave_ = name;
}

PtyPair::~PtyPair() {
    if (master_ >= 0) close(master_);
}

bool PtyPair::send(const std::string& bytes) {
    return write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string PtyPair::receive(size_t count, int timeoutMs) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd readable = {master_, POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}
