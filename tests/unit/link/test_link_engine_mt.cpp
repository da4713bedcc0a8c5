// The link engine over a scripted stream: handshake, heartbeats, pooled writes, use
// counts, reset, and the packet log and logger.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Cindervex2/common/qLink.h"
#include "Cindervex2/common/qLogger.h"
#include "Cindervex2/common/qPacketLog.h"
#include "tests/unit/support/SimProcess.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// A stream the test feeds and watches: get hands out queued bytes, write records each
// call, optionally holding it until released. Owned by the link once given to it.
struct Script {
    std::mutex m;
    std::condition_variable cv;
    std::deque<uint8_t> inbox;
    std::vector<Bytes> writes;
    bool holdWrites = false;
    bool answerSync = false; /* reply 04 00 to each sync request written */

    void feed(const Bytes& b) {
        std::lock_guard<std::mutex> g(m);
        inbox.insert(inbox.end(), b.begin(), b.end());
        cv.notify_all();
    }
    Bytes written() {
        std::lock_guard<std::mutex> g(m);
        Bytes all;
        for (const Bytes& w : writes) all.insert(all.end(), w.begin(), w.end());
        return all;
    }
    bool awaitWrites(size_t n, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, limit, [&] { return writes.size() >= n; });
    }
    void release() {
        std::lock_guard<std::mutex> g(m);
        holdWrites = false;
        cv.notify_all();
    }

    static qErr get(uint8_t* byte, void* ref) {
        auto* s = static_cast<Script*>(ref);
        std::lock_guard<std::mutex> g(s->m);
        if (s->inbox.empty()) return qErrNotReady;
        *byte = s->inbox.front();
        s->inbox.pop_front();
        return qErrNone;
    }
    static qErr write(const uint8_t* data, uint32_t count, void* ref) {
        auto* s = static_cast<Script*>(ref);
        std::unique_lock<std::mutex> g(s->m);
        s->writes.emplace_back(data, data + count);
        s->cv.notify_all();
        s->cv.wait_for(g, 5s, [&] { return !s->holdWrites; });
        for (uint32_t i = 0; s->answerSync && i + 1 < count; i += 2)
            if (data[i] == 0xAD && data[i + 1] == 0x00) s->inbox.insert(s->inbox.end(), {0x04, 0x00});
        s->cv.notify_all();
        return qErrNone;
    }
    static qErr put(const uint8_t* byte, void* ref) { return write(byte, 1, ref); }
    static qErr wait(uint32_t ms, void* ref) {
        auto* s = static_cast<Script*>(ref);
        std::unique_lock<std::mutex> g(s->m);
        return s->cv.wait_for(g, std::chrono::milliseconds(ms), [&] { return !s->inbox.empty(); }) ? qErrNone
                                                                                                   : qErrTimeout;
    }
    static qErr destroy(void* ref) {
        delete static_cast<Script*>(ref);
        return qErrNone;
    }
};

class LinkEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        script = new Script();
        qStream* stream = qStream_Create(Script::get, Script::put, Script::write, Script::destroy, script);
        ASSERT_NE(stream, nullptr);
        qStream_SetWaitFunction(stream, Script::wait);
        id = qLink_Create(stream);
        ASSERT_NE(id, 0u);
        ASSERT_TRUE(script->awaitWrites(1, 2s));  // the route packet of the start
        ASSERT_EQ(script->written(), (Bytes{0xAF, 0x01, 0x01}));
        std::lock_guard<std::mutex> g(script->m);
        script->writes.clear();
    }
    void TearDown() override {
        if (id != 0) {
            EXPECT_EQ(qLink_Destroy(&id), qErrNone);
        }
    }
    bool awaitStatus(uint32_t status, std::chrono::milliseconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (qLink_GetStatus(id) != status) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }
    void put(const Bytes& wire) {
        qPacket* p = qPacket_CreateWithData(wire[0], wire[1], wire.data() + 2);
        ASSERT_EQ(qLink_PutPacket(id, p), qErrNone);
        qPacket_Destroy(&p);
    }

    Script* script = nullptr;  // owned by the link's stream
    uint32_t id = 0;
};

const Bytes kBurst = {0xAD, 0, 0xAD, 0, 0xAD, 0, 0xAD, 0, 0xAD, 0, 0xAD, 0};

TEST_F(LinkEngineTest, ByteThatCannotStartAPacketSendsOneBurst) {
    script->feed({0x03});
    ASSERT_TRUE(script->awaitWrites(6, 2s));
    EXPECT_EQ(script->written(), kBurst);
    EXPECT_EQ(qLink_GetStatus(id), static_cast<uint32_t>(kLinkStatusSyncing));
}

