#include "Cindervex2/common/qStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <vector>

#include "Cindervex2/common/qPushbackRing.h"
#include "Cindervex2/platform/qPlatform.h"

struct qStream {
    qStreamGetFunction get;
    qStreamPutFunction put;
    qStreamWriteFunction write;
    qStreamDeleteFunction del;
    void* reference;
    qPushbackRing pushback;
    qStreamWaitFunction wait;
    uint16_t tag;
};

static bool sValid(const qStream* stream) { return stream && stream->tag == qSTREAM_TAG; }

// Kinds without a wait function nap this long at most when asked to wait.
static constexpr uint32_t kFallbackWaitMs = 10;

qStream* qStream_Create(qStreamGetFunction get, qStreamPutFunction put, qStreamWriteFunction write,
                        qStreamDeleteFunction del, void* reference) {
    qStream* stream = new (std::nothrow) qStream{get, put, write, del, reference, {}, nullptr, qSTREAM_TAG};
    return stream;
}

qErr qStream_SetWaitFunction(qStream* stream, qStreamWaitFunction wait) {
    if (!sValid(stream)) return qErrParam;
    stream->wait = wait;
    return qErrNone;
}

qErr qStream_CreateWaitable(qStreamGetFunction get, qStreamPutFunction put, qStreamWriteFunction write,
                            qStreamDeleteFunction del, qStreamWaitFunction wait, void* reference,
                            qStream** stream) {
    qStream* made = qStream_Create(get, put, write, del, reference);
    if (!made) {
        del(reference);
        return qErrResource;
    }
    made->wait = wait;
    *stream = made;
    return qErrNone;
}

qErr qStream_WaitReadable(qStream* stream, uint32_t timeoutMs) {
    if (!sValid(stream)) return qErrParam;
    if (!stream->get) return qErrMode;
    if (stream->pushback.count() > 0) return qErrNone;
    if (stream->wait) return stream->wait(timeoutMs, stream->reference);
    qTime_MSSleep(std::min(timeoutMs, kFallbackWaitMs));
    return qErrNone;
}

// One byte: from the pushback ring while it holds any, else from the kind.
static qErr sNextByte(qStream* stream, uint8_t* byte) {
    if (stream->pushback.popFront(byte)) return qErrNone;
    return stream->get(byte, stream->reference);
}

qErr qStream_Read(qStream* stream, uint8_t* destination, uint32_t size) {
    if (sValid(stream) && !stream->get) return qErrMode;
    if (!sValid(stream) || !destination) return qErrParam;
    // The link reader reads one byte at a time: small reads need no heap.
    uint8_t small[64];
    uint8_t* scratch = size <= sizeof small ? small : static_cast<uint8_t*>(malloc(size));
    if (!scratch) return qErrResource;
    uint32_t got = 0;
    qErr result = qErrNone;
    while (got < size && (result = sNextByte(stream, &scratch[got])) == qErrNone) got++;
    if (result == qErrNotReady) {
        // All or nothing: give the bytes back so the next read sees them first.
        qErr kept = stream->pushback.pushFront(scratch, got);
        if (kept != qErrNone) result = kept;
    } else if (result == qErrNone || result == qErrEOF) {
        memcpy(destination, scratch, got);
    }
    if (scratch != small) free(scratch);
    return result;
}

qErr qStream_Write(qStream* stream, const uint8_t* data, uint32_t count) {
    if (!sValid(stream) || !data) return qErrParam;
    if (!stream->write && !stream->put) return qErrMode;
    if (stream->write && (count > 1 || !stream->put)) return count ? stream->write(data, count, stream->reference) : qErrNone;
    for (uint32_t i = 0; i < count; i++) {
        qErr result = stream->put(&data[i], stream->reference);
        if (result != qErrNone) return result;
    }
    return qErrNone;
}

qErr qStreamBufferChar(qStream* stream, uint8_t byte) {
    if (!sValid(stream)) return qErrParam;
    return stream->pushback.pushBack(byte);
}

namespace {

// Splits a byte sequence into record data and a delimiter. Bytes that begin the delimiter
// are held back until it either completes or turns out to be data; in that case only the
// first held byte is data for sure: the rest (and the byte that broke the match) are
// examined again, since they may begin the delimiter themselves.
class RecordScanner {
public:
    RecordScanner(uint32_t maximum, const uint8_t* delimiter, uint32_t length)
        : maximum_(maximum), delimiter_(delimiter), length_(length) {
        stored_.reserve(maximum);
    }

    // Feeds one byte; true once the record is complete.
    bool feed(uint8_t byte) {
        replay_.push_back(byte);
        while (!replay_.empty()) {
            uint8_t next = replay_.front();
            replay_.pop_front();
            if (next == delimiter_[held_.size()]) {
                held_.push_back(next);
                if (held_.size() == length_) return true;
                continue;
            }
            if (!held_.empty()) {
                replay_.push_front(next);
                replay_.insert(replay_.begin(), held_.begin() + 1, held_.end());
                next = held_.front();
                held_.clear();
            }
            stored_.push_back(next);
            if (stored_.size() == maximum_) return true;
        }
        return false;
    }

    // At end of input the held bytes are data after all.
    void finishAtEnd() {
        std::vector<uint8_t> rest(held_.begin(), held_.end());
        held_.clear();
        for (uint8_t byte : rest) {
            if (stored_.size() == maximum_) {
                replay_.push_back(byte);
            } else {
                stored_.push_back(byte);
            }
        }
    }

