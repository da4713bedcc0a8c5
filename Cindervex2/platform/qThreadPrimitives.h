#pragma once
// Inside the platform layer only: the OS objects behind qMutex, shared with qCond.
#include <pthread.h>

#include <cstdint>

struct qMutex {
    uint16_t tag;
    pthread_mutex_t mutex;
    char name[256];
};