struct HandshakeCase {
    const char* name;
    std::vector<Bytes> pieces; /* fed 30 ms apart, after the burst went out */
    bool synced;
};

class HandshakeTest : public LinkEngineTest, public ::testing::WithParamInterface<HandshakeCase> {};

TEST_P(HandshakeTest, SyncsOnTwoEmptyPacketsFromOneAddress) {
    script->feed({0x03});
    ASSERT_TRUE(script->awaitWrites(6, 2s));
    for (const Bytes& piece : GetParam().pieces) {
        script->feed(piece);
        std::this_thread::sleep_for(30ms);
    }
    EXPECT_EQ(awaitStatus(kLinkStatusRunning, 300ms), GetParam().synced);
    if (GetParam().synced) {
        // Replies that come in pieces faster than the quiet pause draw no second burst.
        EXPECT_EQ(script->written(), kBurst);
        put({0x04, 0x01, 0x17});
        ASSERT_TRUE(script->awaitWrites(7, 2s));
        std::lock_guard<std::mutex> g(script->m);
        EXPECT_EQ(script->writes.back(), (Bytes{0x04, 0x01, 0x17})) << "packets flow again";
    }
}

const HandshakeCase kHandshakes[] = {
    {"TwoRepliesFromOneAddress", {{0x04, 0x00, 0x04, 0x00}}, true},
    {"SecondAddressDiffers", {{0x04, 0x00, 0x06, 0x00}}, false},
    {"ReplyInPieces", {{0x04}, {0x00}, {0x04}, {0x00}}, true},
    {"GarbageBeforeReplies", {{0x05, 0x02, 0x04, 0x00, 0x04, 0x00}}, true},
    {"PatternBrokenThenWhole", {{0x04, 0x00, 0x06, 0x00, 0x06, 0x00}}, true},
    {"OddAddress", {{0x03, 0x00, 0x03, 0x00}}, false},
    {"OnlyOneReply", {{0x04, 0x00}}, false},
};