    // Everything taken from the stream so far, in order.
    std::vector<uint8_t> everything() const {
        std::vector<uint8_t> all(stored_);
        all.insert(all.end(), held_.begin(), held_.end());
        all.insert(all.end(), replay_.begin(), replay_.end());
        return all;
    }

    const std::vector<uint8_t>& stored() const { return stored_; }
    // Bytes taken from the stream but not part of the record: they go back to the stream.
    std::vector<uint8_t> unused() const { return std::vector<uint8_t>(replay_.begin(), replay_.end()); }

private:
    uint32_t maximum_;
    const uint8_t* delimiter_;
    uint32_t length_;
    std::vector<uint8_t> stored_;
    std::deque<uint8_t> held_;
    std::deque<uint8_t> replay_;
};

qErr sGiveBack(qStream* stream, const std::vector<uint8_t>& bytes) {
    return stream->pushback.pushFront(bytes.data(), bytes.size());
}

qErr sScanRecord(qStream* stream, RecordScanner& scanner) {
    for (;;) {
        uint8_t byte;
        qErr result = qStream_Read(stream, &byte, 1);
        if (result == qErrNotReady) {
            qErr kept = sGiveBack(stream, scanner.everything());
            return kept == qErrNone ? qErrNotReady : kept;
        }
        if (result == qErrEOF) {
            scanner.finishAtEnd();
            if (scanner.stored().empty()) return qErrEOF;
            return sGiveBack(stream, scanner.unused());
        }
        if (result != qErrNone) return result;
        if (scanner.feed(byte)) return sGiveBack(stream, scanner.unused());
    }
}

}  // namespace

qErr qStream_ReadRecord(qStream* stream, uint8_t* destination, uint32_t* count, uint32_t maximum,
                        const uint8_t* delimiter, uint32_t delimiterLength) {
    if (!sValid(stream) || !destination || !delimiter || delimiterLength == 0) return qErrParam;
    if (!stream->get) return qErrMode;
    if (maximum == 0) {
        if (count) *count = 0;
        return qErrNone;
    }
    try {
        RecordScanner scanner(maximum, delimiter, delimiterLength);
        qErr result = sScanRecord(stream, scanner);
        if (result != qErrNone) return result;
        memcpy(destination, scanner.stored().data(), scanner.stored().size());
        if (count) *count = static_cast<uint32_t>(scanner.stored().size());
        return qErrNone;
    } catch (const std::bad_alloc&) {
        return qErrResource;
    }
}

qErr qStream_WriteRecord(qStream* stream, const uint8_t* data, uint32_t count, const uint8_t* delimiter,
                         uint32_t delimiterLength) {
    if (!sValid(stream) || !data || !delimiter || delimiterLength == 0) return qErrParam;
    qErr result = qStream_Write(stream, data, count);
    return result == qErrNone ? qStream_Write(stream, delimiter, delimiterLength) : result;
}

static qErr sReadText(qStream* stream, char* buffer, uint32_t size, const uint8_t* delimiter, uint32_t length) {
    if (!buffer || size == 0) return qErrParam;
    uint32_t count = 0;
    qErr result = qStream_ReadRecord(stream, reinterpret_cast<uint8_t*>(buffer), &count, size - 1, delimiter, length);
    if (result == qErrNone) buffer[count] = '\0';
    return result;
}

qErr qStream_ReadCString(qStream* stream, char* buffer, uint32_t size) {
    static const uint8_t kNul = 0;
    return sReadText(stream, buffer, size, &kNul, 1);
}

qErr qStream_ReadCStringRecord(qStream* stream, char* buffer, uint32_t size, const char* delimiter) {
    if (!delimiter) return qErrParam;
    return sReadText(stream, buffer, size, reinterpret_cast<const uint8_t*>(delimiter),
                     static_cast<uint32_t>(strlen(delimiter)));
}

qErr qStream_WriteCString(qStream* stream, const char* text) {
    if (!text) return qErrParam;
    return qStream_Write(stream, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(strlen(text) + 1));
}

qErr qStream_WriteCStringRecord(qStream* stream, const char* text, const char* delimiter) {
    if (!text || !delimiter) return qErrParam;
    return qStream_WriteRecord(stream, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(strlen(text)),
                               reinterpret_cast<const uint8_t*>(delimiter), static_cast<uint32_t>(strlen(delimiter) + 1));
}

qErr qStream_Flush(qStream* source, qStream* destination) {
    if (!sValid(source) || !sValid(destination)) return qErrParam;
    if (!source->get || !destination->put) return qErrMode;
    for (;;) {
        uint8_t byte;
        qErr result = sNextByte(source, &byte);
        if (result == qErrEOF) return qErrNone;
        if (result != qErrNone) return result;
        result = destination->put(&byte, destination->reference);
        if (result != qErrNone) return result;
    }
}

qErr qStream_Destroy(qStream** stream) {
    if (!stream) return qErrParam;
    qStream* dying = *stream;
    *stream = nullptr;
    if (!sValid(dying)) return qErrParam;
    qErr result = dying->del ? dying->del(dying->reference) : qErrNone;
    dying->tag = 0;
    delete dying;
    return result;
}
