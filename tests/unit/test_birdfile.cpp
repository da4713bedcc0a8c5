#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/Log.h"
#include "store/BirdFile.h"
#include "tests/unit/support/SimProcess.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<uint8_t>(v >> s));
}

Bytes Block(uint8_t typeAndFlags, const Bytes& data, int64_t declared = -1)
{
    Bytes out{typeAndFlags};
    Put32(out, declared < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(declared));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes Image(uint32_t address, size_t size, uint8_t fill = 0x5A)
{
    Bytes out;
    Put32(out, address);
    out.insert(out.end(), size, fill);
    return out;
}

Bytes Info(const std::string& build, const std::string& version, const std::string& serial, const std::string& model)
{
    Bytes out;
    for (const std::string& f : {build, version, serial, model}) {
        std::string padded = (f + std::string(16, ' ')).substr(0, 16);
        out.insert(out.end(), padded.begin(), padded.end());
    }
    return out;
}

/* Count, the blocks, a checksum word (0xC0FFEE00). */
Bytes Payload(const std::vector<Bytes>& blocks, int64_t count = -1, bool checksum = true)
{
    Bytes out;
    Put32(out, count < 0 ? static_cast<uint32_t>(blocks.size()) : static_cast<uint32_t>(count));
    for (const auto& b : blocks)
        out.insert(out.end(), b.begin(), b.end());
    if (checksum)
        Put32(out, 0xC0FFEE00);
    return out;
}

Bytes Bird(const Bytes& payload, uint8_t v0 = 1, uint8_t v1 = 1)
{
    uLongf size = compressBound(payload.size());
    Bytes out{'b', 'i', 'r', 'd', v0, v1};
    out.resize(6 + size);
    EXPECT_EQ(compress2(out.data() + 6, &size, payload.data(), payload.size(), 9), Z_OK);
    out.resize(6 + size);
    return out;
}

void Write(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes ImageBytes(const BirdBlock& b)
{
    return Bytes(b.data + 4, b.data + b.length);
}

struct Crafted {
    const char* name;
    std::function<Bytes()> make;
    bool loads;
    bool verifies;
    size_t blocks;
    bool mismatch = false;
};

const Crafted kCrafted[] = {
    {"Empty", [] { return Bytes{}; }, false, false, 0},
    {"HeaderOnly", [] { return Bytes{'b', 'i', 'r', 'd', 1, 1}; }, false, true, 0},
    {"FiveBytes", [] { return Bytes{'b', 'i', 'r', 'd', 1}; }, false, false, 0},
    {"NotZlib", [] { return Bytes{'b', 'i', 'r', 'd', 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}; }, false, true, 0},
    {"TruncatedStream",
     [] {
         Bytes b = Bird(Payload({Block(1, Image(0, 300))}));
         b.resize(b.size() - 6);
         return b;
     },
     false, true, 0},
    {"InflatesBeyondEightTimes", [] { return Bird(Payload({Block(1, Image(0, 100000, 0))})); }, false, true, 0},
    {"PayloadOfSevenBytes", [] { return Bird(Bytes{0, 0, 0, 0, 1, 2, 3}); }, false, true, 0},
    {"PayloadOfEightBytes", [] { return Bird(Payload({})); }, true, true, 0},
    {"ZeroVersionLoadsButFailsVerify", [] { return Bird(Payload({}), 1, 0); }, true, false, 0},
    {"CountSaysMoreThanPresent",
     [] { return Bird(Payload({Block(1, Image(0, 8)), Block(0, Image(0, 8))}, 3)); }, true, true, 2, true},
    {"LengthRunsPastEnd", [] { return Bird(Payload({Block(0, Image(0, 8)), Block(1, Image(0, 16), 4096)})); },
     true, true, 1, true},
    {"LengthNearFourGiB", [] { return Bird(Payload({Block(1, Image(0, 16), 0xFFFFFFFB)})); }, true, true, 0, true},
    {"ImageBlockShorterThanAddress",
     [] { return Bird(Payload({Block(1, Bytes{1, 2}), Block(0, Bytes{}), Block(1, Image(0, 8))})); }, true, true,
     1, true},
    {"InfoShorterThan64", [] { return Bird(Payload({Block(4, Bytes(63, '1'))})); }, true, true, 0, true},
    {"UnknownTypesKept", [] { return Bird(Payload({Block(3, Bytes{1}), Block(31, Bytes{})})); }, true, true, 2},
    {"NoRoomForChecksum", [] { return Bird(Payload({Block(3, Bytes{1, 2, 3})}, -1, false)); }, true, true, 1},
    {"TrailingJunkAfterBlocks",
     [] {
         Bytes p = Payload({Block(1, Image(0, 8))}, -1, false);
         p.insert(p.end(), {1, 2, 3, 4, 5, 6});
         return Bird(p);
     },
     true, true, 1, true},
};

/* Captures the bird-file debug log. */
class CraftedBirdTest : public ::testing::TestWithParam<Crafted> {
protected:
    void SetUp() override
    {
        log = tmpfile();
        Log::SetOutput(log);
        Log::ActivatePackage(DEBUG_BirdFile);
    }
    void TearDown() override
    {
        Log::DeactivatePackage(DEBUG_BirdFile);
        Log::SetOutput(nullptr);
        fclose(log);
    }
    std::string Logged()
    {
        std::string text(static_cast<size_t>(ftell(log)), '\0');
        rewind(log);
        text.resize(fread(text.data(), 1, text.size(), log));
        return text;
    }
    FILE* log = nullptr;
};

TEST_P(CraftedBirdTest, LoadsOrFailsWithinThePayload)
{
    TempDir dir;
    std::string path = dir.file("x.bird");
    Write(path, GetParam().make());
    EXPECT_EQ(BirdFile::VerifyFile(path.c_str()), GetParam().verifies);
    if (!GetParam().loads) {
        EXPECT_THROW(BirdFile file(path.c_str()), std::runtime_error);
        return;
    }
    BirdFile file(path.c_str());
    ASSERT_EQ(file.blocks.size(), GetParam().blocks);
    EXPECT_EQ(file.blockCount, GetParam().blocks);
    for (const auto& b : file.blocks) {
        EXPECT_GE(b.data, file.payload.get());
        EXPECT_LE(b.data + b.length, file.payload.get() + file.payloadSize);
        if (b.type <= BLOCK_FIRMWARE) {
            EXPECT_GE(b.length, 4u);
        }
    }
    EXPECT_EQ(file.GetBuild(), 0u);
    EXPECT_FALSE(file.FindSerialNumberOffsets());
    EXPECT_EQ(Logged().find("Block parsing mismatch") != std::string::npos, GetParam().mismatch) << Logged();
}

INSTANTIATE_TEST_SUITE_P(Files, CraftedBirdTest, ::testing::ValuesIn(kCrafted),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(BirdFile, MissingFileFailsToLoadAndVerify)
{
    EXPECT_FALSE(BirdFile::VerifyFile("/nonexistent/x.bird"));
    EXPECT_THROW(BirdFile("/nonexistent/x.bird"), std::runtime_error);
}

TEST(BirdFile, InformationRecordFields)
{
    TempDir dir;
    std::string path = dir.file("x.bird");
    Write(path, Bird(Payload({Block(0xE4, Info("12345", "1.2.3", "0001A2B3FFFFFFFF", "Gorlin")),
                              Block(4, Info("999", "9.9.9", "1", "Other"))})));
    BirdFile file(path.c_str());
    EXPECT_EQ(file.blocks[0].type, BLOCK_INFO);
    EXPECT_EQ(file.blocks[0].flags, 7);
    EXPECT_EQ(file.GetBuild(), 12345u);
    EXPECT_EQ(file.GetVersion(), "1.2.3");
    EXPECT_EQ(file.GetSerialNumber(), 0x0001A2B3u);
    EXPECT_TRUE(file.ValidateSerialNumber(0x0001A2B3));
    EXPECT_TRUE(file.ValidateModel("Gorlin"));
    EXPECT_TRUE(file.ValidateModel("Gor")) << "a prefix of the stored model matches";
    EXPECT_FALSE(file.ValidateModel("Gorlin2"));
    EXPECT_FALSE(file.ValidateModel(nullptr));

    Write(path, Bird(Payload({Block(4, Info("1234567890123456", "0123456789abcdef", "x", "M"))})));
    BirdFile wide(path.c_str());
    EXPECT_EQ(wide.GetVersion(), "0123456789abcde");
    EXPECT_EQ(wide.GetBuild(), static_cast<uint32_t>(123456789012345ull));
}

/* Files made by sim/birdfile.py: the same layout written by an independent hand. */
class BuilderBirdTest : public ::testing::Test {
protected:
    std::string Build(const std::string& name, const std::string& code)
    {
        std::string path = dir.file(name);
        EXPECT_TRUE(RunPython({"-c", "import sys; sys.path.insert(0, '" + SourceRoot() +
                                         "/sim'); import birdfile as b; open('" + path + "', 'wb').write(" + code +
                                         ")"}));
        return path;
    }
    TempDir dir;
};

TEST_F(BuilderBirdTest, GenericImageGetsTheSerialPatchedByteForByte)
{
    std::string path = Build("g.bird", "b.generic_image(fw_address=0x8000, fw_size=1024, serial_offset=0x8100, "
                                       "descriptor_offset=0x8200)");
    ASSERT_TRUE(BirdFile::VerifyFile(path.c_str()));
    BirdFile file(path.c_str());
    EXPECT_TRUE(file.hasSerialBlock);
    EXPECT_EQ(file.serialNumberOffset, 0x8100u);
    EXPECT_EQ(file.descriptorOffset, 0x8200u);
    EXPECT_EQ(file.GetBuild(), 12345u);
    EXPECT_EQ(file.GetVersion(), "2.10.3");
    ASSERT_EQ(file.FindBlocks(BLOCK_FIRMWARE).size(), 1u);
    ASSERT_EQ(file.FindBlocks(BLOCK_LOADER).size(), 1u);
    Bytes before = ImageBytes(file.FindBlocks(BLOCK_FIRMWARE)[0]);

    ASSERT_TRUE(file.ReplaceSerialNumber(0x0001A2B3));
    Bytes want = before;
    const uint8_t serial[4] = {0xB3, 0xA2, 0x01, 0x00};
    std::copy(serial, serial + 4, want.begin() + 0x100);
    const char* text = "0001A2B3";
    for (int i = 0; i < 8; ++i)
        want[0x200 + 2 * i] = static_cast<uint8_t>(text[i]);
    EXPECT_EQ(ImageBytes(file.FindBlocks(BLOCK_FIRMWARE)[0]), want);
}

TEST_F(BuilderBirdTest, OnlyTheBlockHoldingTheLocationIsPatched)
{
    std::string path = Build("two.bird", "b.generic_image(fw_address=0x8000, fw_size=512, blocks_of_firmware=2, "
                                         "serial_offset=0x8200 + 508, descriptor_offset=0x8000 + 496)");
    BirdFile file(path.c_str());
    auto before = file.FindBlocks(BLOCK_FIRMWARE);
    Bytes first = ImageBytes(before[0]), second = ImageBytes(before[1]);
    ASSERT_TRUE(file.ReplaceSerialNumber(0x11223344));
    auto after = file.FindBlocks(BLOCK_FIRMWARE);
    Bytes wantSecond = second;
    wantSecond[508] = 0x44, wantSecond[509] = 0x33, wantSecond[510] = 0x22, wantSecond[511] = 0x11;
    EXPECT_EQ(ImageBytes(after[1]), wantSecond);
    for (int i = 0; i < 8; ++i)
        first[496 + 2 * i] = static_cast<uint8_t>("11223344"[i]);
    EXPECT_EQ(ImageBytes(after[0]), first);
}

TEST_F(BuilderBirdTest, LocationOutsideEveryImageChangesNothing)
{
    struct Case {
        const char* name;
        std::string code;
        bool result;
    };
    const Case cases[] = {
        {"SerialOffsetInNoBlock", "b.generic_image(fw_address=0x8000, fw_size=64, serial_offset=0x9000, "
                                  "descriptor_offset=0)", true},
        {"StraddlesTheEnd", "b.generic_image(fw_address=0x8000, fw_size=64, serial_offset=0x8000+62, "
                            "descriptor_offset=0x8000+50)", true},
        // 32-bit sums would wrap past 2^32 and accept these.
        {"NearTopOfAddressSpace", "b.generic_image(fw_address=0xFFFFFF00, fw_size=256, serial_offset=0xFFFFFFFE, "
                                  "descriptor_offset=0xFFFFFFF8)", true},
        {"NoOffsets", "b.generic_image(serial_offset=0, descriptor_offset=0)", false},
        {"DescriptorOnlyOutside", "b.generic_image(fw_address=0x8000, fw_size=64, serial_offset=0, "
                                  "descriptor_offset=0x100)", false},
    };
    for (const auto& c : cases) {
        BirdFile file(Build(std::string(c.name) + ".bird", c.code).c_str());
        Bytes before = ImageBytes(file.FindBlocks(BLOCK_FIRMWARE)[0]);
        EXPECT_EQ(file.ReplaceSerialNumber(0x0001A2B3), c.result) << c.name;
        EXPECT_EQ(ImageBytes(file.FindBlocks(BLOCK_FIRMWARE)[0]), before) << c.name;
    }
}

TEST_F(BuilderBirdTest, ShortSerialOffsetsBlockStopsPatching)
{
    std::string path = Build("s.bird", "b.wrap(b.payload([b.block(b.SERIAL_OFFSETS, b.u32(0x8010)), "
                                       "b.firmware(0x8000, bytes(64))]))");
    BirdFile file(path.c_str());
    EXPECT_TRUE(file.hasSerialBlock);
    EXPECT_EQ(file.serialNumberOffset, 0u);
    EXPECT_FALSE(file.ReplaceSerialNumber(0x0001A2B3));
}

TEST_F(BuilderBirdTest, LpcImageDescramblesToThePlainImages)
{
    const uint32_t key[4] = {0x01234567, 0x89ABCDEF, 0xDEADBEEF, 0x00C0FFEE};
    std::string path = Build("lpc.bird", "b.lpc_image(0x1A2B3, [0x01234567, 0x89ABCDEF, 0xDEADBEEF, 0x00C0FFEE])");
    std::string plain = Build("plain.bin", "b.pattern(2048, 21) + b.pattern(1024, 22)");
    BirdFile file(path.c_str());
    EXPECT_EQ(file.GetSerialNumber(), 0x0001A2B3u);
    auto scrambled = file.FindBlocks(BLOCK_FIRMWARE);
    ASSERT_EQ(scrambled.size(), 3u) << "two images and the end marker";
    uint32_t addressWord = scrambled[1].address;
    ASSERT_TRUE(file.DecodeFirmwareBlocks(key));
    auto blocks = file.FindBlocks(BLOCK_FIRMWARE);
    Bytes got = ImageBytes(blocks[0]);
    Bytes second = ImageBytes(blocks[1]);
    got.insert(got.end(), second.begin(), second.end());
    EXPECT_EQ(got, ReadFile(plain));
    EXPECT_EQ(blocks[1].address, addressWord) << "the address word is not descrambled";
    EXPECT_EQ(blocks[2].length, 8u);
}

TEST_F(BuilderBirdTest, MovedFileKeepsItsBlocks)
{
    BirdFile target;
    EXPECT_TRUE(target.blocks.empty());
    {
        BirdFile loaded(Build("m.bird", "b.module_image(0x1A2B3, start=0x20000800)").c_str());
        target = std::move(loaded);
    }
    auto start = target.FindBlocks(BLOCK_LOADER_START);
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(start[0].data[0] << 24 | start[0].data[1] << 16 | start[0].data[2] << 8 | start[0].data[3],
              0x20000800);
    EXPECT_FALSE(target.hasSerialBlock);
    EXPECT_EQ(target.GetSerialNumber(), 0x0001A2B3u);
}

TEST(BirdFile, VectorChecksumMakesTheTableSumToZero)
{
    TempDir dir;
    std::string path = dir.file("v.bird");
    Bytes table;
    Put32(table, 0);  // load address 0: a vector table
    for (uint32_t w = 0; w < 8; ++w)
        for (int b = 0; b < 4; ++b)
            table.push_back(static_cast<uint8_t>((0x10000001u * (w + 3)) >> (8 * b)));
    Write(path, Bird(Payload({Block(1, table)})));
    BirdFile file(path.c_str());
    ASSERT_TRUE(file.ReplaceVectorChecksum());
    const uint8_t* image = file.blocks[0].data + 4;
    auto word = [&](int w) { return uint32_t{image[4 * w]} | image[4 * w + 1] << 8 | image[4 * w + 2] << 16 |
                                    uint32_t{image[4 * w + 3]} << 24; };
    EXPECT_EQ(word(0) + word(1) + word(2) + word(3) + word(4) + word(6) + word(7), 0u);
    EXPECT_EQ(word(5), 0x10000001u * 8);
}

TEST(BirdFile, VerifyFileClosesWhatItOpens)
{
    TempDir dir;
    std::string path = dir.file("x.bird");
    Write(path, Bird(Payload({})));
    auto openFiles = [] {
        auto it = std::filesystem::directory_iterator("/proc/self/fd");
        return std::distance(it, std::filesystem::directory_iterator{});
    };
    auto before = openFiles();
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(BirdFile::VerifyFile(path.c_str()));
    EXPECT_EQ(openFiles(), before);
}

} // namespace
