#include "Cindervex2/common/qPacketLog.h"

#include <new>

namespace {

uint32_t sUsed(const qPacketLog* log) { return (log->writeIndex + log->size - log->readIndex) % log->size; }

uint8_t sByteAt(const qPacketLog* log, uint32_t offset) { return log->buffer[(log->readIndex + offset) % log->size]; }

void sPush(qPacketLog* log, uint8_t byte) {
    log->buffer[log->writeIndex] = byte;
    log->writeIndex = (log->writeIndex + 1) % log->size;
}

void sDropOldest(qPacketLog* log) {
    uint32_t length = sByteAt(log, 1);
    log->readIndex = (log->readIndex + 2 + length) % log->size;
}

}  // namespace

qPacketLog* qPacketLog_Create(uint32_t size) {
    if (size == 0) return nullptr;
    auto* log = new (std::nothrow) qPacketLog{0, nullptr, size, 0, 0};
    if (log == nullptr) return nullptr;
    log->buffer = new (std::nothrow) uint8_t[size];
    if (log->buffer == nullptr) {
        delete log;
        return nullptr;
    }
    return log;
}

qErr qPacketLog_Put(qPacketLog* log, int32_t direction, uint32_t length, const uint8_t* bytes) {
    if (log == nullptr || (bytes == nullptr && length > 0) || length >= 256) return qErrParam;
    if (length + 2 >= log->size) return qErrOverrun;
    // Keep at least one byte free so that a full ring never looks empty.
    while (log->size - sUsed(log) <= length + 2) sDropOldest(log);
    sPush(log, static_cast<uint8_t>(direction));
    sPush(log, static_cast<uint8_t>(length));
    for (uint32_t i = 0; i < length; i++) sPush(log, bytes[i]);
    return qErrNone;
}

qErr qPacketLog_Get(qPacketLog* log, int32_t* direction, uint32_t* length, uint8_t* buffer) {
    if (log == nullptr || direction == nullptr || length == nullptr || buffer == nullptr) return qErrParam;
    if (sUsed(log) == 0) return qErrNotFound;
    uint32_t capacity = *length;
    uint32_t entryLength = sByteAt(log, 1);
    *direction = sByteAt(log, 0);
    *length = entryLength;
    if (capacity < entryLength) return qErrOverrun;
    for (uint32_t i = 0; i < entryLength; i++) buffer[i] = sByteAt(log, 2 + i);
    sDropOldest(log);
    return qErrNone;
}

qErr qPacketLog_Destroy(qPacketLog** log) {
    if (log == nullptr || *log == nullptr) return qErrParam;
    delete[] (*log)->buffer;
    delete *log;
    *log = nullptr;
    return qErrNone;
}
