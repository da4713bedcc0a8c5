#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "server/Base64.h"
#include "server/UpdateServerRequest.h"
#include "tests/unit/support/SimProcess.h"

namespace {

class CurlEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // The tests talk to loopback only: never through a proxy from the environment.
        setenv("no_proxy", "*", 1);
        curl_global_init(CURL_GLOBAL_DEFAULT);
    }
    void TearDown() override { curl_global_cleanup(); }
};

[[maybe_unused]] ::testing::Environment* const kCurl = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

constexpr uint32_t kSerial = 0x0001A2B3;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Url(const SimProcess& sim, const char* scheme = "http")
{
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(sim.port()) + "/cgi/u";
}

/* A store-like catalogue: module 0001A2B3 with two builds and a fingerprint entry. */
class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bird = dir.file("12345.bird");
        ASSERT_TRUE(RunPython({SourceRoot() + "/sim/birdfile.py", "--kind", "generic", "--out", bird}));
        WriteAll(dir.file("catalogue.json"),
                 R"({"modules": {"0001A2B3": {"current": "12345", "firmware": "F", "jwt": "aaa.bbb.ccc",
                       "builds": {"12345": {"version": "2.10.3", "bird": ")" +
                     bird + R"("}, "9": {"version": "2.9.0", "bird": ")" + bird + R"("}}}},
                     "fingerprints": {"00000001 00000002 00000003 DEADBEEF": {"serial": "1a2b3", "build": "0x3039"}}})");
    }

    std::vector<std::string> RecordedRequests()
    {
        std::vector<std::string> raw;
        std::istringstream in(ReadAll(dir.file("record.jsonl")));
        for (std::string line; std::getline(in, line);) {
            size_t at = line.find("\"raw\": \"");
            raw.push_back(line.substr(at + 8, line.rfind('"') - at - 8));
        }
        return raw;
    }

    TempDir dir;
    std::string bird;
};

TEST_F(CatalogueTest, EachRequestSendsItsExactQuery)
{
    SimProcess sim("sim/update_server.py", {"--catalogue", dir.file("catalogue.json"), "--record", dir.file("record.jsonl")});
    ASSERT_NE(sim.port(), 0);
    std::string url = Url(sim), a, b;
    std::map<std::string, std::string> builds;
    const uint32_t fingerprint[4] = {1, 2, 3, 0xDEADBEEF};
    uint32_t s = 0, bld = 0;
    EXPECT_TRUE(UpdateServerRequest::ping(url.c_str()));
    EXPECT_TRUE(UpdateServerRequest::QueryBuild(kSerial, a, b, url.c_str()));
    EXPECT_TRUE(UpdateServerRequest::GetBuild(kSerial, "F", "12345", a, url.c_str(), false));
    EXPECT_TRUE(UpdateServerRequest::GetBuildList(kSerial, builds, url.c_str()));
    EXPECT_TRUE(UpdateServerRequest::GetRecoveryInfo(fingerprint, &s, &bld, url.c_str()));
    EXPECT_TRUE(UpdateServerRequest::GetDeviceJWT(kSerial, a, url.c_str()));
    EXPECT_EQ(RecordedRequests(), (std::vector<std::string>{
                                      "/cgi/u?op=hi&rv=2&",
                                      "/cgi/u?op=qu&sn=0001A2B3&",
                                      "/cgi/u?bld=12345&fw=F&no_cal=false&op=bird&sn=0001A2B3&",
                                      "/cgi/u?op=builds&sn=0001A2B3&",
                                      "/cgi/u?brief=true&fp=00000001%2000000002%2000000003%20DEADBEEF&op=fix&",
                                      "/cgi/u?json=false&op=ent_jwt&sn=0001A2B3&",
                                  }));
}

TEST_F(CatalogueTest, AnswersCarryTheCatalogue)
{
    SimProcess sim("sim/update_server.py", {"--catalogue", dir.file("catalogue.json")});
    std::string url = Url(sim), build, firmware, text, token;
    ASSERT_TRUE(UpdateServerRequest::QueryBuild(kSerial, build, firmware, url.c_str()));
    EXPECT_EQ(build, "12345");
    EXPECT_EQ(firmware, "F");

    ASSERT_TRUE(UpdateServerRequest::GetBuild(kSerial, firmware.c_str(), build.c_str(), text, url.c_str(), false));
    size_t n = 0;
    auto bytes = base64_decode(text.data(), text.size(), &n);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes.get(), n), ReadAll(bird));

    std::map<std::string, std::string> builds;
    ASSERT_TRUE(UpdateServerRequest::GetBuildList(kSerial, builds, url.c_str()));
    EXPECT_EQ(builds, (std::map<std::string, std::string>{{"12345", "2.10.3"}, {"9", "2.9.0"}}));

    const uint32_t fingerprint[4] = {1, 2, 3, 0xDEADBEEF};
    uint32_t serial = 0, recoveryBuild = 0;
    ASSERT_TRUE(UpdateServerRequest::GetRecoveryInfo(fingerprint, &serial, &recoveryBuild, url.c_str()));
    EXPECT_EQ(serial, kSerial);
    EXPECT_EQ(recoveryBuild, 12345u);

    ASSERT_TRUE(UpdateServerRequest::GetDeviceJWT(kSerial, token, url.c_str()));
    EXPECT_EQ(token, "aaa.bbb.ccc");
    EXPECT_FALSE(UpdateServerRequest::QueryBuild(0x12345678, build, firmware, url.c_str())) << "unknown module";
}

