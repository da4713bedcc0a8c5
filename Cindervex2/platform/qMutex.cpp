#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Cindervex2/platform/qPlatform.h"
#include "Cindervex2/platform/qThreadPrimitives.h"

#define qMUTEX_TAG 0x5EAF
#define qMUTEX_NAME_MAX 255

qMutex* qMutex_Create(const char* name) {
    if (name && strlen(name) > qMUTEX_NAME_MAX) return nullptr;
    qMutex* mutex = static_cast<qMutex*>(calloc(1, sizeof(qMutex)));
    if (!mutex) return nullptr;
    // Error-checking: a second lock by the holder or an unlock by a stranger is reported
    // instead of deadlocking or corrupting the mutex.
    pthread_mutexattr_t attributes;
    bool made = pthread_mutexattr_init(&attributes) == 0;
    if (made) {
        made = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK) == 0 &&
               pthread_mutex_init(&mutex->mutex, &attributes) == 0;
        pthread_mutexattr_destroy(&attributes);
    }
    if (!made) {
        free(mutex);
        return nullptr;
    }
    if (name) strcpy(mutex->name, name);
    mutex->tag = qMUTEX_TAG;
    return mutex;
}

static bool sValid(const qMutex* mutex) { return mutex && mutex->tag == qMUTEX_TAG; }

const char* qMutex_Identifier(const qMutex* mutex) { return sValid(mutex) ? mutex->name : ""; }

qErr qMutex_Destroy(qMutex** mutex) {
    if (!mutex || !sValid(*mutex)) return qErrParam;
    switch (pthread_mutex_destroy(&(*mutex)->mutex)) {
    case 0:
        break;
    case EBUSY:
        return qErrBusy;
    case EINVAL:
        return qErrParam;
    default:
        return qErrUnknown;
    }
    (*mutex)->tag = 0;
    free(*mutex);
    *mutex = nullptr;
    return qErrNone;
}

static qErr sLockResult(int result) {
    switch (result) {
    case 0:
        return qErrNone;
    case EDEADLK:
        return qErrDuplicate;
    case EBUSY:
        return qErrBusy;
    case EINVAL:
        return qErrParam;
    default:
        return qErrUnknown;
    }
}

qErr qMutex_Lock(qMutex* mutex) {
    if (!sValid(mutex)) return qErrParam;
    return sLockResult(pthread_mutex_lock(&mutex->mutex));
}

qErr qMutex_TryLock(qMutex* mutex) {
    if (!sValid(mutex)) return qErrParam;
    return sLockResult(pthread_mutex_trylock(&mutex->mutex));
}

qErr qMutex_Unlock(qMutex* mutex) {
    if (!sValid(mutex)) return qErrParam;
    switch (pthread_mutex_unlock(&mutex->mutex)) {
    case 0:
        return qErrNone;
    case EPERM:
        return qErrPermission;
    case EINVAL:
        return qErrParam;
    default:
        return qErrUnknown;
    }
}
