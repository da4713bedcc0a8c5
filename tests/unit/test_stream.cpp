#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "Cindervex2/common/qPushbackRing.h"
#include "Cindervex2/common/qStream.h"

namespace {

// A stream kind whose get answers from a script and whose put and write record calls.
struct Script {
    std::deque<std::pair<qErr, uint8_t>> gets;
    qErr whenEmpty = qErrNotReady;
    std::vector<std::string> calls;
    std::string written;
    int failPutAt = -1;  // index of the put call that fails with qErrIO
    int deletes = 0;
    qErr deleteResult = qErrNone;
    std::vector<uint32_t> waits;

    void feed(const std::string& bytes) {
        for (char c : bytes) gets.emplace_back(qErrNone, static_cast<uint8_t>(c));
    }
    void then(qErr result) { gets.emplace_back(result, 0); }
};

qErr sGet(uint8_t* byte, void* reference) {
    Script* s = static_cast<Script*>(reference);
    if (s->gets.empty()) return s->whenEmpty;
    auto [result, value] = s->gets.front();
    s->gets.pop_front();
    if (result == qErrNone) *byte = value;
    return result;
}

qErr sPut(const uint8_t* byte, void* reference) {
    Script* s = static_cast<Script*>(reference);
    int index = static_cast<int>(s->calls.size());
    s->calls.push_back("put");
    if (index == s->failPutAt) return qErrIO;
    s->written += static_cast<char>(*byte);
    return qErrNone;
}

qErr sWrite(const uint8_t* data, uint32_t count, void* reference) {
    Script* s = static_cast<Script*>(reference);
    s->calls.push_back("write " + std::to_string(count));
    s->written.append(reinterpret_cast<const char*>(data), count);
    return qErrNone;
}

qErr sDelete(void* reference) {
    Script* s = static_cast<Script*>(reference);
    s->deletes++;
    return s->deleteResult;
}

qErr sWait(uint32_t timeoutMs, void* reference) {
    static_cast<Script*>(reference)->waits.push_back(timeoutMs);
    return qErrTimeout;
}

class StreamTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (stream) qStream_Destroy(&stream);
    }
    qStream* make(bool get = true, bool put = true, bool write = true) {
        if (stream) qStream_Destroy(&stream);
        stream = qStream_Create(get ? sGet : nullptr, put ? sPut : nullptr, write ? sWrite : nullptr, sDelete, &script);
        return stream;
    }
    std::string read(uint32_t size, qErr want) {
        std::string out(size, '.');
        EXPECT_EQ(qStream_Read(stream, reinterpret_cast<uint8_t*>(out.data()), size), want);
        return out;
    }
    Script script;
    qStream* stream = nullptr;
};

TEST_F(StreamTest, ReadIsAllOrNothingWhileTheSourceIsSlow) {
    make();
    script.feed("ab");
    EXPECT_EQ(read(4, qErrNotReady), "....") << "destination untouched";
    script.feed("cd");
    EXPECT_EQ(read(4, qErrNone), "abcd");
}

TEST_F(StreamTest, ReadAtEndOfInputReturnsWhatItGot) {
    make();
    script.feed("abc");
    script.then(qErrEOF);
    EXPECT_EQ(read(4, qErrEOF), "abc.");
}

TEST_F(StreamTest, ReadFailureIsReturnedWithDestinationUntouched) {
    make();
    script.feed("a");
    script.then(qErrIO);
    EXPECT_EQ(read(2, qErrIO), "..");
}

TEST_F(StreamTest, ReadLargerThanTheSmallBufferGivesBytesBack) {
    make();
    std::string big(300, 'x');
    big[299] = 'y';
    script.feed(big.substr(0, 150));
    read(300, qErrNotReady);
    script.feed(big.substr(150));
    EXPECT_EQ(read(300, qErrNone), big);
}

TEST_F(StreamTest, ReadChecksItsArguments) {
    uint8_t byte;
    EXPECT_EQ(qStream_Read(nullptr, &byte, 1), qErrParam);
    make();
    EXPECT_EQ(qStream_Read(stream, nullptr, 1), qErrParam);
    make(false);
    EXPECT_EQ(qStream_Read(stream, &byte, 1), qErrMode);
}