/* Every request answered with one fixed body; the check runs operations against it. */
struct Shape {
    const char* name;
    std::string body;
    std::function<void(const char* url)> check;
};

const Shape kShapes[] = {
    {"EmptyLinesSkipped", "ok\n\n12345\nF\n",
     [](const char* url) {
         std::string b, f;
         EXPECT_TRUE(UpdateServerRequest::QueryBuild(kSerial, b, f, url));
         EXPECT_EQ(b, "12345");
         EXPECT_EQ(f, "F");
     }},
    {"OkFollowedByLettersSucceeds", "okay\n", [](const char* url) { EXPECT_TRUE(UpdateServerRequest::ping(url)); }},
    {"CapitalOkFails", "OK\n", [](const char* url) { EXPECT_FALSE(UpdateServerRequest::ping(url)); }},
    {"EmptyBodyFails", "", [](const char* url) { EXPECT_FALSE(UpdateServerRequest::ping(url)); }},
    {"BinaryBodyFails", std::string("\0\xff\n\x80ok\n", 7),
     [](const char* url) { EXPECT_FALSE(UpdateServerRequest::ping(url)); }},
    {"CrLfKeptOnBuildCutOnFirmware", "ok\r\n12345\r\nF\r\n",
     [](const char* url) {
         std::string b, f;
         EXPECT_TRUE(UpdateServerRequest::QueryBuild(kSerial, b, f, url));
         EXPECT_EQ(b, "12345\r");
         EXPECT_EQ(f, "F");
     }},
    {"MissingLinesLeaveOutputs", "ok\n",
     [](const char* url) {
         std::string b = "old", f = "old", text = "old";
         uint32_t s = 7, bld = 8;
         const uint32_t fp[4] = {};
         EXPECT_TRUE(UpdateServerRequest::QueryBuild(kSerial, b, f, url));
         EXPECT_EQ(b + f, "oldold");
         EXPECT_TRUE(UpdateServerRequest::GetRecoveryInfo(fp, &s, &bld, url));
         EXPECT_EQ(s + bld, 15u);
         EXPECT_TRUE(UpdateServerRequest::GetBuild(kSerial, "F", "1", text, url, false));
         EXPECT_EQ(text, "");
         EXPECT_FALSE(UpdateServerRequest::GetDeviceJWT(kSerial, text, url));
     }},
    {"BirdLineLosesItsCr", "ok\r\nZm9v\r\n",
     [](const char* url) {
         std::string text;
         EXPECT_TRUE(UpdateServerRequest::GetBuild(kSerial, "F", "1", text, url, true));
         EXPECT_EQ(text, "Zm9v");
     }},
    {"BuildListLines", "ok\n12345;2.10.3\n12400;2.11.0\r\n12401\n12345;9.9.9\nab\n",
     [](const char* url) {
         std::map<std::string, std::string> builds{{"stale", "x"}};
         EXPECT_TRUE(UpdateServerRequest::GetBuildList(kSerial, builds, url));
         EXPECT_EQ(builds, (std::map<std::string, std::string>{
                               {"12345", "2.10.3"}, {"12400", "2.11.0"}, {"12401", ""}}));
     }},
    {"RecoveryBuildInCNotation", "ok\n1a2b3\n012\n",
     [](const char* url) {
         const uint32_t fp[4] = {};
         uint32_t s = 0, b = 0;
         EXPECT_TRUE(UpdateServerRequest::GetRecoveryInfo(fp, &s, &b, url));
         EXPECT_EQ(s, kSerial);
         EXPECT_EQ(b, 10u);
     }},
    {"TokenWithCrAndExtraDot", "ok\naa.bb.cc.dd\r\n",
     [](const char* url) {
         std::string t;
         EXPECT_TRUE(UpdateServerRequest::GetDeviceJWT(kSerial, t, url));
         EXPECT_EQ(t, "aa.bb.cc.dd");
     }},
    {"TokenWithOneDotFails", "ok\naaaa.bbbb\n",
     [](const char* url) {
         std::string t = "keep";
         EXPECT_FALSE(UpdateServerRequest::GetDeviceJWT(kSerial, t, url));
         EXPECT_EQ(t, "keep");
     }},
    {"TokenWithShortPartFails", "ok\naa.b.cc\n",
     [](const char* url) {
         std::string t;
         EXPECT_FALSE(UpdateServerRequest::GetDeviceJWT(kSerial, t, url));
     }},
};

