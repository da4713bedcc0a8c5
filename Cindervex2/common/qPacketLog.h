#pragma once
// A byte ring recording packets: each entry is a direction byte, a length byte and the
// bytes, wrapping at the end of the buffer. When an entry does not fit, the oldest ones are
// dropped. Not locked: the link serialises every use under its log mutex.
#include <cstdint>

#include "Cindervex2/common/qErr.h"

typedef struct qPacketLog {
    uint8_t enabled;
    uint8_t* buffer;
    uint32_t size;
    uint32_t readIndex;
    uint32_t writeIndex; /* empty when equal to readIndex */
} qPacketLog;

/* New empty ring of `size` bytes; null for size 0 or when memory runs out. */
qPacketLog* qPacketLog_Create(uint32_t size);

/* Appends an entry of `length` bytes, dropping the oldest entries until it fits.
 * qErrParam: null log or bytes, length 256 or more. qErrOverrun: length + 2 is not smaller
 * than the ring, so the entry can never fit (nothing dropped). */
qErr qPacketLog_Put(qPacketLog* log, int32_t direction, uint32_t length, const uint8_t* bytes);

/* Takes the oldest entry: direction to `*direction`, its length to `*length` (which holds
 * the capacity of `buffer` on entry) and its bytes to `buffer`. qErrNotFound: empty.
 * qErrOverrun: the capacity is too small; the entry stays. qErrParam: a null argument. */
qErr qPacketLog_Get(qPacketLog* log, int32_t* direction, uint32_t* length, uint8_t* buffer);

/* Frees `*log` and sets it to null. qErrParam: null address or log. */
qErr qPacketLog_Destroy(qPacketLog** log);
