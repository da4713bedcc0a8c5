#include "Cindervex2/common/qLogger.h"

#include <atomic>
#include <new>
#include <thread>

struct qLogger {
    uint16_t tag;
    int32_t argument;
    qLoggerCallback callback;
    qFile* file;
    qThread* thread;
    std::atomic<uint8_t> running;
    std::atomic<std::thread::id> threadId; /* who runs the loop, to spot calls from it */
};

namespace {

bool sValid(const qLogger* logger) { return logger != nullptr && logger->tag == qLOGGER_TAG; }

void sRunLog(void* argument) {
    auto* logger = static_cast<qLogger*>(argument);
    logger->threadId = std::this_thread::get_id();
    while (logger->running) logger->callback(logger->file, logger->argument);
}

bool sOnLoggerThread(const qLogger* logger) { return logger->threadId.load() == std::this_thread::get_id(); }

}  // namespace

qLogger* qLogger_Create(int32_t argument, qLoggerCallback callback, const char* path) {
    if (callback == nullptr) return nullptr;
    qFile* file = qFile_Open(path, qFileModeAppend);
    if (file == nullptr) return nullptr;
    auto* logger = new (std::nothrow) qLogger{qLOGGER_TAG, argument, callback, file, nullptr, {0}, {}};
    if (logger == nullptr) {
        qFile_Close(&file);
        return nullptr;
    }
    qFile_SetUnbuffered(file);
    return logger;
}

qErr qLogger_Enable(qLogger* logger) {
    if (!sValid(logger)) return qErrParam;
    if (logger->thread != nullptr) return qErrNone;
    logger->running = 1;
    logger->thread = qThread_Create(sRunLog, logger);
    if (logger->thread != nullptr) return qErrNone;
    logger->running = 0;
    return qErrResource;
}

qErr qLogger_Disable(qLogger* logger) {
    if (!sValid(logger)) return qErrParam;
    if (sOnLoggerThread(logger)) {
        logger->running = 0;  // the loop ends after this callback; nobody can wait here
        return qErrNone;
    }
    if (logger->thread == nullptr) return qErrNone;
    logger->running = 0;
    if (qThread_Destroy(&logger->thread) != qErrNone) return qErrUnknown;
    logger->threadId = std::thread::id();
    return qErrNone;
}

qErr qLogger_Destroy(qLogger** logger) {
    if (logger == nullptr || !sValid(*logger)) return qErrNone;
    qLogger* l = *logger;
    if (sOnLoggerThread(l)) {
        l->running = 0;
        return qErrBusy;
    }
    qErr result = qLogger_Disable(l);
    if (result != qErrNone) return result;
    // The thread has ended: nothing uses the file any more.
    qFile_Close(&l->file);
    l->tag = 0;
    delete l;
    *logger = nullptr;
    return qErrNone;
}