class ReplyShapeTest : public ::testing::TestWithParam<Shape> {};

TEST_P(ReplyShapeTest, ParsesWithinTheBody)
{
    TempDir dir;
    WriteAll(dir.file("reply"), GetParam().body);
    SimProcess sim("sim/update_server.py", {"--reply-file", dir.file("reply")});
    ASSERT_NE(sim.port(), 0);
    GetParam().check(Url(sim).c_str());
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyShapeTest, ::testing::ValuesIn(kShapes),
                         [](const auto& i) { return std::string(i.param.name); });

struct Fault {
    const char* name;
    const char* fault;
};

const Fault kFaults[] = {
    {"Status500", "status500"}, {"FirstLineNotOk", "not-ok"}, {"Garbage", "garbage"},
    {"Empty", "empty"},         {"HugeBody", "huge"},
};

class ServerFaultTest : public CatalogueTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(ServerFaultTest, FailsTheRequest)
{
    SimProcess sim("sim/update_server.py", {"--catalogue", dir.file("catalogue.json"), "--fault", GetParam().fault});
    ASSERT_NE(sim.port(), 0);
    std::string url = Url(sim), b = "old", f = "old";
    EXPECT_FALSE(UpdateServerRequest::ping(url.c_str()));
    EXPECT_FALSE(UpdateServerRequest::QueryBuild(kSerial, b, f, url.c_str()));
    EXPECT_EQ(b + f, "oldold");
}

INSTANTIATE_TEST_SUITE_P(Faults, ServerFaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(CatalogueTest, TruncatedBirdTextDoesNotDecode)
{
    SimProcess sim("sim/update_server.py",
                   {"--catalogue", dir.file("catalogue.json"), "--fault", "truncated-base64"});
    std::string url = Url(sim), text;
    ASSERT_TRUE(UpdateServerRequest::GetBuild(kSerial, "F", "12345", text, url.c_str(), false));
    size_t n = 0;
    EXPECT_FALSE(base64_decode(text.data(), text.size(), &n));
}

TEST_F(CatalogueTest, SilentServerTimesOut)
{
    SimProcess sim("sim/update_server.py", {"--fault", "silent", "--delay", "60"});
    ASSERT_NE(sim.port(), 0);
    HTTPOptions quick;
    quick.stallSeconds = 1;
    auto start = std::chrono::steady_clock::now();
    try {
        HTTPRequest::GET(Url(sim).c_str(), {{"op", "hi"}}, quick);
        ADD_FAILURE() << "a silent server must fail the request";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Timeout"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(UpdateServerRequest::ping(Url(sim).c_str(), quick));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(ServerRequest, UnreachableServerFails)
{
    // Port 9 (discard) is not served on loopback here.
    EXPECT_FALSE(UpdateServerRequest::ping("http://127.0.0.1:9/cgi/u"));
}

TEST(ServerRequest, HttpsVerifiesTheCertificate)
{
    TempDir dir;
    std::string cert = dir.file("cert.pem"), key = dir.file("key.pem");
    std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                      "-addext subjectAltName=IP:127.0.0.1 -keyout " + key + " -out " + cert + " 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    SimProcess sim("sim/update_server.py", {"--cert", cert, "--key", key});
    ASSERT_NE(sim.port(), 0);
    std::string url = Url(sim, "https");
    EXPECT_FALSE(UpdateServerRequest::ping(url.c_str())) << "a self-signed certificate must be refused";
    HTTPOptions trusting;
    trusting.caFile = cert.c_str();
    EXPECT_TRUE(UpdateServerRequest::ping(url.c_str(), trusting)) << "the same server, trusted, must answer";
}

TEST(ServerRequest, SortsNewestVersionFirstAndUnparsableLast)
{
    std::map<std::string, std::string> builds{{"1", "1.2.3"},  {"2", "1.10.0"}, {"3", "2.0.0"}, {"4", "x.y"},
                                              {"5", "1.256.0"}, {"6", "1.0.0"},  {"7", "1.a.0"}, {"8", "1.9.9"}};
    std::vector<std::string> order;
    for (const auto& [build, version] : UpdateServerRequest::SortBuildsByVersion(builds))
        order.push_back(build);
    // 1.256.0 counts as 1.0.0 and ties keep map order; 4 and 7 do not parse.
    EXPECT_EQ(order, (std::vector<std::string>{"3", "2", "8", "1", "5", "6", "4", "7"}));
}

} // namespace
