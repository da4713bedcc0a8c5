#pragma once
// The platform layer: files, mutexes, condition variables, threads and time. The portable
// core (Cindervex2/common) reaches the operating system only through these functions.
// Times are milliseconds. Every wait that has a deadline uses the monotonic clock.
#include <cstddef>
#include <cstdint>

#include "Cindervex2/common/qErr.h"

#define qFILE_TAG 0xFEED
#define qFILE_PATH_MAX 4096

/* ---------------------------------------------------------------- files */

typedef struct qFile qFile;

enum {
    qFileModeRead = 0,   /* "rb" */
    qFileModeWrite = 1,  /* "wb": created or truncated */
    qFileModeAppend = 2, /* "ab+": read and append, positioned at the end */
};

/* Opens `path` in `mode` (above). Null for a null or empty path, a path longer than 4096
 * characters, an unknown mode, memory exhaustion or an open failure. Close with qFile_Close. */
qFile* qFile_Open(const char* path, int mode);

/* Closes and frees `*file`; `*file` is set to null whenever `file` is non-null.
 * qErrParam: null or invalid file. qErrIO: the close reported a failure (data may be lost). */
qErr qFile_Close(qFile** file);

/* Reads up to `count` bytes; the number read goes to `*read` when `read` is non-null.
 * qErrNone also for a short read. qErrEOF: nothing read and count > 0 at end of file.
 * qErrIO: nothing read because of a failure. qErrMode: not opened for reading.
 * qErrParam: invalid file or null buffer. */
qErr qFile_Read(qFile* file, void* buffer, size_t count, size_t* read);

/* Writes `count` bytes; the number written goes to `*written` when non-null.
 * qErrIO: not all were written. qErrMode: not opened for writing. qErrParam: invalid file
 * or null data. */
qErr qFile_Write(qFile* file, const void* data, size_t count, size_t* written);

/* Moves to `offset` from the start (origin 0), the current position (1) or the end (2).
 * qErrRange: the target lies before 0 or beyond the end. qErrParam: invalid file or origin.
 * qErrIO: the file stream failed. */
qErr qFile_Seek(qFile* file, int64_t offset, int origin);

/* Size of the file in bytes; the position is kept. qErrParam: invalid file or null out.
 * qErrIO: the file stream failed (`*size` is then 0). */
qErr qFile_GetSize(qFile* file, int64_t* size);

/* Current position. qErrParam: invalid file or null out. qErrIO: the file stream failed. */
qErr qFile_GetPosition(qFile* file, int64_t* position);

/* Reads one line including its newline into `buffer` (terminated) and the number of
 * characters stored into `*length` (may be null). qErrOverrun: the line did not fit and
 * was cut (the rest is read next); a last line without newline that fits is qErrNone.
 * qErrEOF: at end of file. qErrIO: a read failure. qErrMode: not opened for reading.
 * qErrParam: invalid file, null buffer or size below 2. */
qErr qFile_ReadLine(qFile* file, char* buffer, size_t size, size_t* length);

/* Formatted write. qErrMode: not opened for writing. qErrIO: formatting or writing failed.
 * qErrParam: invalid file or null format. */
qErr qFile_Printf(qFile* file, const char* format, ...) __attribute__((format(printf, 2, 3)));

/* Makes every later write go straight to the file. qErrMode: not opened for writing or
 * the switch failed. qErrParam: invalid file. */
qErr qFile_SetUnbuffered(qFile* file);

/* True only for a non-null path of at most 4096 characters that exists and is no directory. */
bool qFile_Exists(const char* path);

/* Deletes the file `path`. qErrParam: null path. qErrFileNameLength: above 4096
 * characters. qErrNotFound: no such file. qErrPermission: access denied. qErrIO: other. */
qErr qFile_Delete(const char* path);

/* ---------------------------------------------------------------- mutexes */

typedef struct qMutex qMutex;

/* New unlocked, non-recursive mutex named `name` (null: no name). Null if the name has 256
 * characters or more, or on failure. Locking it twice from one thread reports qErrDuplicate
 * instead of deadlocking; unlocking it from another thread reports qErrPermission. */
