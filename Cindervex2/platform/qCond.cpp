#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "Cindervex2/platform/qPlatform.h"
#include "Cindervex2/platform/qThreadPrimitives.h"

struct qCond {
    pthread_cond_t cond;
};

qCond* qCond_Create(void) {
    qCond* cond = static_cast<qCond*>(calloc(1, sizeof(qCond)));
    if (!cond) return nullptr;
    // Deadlines on the monotonic clock: setting the wall clock cannot stretch a wait.
    pthread_condattr_t attributes;
    bool made = pthread_condattr_init(&attributes) == 0;
    if (made) {
        made = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
               pthread_cond_init(&cond->cond, &attributes) == 0;
        pthread_condattr_destroy(&attributes);
    }
    if (!made) {
        free(cond);
        return nullptr;
    }
    return cond;
}

qErr qCond_Destroy(qCond** cond) {
    if (!cond || !*cond) return qErrParam;
    if (pthread_cond_destroy(&(*cond)->cond) == EBUSY) return qErrBusy;
    free(*cond);
    *cond = nullptr;
    return qErrNone;
}

qErr qCond_WaitUntil(qCond* cond, qMutex* mutex, uint64_t deadlineMs) {
    if (!cond || !mutex) return qErrParam;
    timespec deadline;
    deadline.tv_sec = static_cast<time_t>(deadlineMs / 1000);
    deadline.tv_nsec = static_cast<long>(deadlineMs % 1000) * 1000000L;
    switch (pthread_cond_timedwait(&cond->cond, &mutex->mutex, &deadline)) {
    case 0:
        return qErrNone;
    case ETIMEDOUT:
        return qErrTimeout;
    case EPERM:
        return qErrPermission;
    default:
        return qErrParam;
    }
}

qErr qCond_Broadcast(qCond* cond) {
    if (!cond) return qErrParam;
    return pthread_cond_broadcast(&cond->cond) == 0 ? qErrNone : qErrUnknown;
}
