#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Application.h"
#include "tests/unit/support/RecordingDisplay.h"

namespace {

// What the double answers, per case.
struct Answers {
    bool fingerprint = false;
    uint32_t download = 0;
    bool recover = false;
    bool update = false;
    BuildList builds;
    std::string jwt;
};

// Records every call with its arguments, so a case can check order and values.
class FakeUpdater : public Updater {
public:
    FakeUpdater(const char* server, const char* store, UpdaterDisplayInterface& out, const Answers& a,
                std::vector<std::string>& log)
        : Updater(server, store, out), answers(a), calls(log)
    {
        calls.push_back(std::string("Updater(") + server + ")");
    }

    void Set_UEIBytes_Load(bool on) override { record("Set_UEIBytes_Load(%d)", on); }
    bool Get_Fingerprint(Fingerprint& f, const std::string& port, uint32_t serial, const std::string& bird,
                         uint32_t baud, bool reset) override
    {
        record("Get_Fingerprint(%s,%08X,%s,%u,%d)", port.c_str(), serial, bird.c_str(), baud, reset);
        f.word[0] = 0xA;
        f.word[3] = 0xD;
        return answers.fingerprint;
    }
    uint32_t Download_Firmware(uint32_t serial, const std::string& build, bool check, bool noCal) override
    {
        record("Download_Firmware(%08X,%s,%d,%d)", serial, build.c_str(), check, noCal);
        return answers.download;
    }
    std::vector<DeviceInfo> Discover_CVNetwork_Devices(uint32_t router, linkType type) override
    {
        record("Discover_CVNetwork_Devices(%08X,%u)", router, type);
        return {};
    }
    std::vector<DeviceInfo> Discover_Devices(linkType type) override
    {
        record("Discover_Devices(%u)", type);
        return {};
    }
    bool Recover_Firmware(const std::string& port, uint32_t build, uint32_t baud, uint32_t serial,
                          const std::string& bird, bool override) override
    {
        record("Recover_Firmware(%s,%u,%u,%08X,%s,%d)", port.c_str(), build, baud, serial, bird.c_str(), override);
        return answers.recover;
    }
    bool Update_Firmware(uint32_t serial, uint32_t build, const std::string& bird, uint8_t address, uint32_t router,
                         bool override) override
    {
        record("Update_Firmware(%08X,%u,%s,%u,%08X,%d)", serial, build, bird.c_str(), address, router, override);
        return answers.update;
    }
    BuildList Get_BuildList(uint32_t serial) override
    {
        record("Get_BuildList(%08X)", serial);
        return answers.builds;
    }
    BuildList Get_BuildListLocal(uint32_t serial) override
    {
        record("Get_BuildListLocal(%08X)", serial);
        return answers.builds;
    }
    std::string Get_JWT(uint32_t serial) override
    {
        record("Get_JWT(%08X)", serial);
        return answers.jwt;
    }

private:
    template <typename... A> void record(const char* format, A... args)
    {
        char text[256];
        snprintf(text, sizeof text, format, args...);
        calls.push_back(text);
    }
    Answers answers;
    std::vector<std::string>& calls;
};

struct DispatchCase {
    const char* name;
    std::vector<std::string> args;
    Answers answers;
    std::vector<std::string> calls; // after the constructor
    int exitCode;
    std::vector<std::string> messages; // must appear in this order among the display's lines
};

const DispatchCase kCases[] = {
    {"GetThenUpdateToDownloadedBuild", {"-G", "-U", "-d", "40F5849A"}, {.download = 1234, .update = true},
     {"Download_Firmware(40F5849A,,0,0)", "Set_UEIBytes_Load(1)", "Update_Firmware(40F5849A,1234,,0,00000000,0)"},
     0,
     {"I:Retrieving firmware for device with serial number 40F5849A", "I:No build specified",
      "I:Using Latest build"}},
    {"FailedGetStillUpdatesToGivenBuild", {"-G", "-U", "-d", "1", "-b", "0077"}, {.update = true},
     {"Download_Firmware(00000001,77,0,0)", "Set_UEIBytes_Load(1)", "Update_Firmware(00000001,77,,0,00000000,0)"},
     0,
     {"I:Retrieving firmware build 77"}},
    {"FailedGetAloneFails", {"-G", "-d", "1"}, {}, {"Download_Firmware(00000001,,0,0)"}, 1, {}},
    {"GetAloneSucceeds", {"-G", "-d", "1"}, {.download = 5}, {"Download_Firmware(00000001,,0,0)"}, 0, {}},
    {"OverrideSkipsBuildCheckOfGet", {"-G", "-d", "1", "-OV"}, {.download = 5},
     {"Download_Firmware(00000001,,1,0)"}, 0, {}},
    {"GetWithoutDeviceStopsTheRun", {"-G", "-U"}, {}, {}, 1,
     {"E:-G must specify a specific device via -d", "E:--help for usage information"}},
    {"FingerprintWithoutPortStopsTheRun", {"-N", "-D"}, {}, {}, 1,
     {"E:Must specify the serial port used for connecting"}},
    {"SilentChipThenDiscoverExitsZero", {"-N", "-s", "/dev/ttyS9", "-D"}, {},
     {"Get_Fingerprint(/dev/ttyS9,DEADDEAD,,115200,1)", "Discover_Devices(1)"}, 0,
     {"E:Got no response from chip", "I:Searching for Cindervex devices", "I:Discovered Devices: (USB)",
      "I:    No devices found."}},
    {"SilentChipAloneFails", {"-N", "-s", "p", "-o", "9600", "-f", "a.bird"}, {},
     {"Get_Fingerprint(p,DEADDEAD,a.bird,9600,1)"}, 1, {}},
    {"FingerprintPrinted", {"-N", "-s", "p", "-I"}, {.fingerprint = true}, {"Get_Fingerprint(p,DEADDEAD,,115200,1)"},
     0, {"I:[ 0000000A 00000000 00000000 0000000D ]"}},
    {"DiscoverBeforeUpdate", {"-U", "-D", "-d", "1"}, {}, {"Discover_Devices(1)"}, 0, {}},
    {"DiscoverOverTcp", {"-D", "-t", "TCPIP"}, {}, {"Discover_Devices(2)"}, 0, {"I:Discovered Devices: (TCPIP)"}},
    {"DiscoverRecoverMeansUsb", {"-D", "-t", "RECOVER"}, {}, {"Discover_Devices(1)"}, 0, {}},
    {"DiscoverBehindRouterWithoutType", {"-D", "-r", "0xD272031D"}, {}, {"Discover_CVNetwork_Devices(D272031D,0)"},
     0,
     {"I:Searching for Cindervex Network devices connected to D272031D", "I:Discovered Devices: (Unknown)"}},
    {"RecoverWithoutDevice", {"-t", "RECOVER", "-U", "-s", "/dev/ttyUSB0", "-OVERRIDE"}, {.recover = true},
     {"Set_UEIBytes_Load(1)", "Recover_Firmware(/dev/ttyUSB0,0,115200,00000000,,1)"}, 0, {}},
    {"FailedRecoverFails", {"-U", "-t", "RECOVER", "-d", "7", "-b", "12"}, {},
     {"Set_UEIBytes_Load(1)", "Recover_Firmware(,12,115200,00000007,,0)"}, 1, {}},
    {"UpdateOptions", {"-U", "-d", "1", "-m", "yes", "-b", "abc", "-f", "x.bird", "-r", "2"}, {.update = true},
     {"Set_UEIBytes_Load(0)", "Update_Firmware(00000001,0,x.bird,0,00000002,0)"}, 0, {}},
    {"FailedUpdateFails", {"-U", "-d", "1", "-m", "true"}, {},
     {"Set_UEIBytes_Load(1)", "Update_Firmware(00000001,0,,0,00000000,0)"}, 1, {}},
    {"UpdateWithoutDevice", {"-U", "-d"}, {}, {"Set_UEIBytes_Load(1)"}, 1,
     {"E:Must specify the specific device to be updated"}},
    {"ListBuildsWithoutDevice", {"-B"}, {}, {}, 1, {"E:Error must supply a serial number for the List Builds command"}},
    {"ListLocalBuildsWithoutDevice", {"-L"}, {}, {}, 1,
     {"E:Error must supply a serial number for the List Local Builds command"}},
    {"JwtWithoutDevice", {"-J"}, {}, {}, 1, {"E:Error must supply a serial number for the Get JWT command"}},
    {"ListBuildsAfterFailedGetExitsZero", {"-G", "-B", "-d", "1"}, {.builds = {{"7", "2.1.0"}}},
     {"Download_Firmware(00000001,,0,0)", "Get_BuildList(00000001)"}, 0,
     {"I:Build List for device [00000001]:\n", "I:Build          \tVersion        ", "I:7              \t2.1.0          "}},
    {"EmptyLocalList", {"-L", "-d", "1"}, {}, {"Get_BuildListLocal(00000001)"}, 0,
     {"I:No builds found for device [00000001]"}},
    {"JwtPrinted", {"-J", "-d", "1"}, {.jwt = "a.b.c"}, {"Get_JWT(00000001)"}, 0, {"I:a.b.c"}},
    {"OnlyCountedCommands", {"-I", "-C", "-Z", "x"}, {}, {}, 0, {}},
};

class DispatchTest : public ::testing::TestWithParam<DispatchCase> {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/dispatchXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        store = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(store); }
    std::string store;
};