qMutex* qMutex_Create(const char* name);

/* The mutex's name ("" when none was given, or for a null mutex). */
const char* qMutex_Identifier(const qMutex* mutex);

/* Destroys and frees `*mutex` and sets `*mutex` to null. qErrParam: null address or mutex.
 * qErrBusy: it is locked; it is then left intact and `*mutex` unchanged, so the holder's
 * unlock stays safe. */
qErr qMutex_Destroy(qMutex** mutex);

/* Locks, waiting as long as another thread holds it. qErrParam: null or invalid mutex.
 * qErrDuplicate: the caller already holds it. qErrUnknown: other failures. */
qErr qMutex_Lock(qMutex* mutex);

/* Locks if free. qErrBusy: held (by anyone, the caller included). Other results as Lock. */
qErr qMutex_TryLock(qMutex* mutex);

/* Unlocks. qErrPermission: the caller does not hold it. qErrParam: null or invalid mutex.
 * qErrUnknown: other failures. */
qErr qMutex_Unlock(qMutex* mutex);

/* Holds a mutex for one C++ scope. For mutexes a thread never takes twice, a failed lock
 * means a broken mutex: check locked() and give up. */
class qMutexGuard {
public:
    explicit qMutexGuard(qMutex* mutex) : mutex_(mutex), locked_(qMutex_Lock(mutex) == qErrNone) {}
    ~qMutexGuard() {
        if (locked_) qMutex_Unlock(mutex_);
    }
    qMutexGuard(const qMutexGuard&) = delete;
    qMutexGuard& operator=(const qMutexGuard&) = delete;
    bool locked() const { return locked_; }

private:
    qMutex* mutex_;
    bool locked_;
};

/* ---------------------------------------------------------------- condition variables */

typedef struct qCond qCond;

/* New condition variable whose deadlines are on the monotonic clock; null on failure. */
qCond* qCond_Create(void);

/* Destroys and frees `*cond`, sets `*cond` to null. qErrParam: null. qErrBusy: a thread
 * still waits on it (it is then left intact, `*cond` unchanged). */
qErr qCond_Destroy(qCond** cond);

/* Atomically unlocks `mutex` (which the caller holds) and waits until woken or until the
 * monotonic time `deadlineMs` (qTime_GetMonotonicMS) passes; `mutex` is locked again on
 * return. Wake-ups may be spurious: re-check the predicate. qErrNone: woken.
 * qErrTimeout: the deadline passed. qErrParam: null argument. qErrPermission: the caller
 * does not hold `mutex`. */
qErr qCond_WaitUntil(qCond* cond, qMutex* mutex, uint64_t deadlineMs);

/* Wakes every waiter. qErrParam: null. */
qErr qCond_Broadcast(qCond* cond);

/* ---------------------------------------------------------------- threads */

typedef struct qThread qThread;
typedef void (*qThreadFunction)(void* argument);

/* Starts a thread running function(argument). Null on failure (nothing started). */
qThread* qThread_Create(qThreadFunction function, void* argument);

/* Waits for the thread to finish (as long as it runs), frees the handle and sets `*thread`
 * to null. qErrParam: null address or handle. qErrDuplicate: called from that thread
 * itself (the handle is left intact). qErrUnknown: the join failed. */
qErr qThread_Destroy(qThread** thread);

/* Gives up the processor for about 5 microseconds. */
void qThread_Yield(void);

/* ---------------------------------------------------------------- time */

/* Wall-clock milliseconds since 1970, for printed times and durations only: the wall
 * clock may jump, so never use it for a deadline. 0 if the clock cannot be read. */
uint64_t qTime_GetMSTicks(void);

/* Milliseconds on the monotonic clock (arbitrary origin): use it for every deadline.
 * Rounded up, so a deadline of qTime_GetMonotonicMS() + t never ends a wait early. */
uint64_t qTime_GetMonotonicMS(void);

/* Sleeps `ms` milliseconds (0 returns at once). */
void qTime_MSSleep(uint32_t ms);
