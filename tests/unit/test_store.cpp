#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "store/UpdaterStore.h"
#include "tests/unit/support/SimProcess.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t kSerial = 0x0001A2B3;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class StoreTest : public ::testing::Test {
protected:
    std::string Root() const { return dir.file("updater"); }
    TempDir dir;
};

TEST_F(StoreTest, AddDeviceCreatesTheDirectoryAndAttributesOnce)
{
    UpdaterStore store(Root().c_str());
    UpdaterStoreItem item = store.AddDevice(kSerial);
    EXPECT_TRUE(item.IsValid());
    EXPECT_EQ(item.name, "0001A2B3");
    EXPECT_EQ(item.kind, STORE_DIRECTORY);
    std::string settings = Root() + "/0001A2B3/.settings";
    std::string first = ReadAll(settings);
    EXPECT_EQ(first.rfind("CREATED_TIME=", 0), 0u);
    EXPECT_NE(first.find("\nUPDATED_TIME="), std::string::npos);
    auto stamp = fs::last_write_time(settings);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    store.AddDevice(kSerial);
    EXPECT_EQ(ReadAll(settings), first);
    EXPECT_EQ(fs::last_write_time(settings), stamp);
}

TEST_F(StoreTest, RootThatIsAFileIsRefused)
{
    std::ofstream(Root()) << "x";
    try {
        UpdaterStore store(Root().c_str());
        FAIL() << "expected an exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "UpdaterStore: " + Root() + " exists and is a file");
    }
}

TEST_F(StoreTest, FindDeviceTakesOnlyTheExactDirectory)
{
    UpdaterStore store(Root().c_str());
    UpdaterStoreItem item;
    EXPECT_FALSE(store.FindDevice(kSerial, &item));
    EXPECT_FALSE(item.IsValid());
    // Names that hold the serial, and a file of exactly its name, are not the module.
    fs::create_directory(Root() + "/0001A2B3.old");
    fs::create_directory(Root() + "/10001A2B3");
    std::ofstream(Root() + "/0001A2B3") << "not a directory";
    EXPECT_FALSE(store.FindDevice(kSerial, &item));
    EXPECT_FALSE(item.IsValid());
    fs::remove(Root() + "/0001A2B3");
    fs::create_directory(Root() + "/0001A2B3");
    ASSERT_TRUE(store.FindDevice(kSerial, &item));
    EXPECT_EQ(item.name, "0001A2B3");
    EXPECT_EQ(item.basePath, Root());
    EXPECT_NE(item.attributes["CREATED_TIME"], nullptr) << "attributes loaded, created when absent";
}

TEST_F(StoreTest, BuildListingSkipsDotEntries)
{
    UpdaterStore store(Root().c_str());
    UpdaterStoreItem device = store.AddDevice(kSerial);
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_EQ(device.WriteFile("12345.bird", bytes, sizeof bytes), qErrNone);
    ASSERT_EQ(device.WriteFile("12400.bird", bytes, sizeof bytes), qErrNone);
    std::ofstream(device.Path() + "/.12345.bird.tmp-abcdef") << "left by a crash";
    std::vector<UpdaterStoreItem> builds;
    EXPECT_TRUE(store.FindLocalBuilds(kSerial, builds));
    std::vector<std::string> names;
    for (const auto& b : builds) {
        names.push_back(b.name);
        EXPECT_EQ(b.kind, STORE_FILE);
        EXPECT_EQ(b.basePath, device.Path());
        EXPECT_TRUE(b.attributes.Entries().empty());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"12345.bird", "12400.bird"}));
    EXPECT_TRUE(device.FileExists("12345.bird"));
    EXPECT_FALSE(device.FileExists("12345"));
}

TEST_F(StoreTest, WriteFileReplacesAndRefusesBadArguments)
{
    UpdaterStore store(Root().c_str());
    UpdaterStoreItem device = store.AddDevice(kSerial);
    const uint8_t a[] = {'o', 'l', 'd'}, b[] = {'n', 'e', 'w', '!'};
    ASSERT_EQ(device.WriteFile("1.bird", a, sizeof a), qErrNone);
    ASSERT_EQ(device.WriteFile("1.bird", b, sizeof b), qErrNone);
    EXPECT_EQ(ReadAll(device.Path() + "/1.bird"), "new!");
    EXPECT_EQ(device.WriteFile("1.bird", nullptr, 4), qErrNotFound);
    EXPECT_EQ(device.WriteFile("../1.bird", a, sizeof a), qErrParam);
    EXPECT_EQ(UpdaterStoreItem().WriteFile("1.bird", a, sizeof a), qErrParam);
    UpdaterStoreItem gone(Root().c_str(), "FFFFFFFF", STORE_DIRECTORY);
    EXPECT_EQ(gone.WriteFile("1.bird", a, sizeof a), qErrNotFound);
    EXPECT_EQ(std::distance(fs::directory_iterator(device.Path()), fs::directory_iterator{}), 2)
        << "no temporary file left behind";
}