INSTANTIATE_TEST_SUITE_P(Bytes, HandshakeTest, ::testing::ValuesIn(kHandshakes),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(LinkEngineTest, SilentModuleGetsABurstAfterEachQuietPause) {
    script->feed({0x03});
    ASSERT_TRUE(script->awaitWrites(6, 2s));
    std::this_thread::sleep_for(450ms);
    size_t bursts = script->written().size() / kBurst.size();
    EXPECT_GE(bursts, 3u);
    EXPECT_LE(bursts, 6u) << "a burst about every 100 ms, not one per empty read";
}

TEST_F(LinkEngineTest, SyncAgainstAnsweringModuleEmptiesBothFifos) {
    script->answerSync = true;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(qLink_Sync(id), qErrNone);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(qLink_GetPacket(id), nullptr);
}

TEST_F(LinkEngineTest, SyncWithSilentModuleTimesOut) {
    EXPECT_EQ(qLink_Sync(id), qErrNotReady);
}

TEST_F(LinkEngineTest, HeartbeatIsAnsweredAndConsumed) {
    script->feed({0x04, 0x02, 0x00, 0x01, 0x04, 0x02, 0x00, 0xFF});
    ASSERT_TRUE(script->awaitWrites(2, 2s));
    EXPECT_EQ(script->written(), (Bytes{0x04, 0x02, 0x00, 0x03, 0x04, 0x02, 0x00, 0x01}));
    EXPECT_EQ(qLink_GetPacket(id), nullptr);
}

TEST_F(LinkEngineTest, UserFilterRunsBeforeTheHeartbeatReply) {
    ASSERT_EQ(qLink_InstallUserPacketFilter(id, [](const qPacket*, void*) { return true; }, nullptr), qErrNone);
    script->feed({0x04, 0x02, 0x00, 0x01, 0x04, 0x01, 0x17});
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(script->written().empty());
    EXPECT_EQ(qLink_GetPacket(id), nullptr);
}

TEST_F(LinkEngineTest, PooledModeSendsEverythingQueuedInOneWrite) {
    ASSERT_EQ(qLink_EnablePooledPackets(id, 1), qErrNone);
    {
        std::lock_guard<std::mutex> g(script->m);
        script->holdWrites = true;
    }
    put({0x04, 0x01, 0x17});
    ASSERT_TRUE(script->awaitWrites(1, 2s));  // the writer is now held inside that write
    for (int i = 0; i < 200; i++) put({0x04, 0x03, 0x17, static_cast<uint8_t>(i), 0x00});
    script->release();
    ASSERT_TRUE(script->awaitWrites(2, 2s));
    std::lock_guard<std::mutex> g(script->m);
    ASSERT_EQ(script->writes.size(), 2u);
    EXPECT_EQ(script->writes[1].size(), 1000u);
    EXPECT_EQ(script->writes[1][5 * 199 + 3], 199) << "in queue order";
}

TEST_F(LinkEngineTest, OutboundCountIsWhatTheWriterHasNotTaken) {
    {
        std::lock_guard<std::mutex> g(script->m);
        script->holdWrites = true;
    }
    put({0x04, 0x01, 0x17});
    ASSERT_TRUE(script->awaitWrites(1, 2s));  // the writer is now held inside that write
    for (int i = 0; i < 3; i++) put({0x04, 0x01, 0x17});
    size_t count = 99;
    EXPECT_EQ(qLink_GetOutboundCount(id, &count), qErrNone);
    EXPECT_EQ(count, 3u);
    script->release();
    ASSERT_TRUE(script->awaitWrites(4, 2s));
    EXPECT_EQ(qLink_GetOutboundCount(id, &count), qErrNone);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(qLink_GetOutboundCount(id, nullptr), qErrParam);
}

TEST_F(LinkEngineTest, AddedUseKeepsTheLinkThroughOneDestroy) {
    ASSERT_EQ(qLink_AddUse(id), qErrNone);
    uint32_t first = id;
    EXPECT_EQ(qLink_Destroy(&first), qErrNone);
    EXPECT_EQ(qLink_GetStatus(id), static_cast<uint32_t>(kLinkStatusRunning));
}

TEST_F(LinkEngineTest, PacketLogRecordsBothDirections) {
    ASSERT_EQ(qLink_PacketDebug_SetLogSize(id, 0x4000001), qErrParam);
    ASSERT_EQ(qLink_PacketDebug_SetLogSize(id, -5), qErrNone);
    int32_t direction = 0;
    uint32_t length = 32;
    uint8_t buffer[32];
    EXPECT_EQ(qLink_PacketDebug_Read(id, &direction, &length, buffer), qErrNotReady);
    ASSERT_EQ(qLink_PacketDebug_Enable(id), qErrNone);
    EXPECT_EQ(qLink_PacketDebug_SetLogSize(id, 4096), qErrBusy);
    put({0x04, 0x01, 0x17});
    ASSERT_TRUE(script->awaitWrites(1, 2s));
    script->feed({0x04, 0x01, 0x18});
    qPacket* received = qLink_AwaitPacket(id, 2000);
    ASSERT_NE(received, nullptr);
    qPacket_Destroy(&received);
    ASSERT_EQ(qLink_PacketDebug_Read(id, &direction, &length, buffer), qErrNone);
    EXPECT_EQ(direction, kPacketLogSent);
    EXPECT_EQ(Bytes(buffer, buffer + length), (Bytes{0x04, 0x01, 0x17}));
    length = sizeof buffer;
    ASSERT_EQ(qLink_PacketDebug_Read(id, &direction, &length, buffer), qErrNone);
    EXPECT_EQ(direction, kPacketLogReceived);
    EXPECT_EQ(Bytes(buffer, buffer + length), (Bytes{0x04, 0x01, 0x18}));
}

TEST_F(LinkEngineTest, LegacyLinkCannotBeResetAndStaysUntouched) {
    EXPECT_EQ(qLink_Reset(id), qErrParam);
    EXPECT_EQ(qLink_GetStatus(id), static_cast<uint32_t>(kLinkStatusRunning));
    put({0x04, 0x01, 0x17});
    EXPECT_TRUE(script->awaitWrites(1, 2s));
}

TEST_F(LinkEngineTest, DestroyWithAWriteInProgressReturns) {
    {
        std::lock_guard<std::mutex> g(script->m);
        script->holdWrites = true;
    }
    put({0x04, 0x01, 0x17});
    ASSERT_TRUE(script->awaitWrites(1, 2s));
    std::thread releaser([this] {
        std::this_thread::sleep_for(200ms);
        script->release();
    });
    EXPECT_EQ(qLink_Destroy(&id), qErrNone);
    releaser.join();
}

// A start whose writer cannot be made stops the reader it did start, so destroying the
// link frees nothing a thread still uses. The writer's thread is denied by an address
// space limit that leaves room for one more thread stack only (in a child process).
TEST(LinkStartTest, HalfStartedLinkStopsCleanly) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve address space beyond any small limit";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto child = [] {
        Script* s = new Script();
        qStream* stream = qStream_Create(Script::get, Script::put, Script::write, Script::destroy, s);
        qStream_SetWaitFunction(stream, Script::wait);
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * 4096 + 12 * 1024 * 1024;
        setrlimit(RLIMIT_AS, &limit);
        // Make sure the limit leaves room for exactly one thread.
        static std::atomic<bool> release{false};
        auto hold = [](void*) {
            while (!release) std::this_thread::sleep_for(1ms);
        };
        qThread* first = qThread_Create(hold, nullptr);
        qThread* second = qThread_Create(hold, nullptr);
        release = true;
        bool oneOnly = first != nullptr && second == nullptr;
        qThread_Destroy(&first);
        if (!oneOnly) _exit(4);
        uint32_t id = qLink_Create(stream);  // reader starts, writer cannot
        if (id != 0) _exit(2);
        _exit(qLink_GetStatus(1) == kLinkStatusInvalid ? 0 : 3);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
#endif
}

