// Feeds arbitrary input through a stream whose source is slow at arbitrary points, and
// through the packet accumulator. Records read until the end, joined by the delimiter,
// must give back the input: no byte lost, doubled or reordered by the pushback logic.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Cindervex2/common/qPacket.h"
#include "Cindervex2/common/qStream.h"

namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool paused = false;
};

// Every byte divisible by 5 is preceded by one "not ready" answer.
qErr sGet(uint8_t* byte, void* reference) {
    Source* s = static_cast<Source*>(reference);
    if (s->at == s->size) return qErrEOF;
    if (s->data[s->at] % 5 == 0 && !s->paused) {
        s->paused = true;
        return qErrNotReady;
    }
    s->paused = false;
    *byte = s->data[s->at++];
    return qErrNone;
}

void sCheckRecords(const uint8_t* data, size_t size) {
    if (size < 1) return;
    size_t delimiterLength = 1 + data[0] % 3;
    if (size < 1 + delimiterLength) return;
    std::string delimiter(reinterpret_cast<const char*>(data + 1), delimiterLength);
    Source source{data + 1 + delimiterLength, size - 1 - delimiterLength};
    qStream* stream = qStream_Create(sGet, nullptr, nullptr, nullptr, &source);
    std::string joined;
    bool first = true;
    for (;;) {
        uint8_t record[4096];
        uint32_t count = 0;
        qErr result = qStream_ReadRecord(stream, record, &count, sizeof record,
                                         reinterpret_cast<const uint8_t*>(delimiter.data()),
                                         static_cast<uint32_t>(delimiterLength));
        if (result == qErrNotReady) continue;
        if (result == qErrEOF) break;
        if (result != qErrNone) abort();
        if (!first) joined += delimiter;
        joined.append(reinterpret_cast<char*>(record), count);
        first = false;
    }
    std::string input(reinterpret_cast<const char*>(source.data), source.size);
    if (joined != input && joined + delimiter != input) abort();
    qStream_Destroy(&stream);
}

void sCheckAccumulator(const uint8_t* data, size_t size) {
    qPacketPtr packet(qPacket_Create());
    for (size_t i = 0; i < size; i++) {
        if (qPacket_AddByte(packet.get(), data[i]) != qErrNone) {
            qPacket_Reset(packet.get());
            continue;
        }
        if (packet->length > qPACKET_MAX_DATA || packet->filled > qPACKET_MAX_WIRE) abort();
        if (qPacket_IsComplete(packet.get())) qPacket_Reset(packet.get());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sCheckRecords(data, size);
    sCheckAccumulator(data, size);
    return 0;
}