TEST_P(DispatchTest, CallsInOrderAndExitCode)
{
    const DispatchCase& c = GetParam();
    std::vector<std::string> words = {"updater", "-i", store, "-u", "http://127.0.0.1:9/cgi/u"};
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());

    RecordingDisplay display;
    std::vector<std::string> calls;
    int code = RunUpdater(static_cast<int>(argv.size()), argv.data(), display,
                          [&](const char* server, const char* dir, UpdaterDisplayInterface& out) {
                              EXPECT_EQ(store + "/updater", dir);
                              return std::make_unique<FakeUpdater>(server, dir, out, c.answers, calls);
                          });

    std::vector<std::string> want = {"Updater(http://127.0.0.1:9/cgi/u)"};
    want.insert(want.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(want, calls);
    EXPECT_EQ(c.exitCode, code);
    EXPECT_TRUE(std::filesystem::is_directory(store + "/updater"));
    ASSERT_FALSE(display.lines.empty());
    EXPECT_EQ("I:Updater (Version: 2.11.4 Sep 23 2025)", display.lines.front());
    auto at = display.lines.begin();
    for (const std::string& m : c.messages) {
        at = std::find(at, display.lines.end(), m);
        ASSERT_NE(display.lines.end(), at) << "missing or out of order: " << m;
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, DispatchTest, ::testing::ValuesIn(kCases),
                         [](const auto& i) { return std::string(i.param.name); });

} // namespace