/* ---- registry and creation ---- */

// A TCP listener on 127.0.0.1 that accepts connections and keeps them open.
class Listener {
public:
    explicit Listener(uint16_t wanted = 0) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = inet_addr("127.0.0.1");
        a.sin_port = htons(wanted);
        bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd, 8) == 0;
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { close(fd); }
    int fd;
    bool bound;
    uint16_t port;
};

// A port on 127.0.0.1 where nothing listens.
uint16_t sClosedPort() {
    Listener l;
    return l.port;
}

TEST(LinkRegistryTest, SecondCreationSharesTheLinkUntilTheLastDestroy) {
    Listener server;
    ASSERT_TRUE(server.bound);
    uint32_t a = qLink_CreateTCPIP(inet_addr("127.0.0.1"), server.port);
    uint32_t b = qLink_CreateTCPIP(inet_addr("127.0.0.1"), server.port);
    ASSERT_NE(a, 0u);
    EXPECT_EQ(a, b);
    uint32_t kept = a;
    EXPECT_EQ(qLink_Destroy(&a), qErrNone);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(qLink_GetStatus(kept), static_cast<uint32_t>(kLinkStatusRunning));
    EXPECT_EQ(qLink_Destroy(&b), qErrNone);
    EXPECT_EQ(qLink_GetStatus(kept), static_cast<uint32_t>(kLinkStatusInvalid));
    EXPECT_EQ(qLink_Destroy(&kept), qErrParam);
    EXPECT_EQ(kept, 0u);
}

TEST(LinkRegistryTest, FailedCreationLeavesNothingBehind) {
    uint16_t port = sClosedPort();
    EXPECT_EQ(qLink_CreateTCPIP(inet_addr("127.0.0.1"), port), 0u);
    Listener server(port);
    ASSERT_TRUE(server.bound);
    uint32_t id = qLink_CreateTCPIP(inet_addr("127.0.0.1"), port);
    ASSERT_NE(id, 0u) << "no dead entry answers for that address";
    EXPECT_EQ(qLink_GetStatus(id), static_cast<uint32_t>(kLinkStatusRunning));
    EXPECT_EQ(qLink_Destroy(&id), qErrNone);
    EXPECT_EQ(qLink_CreateUSB(0x7FFFFFF1), 0u);
    EXPECT_EQ(qLink_CreateSerial(0x51, "/nonexistent/tty", 115200), 0u);
}

TEST(LinkRegistryTest, SerialRateMustBeOneOffered) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    grantpt(master);
    unlockpt(master);
    std::string path = ptsname(master);
    EXPECT_EQ(qLink_CreateSerial(0x52, path.c_str(), 1200), 0u);
    uint32_t id = qLink_CreateSerial(0x52, path.c_str(), 9600);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(qLink_GetStatus(id), static_cast<uint32_t>(kLinkStatusRunning));
    EXPECT_EQ(qLink_Destroy(&id), qErrNone);
    close(master);
}

