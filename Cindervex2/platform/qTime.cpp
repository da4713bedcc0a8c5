#include <sys/time.h>

#include <cerrno>
#include <ctime>

#include "Cindervex2/platform/qPlatform.h"

uint64_t qTime_GetMSTicks(void) {
    timeval now;
    if (gettimeofday(&now, nullptr) != 0) return 0;
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_usec) / 1000u;
    return ms == UINT64_MAX ? 0 : ms;
}

uint64_t qTime_GetMonotonicMS(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Rounded up: a deadline of now + t then never falls before t ms from now.
    return static_cast<uint64_t>(now.tv_sec) * 1000u + (static_cast<uint64_t>(now.tv_nsec) + 999999u) / 1000000u;
}

void qTime_MSSleep(uint32_t ms) {
    timespec left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    // A signal may cut the sleep short; sleep the rest.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
