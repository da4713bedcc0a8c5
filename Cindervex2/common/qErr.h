#pragma once
// The library-wide error code. The numbers are fixed: every layer passes and compares
// codes as these numbers, so never renumber or reuse one.

typedef enum qErr {
    qErrNone = 0,
    qErrMemory = 1,
    qErrParam = 2,
    qErrNotFound = 3,
    qErrFileNameLength = 4,
    qErrBusy = 5,
    qErrIO = 6,
    qErrMode = 7,
    qErrWrite = 8,
    qErrRead = 9,
    qErrEOF = 10,
    qErrNotReady = 11,
    qErrPermission = 12,
    qErrRange = 13,
    qErrSize = 14,
    qErrOverrun = 15,
    qErrParse = 16,
    qErrConfiguration = 17,
    qErrTimeout = 18,
    qErrInitialization = 19,
    qErrVersion = 20,
    qErrUnimplemented = 21,
    qErrDuplicate = 22,
    qErrCancel = 23,
    qErrPacket = 24,
    qErrConnection = 25,
    qErrIndexRange = 26,
    qErrShortCommand = 27,
    qErrInvalidEntity = 28,
    qErrInvalidOption = 29,
    qErrResource = 30,
    qErrMedia = 31,
    qErrAsyncReturn = 32,
    qErrStreamStale = 33,
    qErrUnknown = 34,
} qErr;

/* Name text of a code ("qErrTimeout"); any code above 34 gives "qErrUnknown". */
const char* qError_GetErrorText(unsigned int code);

/* Description text of a code ("Timeout occurred"); any code above 34 gives code 34's. */
const char* qError_GetErrorDescription(unsigned int code);