TEST(LinkRegistryTest, ResetWithoutAPeerLeavesTheLinkInvalid) {
    uint32_t id = 0;
    uint16_t port = 0;
    {
        Listener server;
        port = server.port;
        id = qLink_CreateTCPIP(inet_addr("127.0.0.1"), port);
        ASSERT_NE(id, 0u);
    }
    qErr result = qLink_Reset(id);
    EXPECT_NE(result, qErrNone);
    EXPECT_EQ(qLink_GetStatus(id), static_cast<uint32_t>(kLinkStatusInvalid));
    EXPECT_EQ(qLink_AwaitPacket(id, 10), nullptr);
    Listener again(port);
    ASSERT_TRUE(again.bound);
    EXPECT_EQ(qLink_Reset(id), qErrNone) << "a later reset recovers";
    EXPECT_EQ(qLink_GetStatus(id), static_cast<uint32_t>(kLinkStatusRunning));
    EXPECT_EQ(qLink_Destroy(&id), qErrNone);
}

TEST(LinkRegistryTest, UnknownIdsAreRefused) {
    const uint32_t never = 0x7FFFFFFF;
    EXPECT_EQ(qLink_GetStatus(never), static_cast<uint32_t>(kLinkStatusInvalid));
    EXPECT_EQ(qLink_Sync(never), qErrParam);
    EXPECT_EQ(qLink_Reset(never), qErrParam);
    EXPECT_EQ(qLink_ForceRoute(never, 1), qErrNotFound);
    EXPECT_EQ(qLink_EnablePooledPackets(never, 1), qErrParam);
    EXPECT_EQ(qLink_PacketDebug_Enable(never), qErrParam);
    EXPECT_EQ(qLink_AddUse(never), qErrParam);
    size_t count = 99;
    EXPECT_EQ(qLink_GetOutboundCount(never, &count), qErrParam);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(qLink_Destroy(nullptr), qErrParam);
}

/* ---- packet log ring and logger ---- */

TEST(PacketLogTest, DropsTheOldestEntryWhenFull) {
    qPacketLog* log = qPacketLog_Create(16);
    ASSERT_NE(log, nullptr);
    const uint8_t bytes[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    ASSERT_EQ(qPacketLog_Put(log, 1, 4, bytes), qErrNone);      // 6 bytes
    ASSERT_EQ(qPacketLog_Put(log, 2, 5, bytes + 4), qErrNone);  // 7 bytes
    ASSERT_EQ(qPacketLog_Put(log, 1, 4, bytes + 9), qErrNone);  // 6 more: the first goes
    EXPECT_EQ(qPacketLog_Put(log, 1, 14, bytes), qErrOverrun) << "can never fit";
    int32_t direction = 0;
    uint8_t out[8];
    uint32_t length = 2;
    EXPECT_EQ(qPacketLog_Get(log, &direction, &length, out), qErrOverrun);
    EXPECT_EQ(length, 5u);
    length = sizeof out;
    ASSERT_EQ(qPacketLog_Get(log, &direction, &length, out), qErrNone);
    EXPECT_EQ(direction, 2);
    EXPECT_EQ(Bytes(out, out + length), Bytes(bytes + 4, bytes + 9));
    length = sizeof out;
    ASSERT_EQ(qPacketLog_Get(log, &direction, &length, out), qErrNone);
    EXPECT_EQ(Bytes(out, out + length), Bytes(bytes + 9, bytes + 13));
    EXPECT_EQ(qPacketLog_Get(log, &direction, &length, out), qErrNotFound);
    EXPECT_EQ(qPacketLog_Destroy(&log), qErrNone);
    EXPECT_EQ(log, nullptr);
}

struct LoggerProbe {
    std::atomic<int> calls{0};
    qLogger* self = nullptr;
    std::atomic<qErr> destroyFromInside{qErrNone};
};

LoggerProbe* gProbe = nullptr;

TEST(LoggerTest, DestroyFromTheCallbackOnlyEndsTheThread) {
    TempDir dir;
    LoggerProbe probe;
    gProbe = &probe;
    auto callback = [](qFile* file, int32_t argument) {
        qFile_Printf(file, "line %d\n", argument);
        if (++gProbe->calls == 3) {
            qLogger* self = gProbe->self;
            gProbe->destroyFromInside = qLogger_Destroy(&self);
        }
        return qErrNone;
    };
    probe.self = qLogger_Create(7, callback, dir.file("log.txt").c_str());
    ASSERT_NE(probe.self, nullptr);
    ASSERT_EQ(qLogger_Enable(probe.self), qErrNone);
    for (int i = 0; i < 200 && probe.calls < 3; i++) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(probe.destroyFromInside.load(), qErrBusy);
    EXPECT_EQ(probe.calls.load(), 3) << "the loop ended";
    EXPECT_EQ(qLogger_Destroy(&probe.self), qErrNone);
    EXPECT_EQ(probe.self, nullptr);
    std::ifstream in(dir.file("log.txt"));
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "line 7");
}

}  // namespace
