#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "Cindervex2/platform/qPlatform.h"

struct qThread {
    pthread_t thread;
    qThreadFunction function;
    void* argument;
};

static void* sRun(void* handle) {
    qThread* thread = static_cast<qThread*>(handle);
    thread->function(thread->argument);
    return nullptr;
}

qThread* qThread_Create(qThreadFunction function, void* argument) {
    if (!function) return nullptr;
    qThread* thread = static_cast<qThread*>(calloc(1, sizeof(qThread)));
    if (!thread) return nullptr;
    thread->function = function;
    thread->argument = argument;
    if (pthread_create(&thread->thread, nullptr, sRun, thread) != 0) {
        free(thread);
        return nullptr;
    }
    return thread;
}

qErr qThread_Destroy(qThread** thread) {
    if (!thread || !*thread) return qErrParam;
    if (pthread_equal((*thread)->thread, pthread_self())) return qErrDuplicate;
    if (pthread_join((*thread)->thread, nullptr) != 0) return qErrUnknown;
    free(*thread);
    *thread = nullptr;
    return qErrNone;
}

void qThread_Yield(void) {
    timespec pause = {0, 5000};
    nanosleep(&pause, nullptr);
}
