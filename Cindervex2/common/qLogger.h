#pragma once
// A background thread that calls a callback with a file again and again while enabled;
// the Link object drains its packet log into a text file with it.
#include <cstdint>

#include "Cindervex2/common/qErr.h"
#include "Cindervex2/platform/qPlatform.h"

#define qLOGGER_TAG 0xDEED

typedef struct qLogger qLogger;

/* Called in a loop on the logger thread while the logger is enabled. It must return
 * within a bounded time (e.g. sleep a few ms when there is nothing to write). */
typedef qErr (*qLoggerCallback)(qFile* file, int32_t argument);

/* New, disabled logger writing to `path` (opened for appending, unbuffered). Null for a
 * null callback, when the file cannot be opened or memory runs out. */
qLogger* qLogger_Create(int32_t argument, qLoggerCallback callback, const char* path);

/* Starts the thread. qErrNone also when running. qErrParam: invalid logger.
 * qErrResource: the thread cannot start. */
qErr qLogger_Enable(qLogger* logger);

/* Stops the thread and waits for it (as long as one callback takes). From the logger
 * thread itself it only asks the thread to end. qErrParam: invalid logger. qErrUnknown:
 * the wait failed. */
qErr qLogger_Disable(qLogger* logger);

/* Stops the thread, then closes the file and frees the logger; `*logger` set to null.
 * Called from the logger thread (from the callback) it only asks the thread to end and
 * returns qErrBusy: destroy it again from another thread. qErrNone for a null or invalid
 * logger. */
qErr qLogger_Destroy(qLogger** logger);