TEST_F(StoreTest, ReadBirdFileChecksBeforeLoading)
{
    UpdaterStore store(Root().c_str());
    UpdaterStoreItem device = store.AddDevice(kSerial);
    ASSERT_TRUE(RunPython({SourceRoot() + "/sim/birdfile.py", "--kind", "module", "--serial", "1A2B3", "--out",
                           device.Path() + "/12345.bird"}));
    BirdFile bird = device.ReadBirdFile("12345.bird");
    EXPECT_EQ(bird.GetSerialNumber(), kSerial);
    const uint8_t junk[] = {'n', 'o', 't', 'b', 'i', 'r', 'd'};
    device.WriteFile("1.bird", junk, sizeof junk);
    try {
        device.ReadBirdFile("1.bird");
        FAIL() << "expected an exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Invalid bird " + device.Path() + "/1.bird");
    }
    EXPECT_THROW(UpdaterStoreItem().ReadBirdFile("12345.bird"), std::runtime_error);
}

/* A child saves over and over, alternating two versions; it is killed at a random
 * moment. The file must then be one version or the other, whole. */
struct KillCase {
    const char* name;
    void (*save)(const UpdaterStoreItem& device, int generation);
    bool (*whole)(const std::string& bytes);
};

std::string BirdBytes(int generation)
{
    return std::string(512 * 1024, static_cast<char>('a' + generation % 2));
}

KeyValueStore Attributes(int generation)
{
    KeyValueStore kv;
    for (int k = 0; k < 3000; ++k)
        kv.Add(("KEY_" + std::to_string(k)).c_str(), generation % 2 ? "odd-generation" : "even");
    return kv;
}

/* The lines a save of Attributes(generation) writes before its UPDATED_TIME line. */
std::string AttributesText(int generation)
{
    std::string text;
    KeyValueStore kv = Attributes(generation);
    for (const auto& [key, value] : kv.Entries())
        text += key + "=" + value + "\n";
    return text;
}

const KillCase kKillCases[] = {
    {"Attributes",
     [](const UpdaterStoreItem& device, int generation) {
         Attributes(generation).Save((device.Path() + "/.settings").c_str());
     },
     [](const std::string& bytes) {
         size_t stamp = bytes.find("UPDATED_TIME=");
         if (stamp == std::string::npos || bytes.empty() || bytes.back() != '\n')
             return false;
         std::string body = bytes.substr(0, stamp);
         return body == AttributesText(0) || body == AttributesText(1);
     }},
    {"Bird",
     [](const UpdaterStoreItem& device, int generation) {
         std::string bytes = BirdBytes(generation);
         device.WriteFile("12345.bird", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
     },
     [](const std::string& bytes) { return bytes == BirdBytes(0) || bytes == BirdBytes(1); }},
};

class KilledSaveTest : public StoreTest, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KilledSaveTest, LeavesOldOrNewFileNeverATornOne)
{
    UpdaterStore store(Root().c_str());
    UpdaterStoreItem device = store.AddDevice(kSerial);
    GetParam().save(device, 0);
    std::string target = device.Path() + (std::string(GetParam().name) == "Bird" ? "/12345.bird" : "/.settings");
    for (int round = 0; round < 12; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The child must never return into the test runner.
            try {
                for (int generation = 1;; ++generation)
                    GetParam().save(device, generation);
            } catch (...) {
            }
            _exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + 13 * round));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        std::string bytes = ReadAll(target);
        ASSERT_TRUE(GetParam().whole(bytes)) << "round " << round << ", " << bytes.size() << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, KilledSaveTest, ::testing::ValuesIn(kKillCases),
                         [](const auto& i) { return std::string(i.param.name); });

} // namespace