struct WriteCase {
    const char* name;
    bool put, write;
    std::string data;
    int failPutAt;
    qErr want;
    std::vector<std::string> calls;
};

class StreamWriteTest : public StreamTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(StreamWriteTest, ChoosesPutOrWrite) {
    const WriteCase& c = GetParam();
    make(true, c.put, c.write);
    script.failPutAt = c.failPutAt;
    EXPECT_EQ(qStream_Write(stream, reinterpret_cast<const uint8_t*>(c.data.data()), static_cast<uint32_t>(c.data.size())),
              c.want);
    EXPECT_EQ(script.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamWriteTest,
    ::testing::Values(WriteCase{"OneByteUsesPut", true, true, "a", -1, qErrNone, {"put"}},
                      WriteCase{"BlockUsesWrite", true, true, "ab", -1, qErrNone, {"write 2"}},
                      WriteCase{"PutOnlyGoesByteByByte", true, false, "abc", -1, qErrNone, {"put", "put", "put"}},
                      WriteCase{"WriteOnlyTakesOneByte", false, true, "a", -1, qErrNone, {"write 1"}},
                      WriteCase{"NothingToWrite", true, true, "", -1, qErrNone, {}},
                      WriteCase{"StopsAtTheFailingPut", true, false, "abc", 1, qErrIO, {"put", "put"}},
                      WriteCase{"NeitherPutNorWrite", false, false, "a", -1, qErrMode, {}}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(PushbackRingTest, Holds511BeforeGrowingAndKeepsOrderAcrossWrap) {
    qPushbackRing ring;
    for (int i = 0; i < 300; i++) ASSERT_EQ(ring.pushBack(static_cast<uint8_t>(i)), qErrNone);
    uint8_t byte;
    for (int i = 0; i < 200; i++) ASSERT_TRUE(ring.popFront(&byte));
    // 100 held, head at 200: these wrap around the end before the ring grows.
    for (int i = 300; i < 711; i++) ASSERT_EQ(ring.pushBack(static_cast<uint8_t>(i)), qErrNone);
    EXPECT_EQ(ring.count(), 511u);
    EXPECT_EQ(ring.capacity(), 512u);
    ASSERT_EQ(ring.pushBack(static_cast<uint8_t>(711)), qErrNone);
    EXPECT_EQ(ring.capacity(), 1024u);
    const uint8_t front[] = {1, 2};
    ASSERT_EQ(ring.pushFront(front, 2), qErrNone);
    ASSERT_TRUE(ring.popFront(&byte));
    EXPECT_EQ(byte, 1);
    ASSERT_TRUE(ring.popFront(&byte));
    EXPECT_EQ(byte, 2);
    for (int i = 200; i < 712; i++) {
        ASSERT_TRUE(ring.popFront(&byte));
        ASSERT_EQ(byte, static_cast<uint8_t>(i)) << i;
    }
    EXPECT_FALSE(ring.popFront(&byte));
}

TEST_F(StreamTest, BufferedBytesAreReadFirstInOrder) {
    make();
    script.feed("z");
    for (char c : std::string("xy")) ASSERT_EQ(qStreamBufferChar(stream, static_cast<uint8_t>(c)), qErrNone);
    EXPECT_EQ(read(3, qErrNone), "xyz");
    EXPECT_EQ(qStreamBufferChar(nullptr, 1), qErrParam);
}

struct RecordCase {
    const char* name;
    std::vector<std::string> chunks;  // fed one after the other; NotReady between them
    bool endsInput;
    uint32_t maximum;
    std::string delimiter;
    qErr want;
    std::string record;
    std::string rest;  // what the stream yields afterwards
};

class ReadRecordTest : public StreamTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(ReadRecordTest, SplitsAtTheDelimiter) {
    const RecordCase& c = GetParam();
    make();
    uint8_t record[64];
    uint32_t count = 999;
    qErr result = qErrNotReady;
    const auto* delimiter = reinterpret_cast<const uint8_t*>(c.delimiter.data());
    for (const std::string& chunk : c.chunks) {
        script.feed(chunk);
        result = qStream_ReadRecord(stream, record, &count, c.maximum, delimiter, static_cast<uint32_t>(c.delimiter.size()));
        if (result != qErrNotReady) break;
    }
    if (c.endsInput) {
        script.whenEmpty = qErrEOF;
        if (result == qErrNotReady)
            result = qStream_ReadRecord(stream, record, &count, c.maximum, delimiter, static_cast<uint32_t>(c.delimiter.size()));
    }
    ASSERT_EQ(result, c.want);
    if (c.want == qErrNone) {
        EXPECT_EQ(std::string(reinterpret_cast<char*>(record), count), c.record);
    }
    script.whenEmpty = qErrEOF;
    std::string rest(64, '\0');
    uint8_t* to = reinterpret_cast<uint8_t*>(rest.data());
    qErr tail = qStream_Read(stream, to, 64);
    EXPECT_EQ(tail, qErrEOF);
    EXPECT_EQ(rest.c_str(), c.rest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadRecordTest,
    ::testing::Values(RecordCase{"Line", {"line\nrest"}, false, 64, "\n", qErrNone, "line", "rest"},
                      RecordCase{"MaximumReached", {"abcdef\n"}, false, 3, "\n", qErrNone, "abc", "def\n"},
                      RecordCase{"MaximumZeroReadsNothing", {"abc"}, false, 0, "\n", qErrNone, "", "abc"},
                      RecordCase{"EndOfInputEndsTheRecord", {"abc"}, true, 64, "\n", qErrNone, "abc", ""},
                      RecordCase{"EndOfInputBeforeAnyByte", {""}, true, 64, "\n", qErrEOF, "", ""},
                      RecordCase{"SlowSourceGivesBytesBack", {"ab", "c\nz"}, false, 64, "\n", qErrNone, "abc", "z"},
                      RecordCase{"TwoByteDelimiter", {"a\rb\r\nz"}, false, 64, "\r\n", qErrNone, "a\rb", "z"},
                      RecordCase{"OverlappingDelimiter", {"aaabz"}, false, 64, "aab", qErrNone, "a", "z"},
                      RecordCase{"DelimiterSplitBySlowSource", {"ab\r", "\nz"}, false, 64, "\r\n", qErrNone, "ab", "z"},
                      RecordCase{"HalfDelimiterAtEnd", {"ab\r"}, true, 64, "\r\n", qErrNone, "ab\r", ""},
                      RecordCase{"HalfDelimiterBeyondMaximum", {"ab\rc"}, false, 3, "\r\n", qErrNone, "ab\r", "c"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(StreamTest, ReadRecordChecksItsArguments) {
    make();
    uint8_t buffer[4];
    const uint8_t nl = '\n';
    EXPECT_EQ(qStream_ReadRecord(nullptr, buffer, nullptr, 4, &nl, 1), qErrParam);
    EXPECT_EQ(qStream_ReadRecord(stream, nullptr, nullptr, 4, &nl, 1), qErrParam);
    EXPECT_EQ(qStream_ReadRecord(stream, buffer, nullptr, 4, nullptr, 1), qErrParam);
    EXPECT_EQ(qStream_ReadRecord(stream, buffer, nullptr, 4, &nl, 0), qErrParam);
}

TEST_F(StreamTest, ReadCStringTerminatesAndGuardsSmallBuffers) {
    make();
    script.feed(std::string("hi\0there\0", 9));
    char text[16] = "untouched";
    EXPECT_EQ(qStream_ReadCString(stream, text, 0), qErrParam);
    EXPECT_EQ(qStream_ReadCString(stream, text, 1), qErrNone);
    EXPECT_STREQ(text, "") << "a 1-byte buffer holds the empty text";
    EXPECT_EQ(qStream_ReadCString(stream, text, sizeof text), qErrNone);
    EXPECT_STREQ(text, "hi");
    EXPECT_EQ(qStream_ReadCString(stream, text, 4), qErrNone);
    EXPECT_STREQ(text, "the");
    EXPECT_EQ(qStream_ReadCStringRecord(stream, text, sizeof text, "e"), qErrNone);
    EXPECT_STREQ(text, "r");
    EXPECT_EQ(qStream_ReadCStringRecord(stream, text, sizeof text, ""), qErrParam);
    EXPECT_EQ(qStream_ReadCStringRecord(stream, text, sizeof text, nullptr), qErrParam);
}

TEST_F(StreamTest, WritesTextsAndRecords) {
    make();
    EXPECT_EQ(qStream_WriteCString(stream, "hi"), qErrNone);
    EXPECT_EQ(qStream_WriteCStringRecord(stream, "ab", "\r\n"), qErrNone);
    const uint8_t data[] = {'x'};
    const uint8_t delimiter[] = {';'};
    EXPECT_EQ(qStream_WriteRecord(stream, data, 1, delimiter, 1), qErrNone);
    EXPECT_EQ(script.written, std::string("hi\0ab\r\n\0x;", 10));
    EXPECT_EQ(qStream_WriteRecord(stream, data, 1, delimiter, 0), qErrParam);
    EXPECT_EQ(qStream_WriteRecord(stream, nullptr, 1, delimiter, 1), qErrParam);
    EXPECT_EQ(qStream_WriteCString(stream, nullptr), qErrParam);
    EXPECT_EQ(qStream_WriteCStringRecord(stream, "a", nullptr), qErrParam);
}

TEST_F(StreamTest, WriteRecordStopsAtTheFirstFailure) {
    make(true, true, false);
    script.failPutAt = 0;
    const uint8_t data[] = {'x'};
    const uint8_t delimiter[] = {';'};
    EXPECT_EQ(qStream_WriteRecord(stream, data, 1, delimiter, 1), qErrIO);
    EXPECT_EQ(script.calls.size(), 1u);
}

TEST_F(StreamTest, FlushCopiesPushbackAndInputUntilTheEnd) {
    make();
    Script sink;
    qStream* destination = qStream_Create(nullptr, sPut, nullptr, sDelete, &sink);
    ASSERT_EQ(qStreamBufferChar(stream, 'a'), qErrNone);
    script.feed("bc");
    script.then(qErrEOF);
    EXPECT_EQ(qStream_Flush(stream, destination), qErrNone);
    EXPECT_EQ(sink.written, "abc");
    script.feed("d");
    script.then(qErrIO);
    EXPECT_EQ(qStream_Flush(stream, destination), qErrIO);
    EXPECT_EQ(qStream_Flush(destination, stream), qErrMode) << "the destination has no get";
    EXPECT_EQ(qStream_Flush(nullptr, stream), qErrParam);
    qStream_Destroy(&destination);
}

TEST_F(StreamTest, WaitReadableUsesPushbackThenTheKind) {
    make();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(qStream_WaitReadable(stream, 1000), qErrNone) << "no wait function: a short nap";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    ASSERT_EQ(qStream_SetWaitFunction(stream, sWait), qErrNone);
    EXPECT_EQ(qStream_WaitReadable(stream, 25), qErrTimeout);
    EXPECT_EQ(script.waits, std::vector<uint32_t>{25});
    qStreamBufferChar(stream, 'x');
    EXPECT_EQ(qStream_WaitReadable(stream, 25), qErrNone);
    EXPECT_EQ(script.waits.size(), 1u) << "bytes given back are ready at once";
    make(false);
    EXPECT_EQ(qStream_WaitReadable(stream, 1), qErrMode);
    EXPECT_EQ(qStream_WaitReadable(nullptr, 1), qErrParam);
}

TEST_F(StreamTest, DestroyCallsDeleteOnceAndClearsThePointer) {
    make();
    script.deleteResult = qErrIO;
    EXPECT_EQ(qStream_Destroy(&stream), qErrIO);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(script.deletes, 1);
    EXPECT_EQ(qStream_Destroy(&stream), qErrParam);
    EXPECT_EQ(qStream_Destroy(nullptr), qErrParam);
}

}  // namespace
