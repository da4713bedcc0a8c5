#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "store/KeyValueStore.h"
#include "tests/unit/support/SimProcess.h"

namespace {

using Entries = std::map<std::string, std::string>;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

/* The C library's date form, "Wed Jun 30 21:49:08 1993". */
bool IsDate(const std::string& t)
{
    auto digit = [&](size_t i) { return isdigit(static_cast<unsigned char>(t[i])) != 0; };
    return t.size() == 24 && t[3] == ' ' && t[7] == ' ' && t[10] == ' ' && t[13] == ':' && t[16] == ':' &&
           t[19] == ' ' && digit(9) && digit(11) && digit(12) && digit(20) && digit(23);
}

struct ReadCase {
    const char* name;
    std::string text;
    Entries want;
};

const ReadCase kReadCases[] = {
    {"BlanksAroundKeyAndValue", "  LATEST_DOWNLOAD =  12345.bird  \n#LATEST_TRANSFER=1\n",
     {{"LATEST_DOWNLOAD", "12345.bird"}}},
    {"EqualsInsideValue", "A=B=C\n", {{"A", "B=C"}}},
    {"LastLineWins", "K=1\nK=2\n", {{"K", "2"}}},
    {"CrLfLineEnds", "A=x\r\nB = y \r\n", {{"A", "x"}, {"B", "y"}}},
    {"HashAfterBlankIsAKey", " #K=1\n", {{"#K", "1"}}},
    {"ShortLinesIgnored", "A=\nB=", {{"A", ""}}},
    {"NoEqualsOrEmptyKeyIgnored", "novalue\n=x\n  = y\nK=v\n", {{"K", "v"}}},
    {"OverlongLineSkipped", "A=1\nX=" + std::string(5000, 'a') + "\nB=2\n", {{"A", "1"}, {"B", "2"}}},
    {"OverlongLastLine", "A=1\nX=" + std::string(3000, 'a'), {{"A", "1"}}},
    {"ZeroByteInLine", std::string("A=1\0junk\nB=2\n", 13), {{"A", "1"}, {"B", "2"}}},
};

class KeyValueReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(KeyValueReadTest, ReadsTheLines)
{
    TempDir dir;
    WriteAll(dir.file("s"), GetParam().text);
    KeyValueStore kv;
    EXPECT_EQ(kv.Load(dir.file("s").c_str()), qErrNone);
    EXPECT_EQ(kv.Entries(), GetParam().want);
    EXPECT_FALSE(kv.IsDirty());
}

INSTANTIATE_TEST_SUITE_P(Lines, KeyValueReadTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(KeyValueStore, SaveRewritesInKeyOrderOneLinePerKey)
{
    TempDir dir;
    std::string path = dir.file("s");
    WriteAll(path, "# hand edited\nB=2\n\nA=1\nB=3\n");
    KeyValueStore kv(path.c_str());
    EXPECT_EQ(kv.Save(), qErrNone);
    EXPECT_EQ(ReadAll(path), "A=1\nB=3\n") << "unchanged store: no UPDATED_TIME";
}

TEST(KeyValueStore, NumericGetterAddsAnEmptyKeyWithoutChange)
{
    TempDir dir;
    std::string path = dir.file("s");
    WriteAll(path, "A=1\n");
    KeyValueStore kv(path.c_str());
    EXPECT_EQ(kv.GetInt("K", 7), 7);
    EXPECT_FALSE(kv.IsDirty());
    EXPECT_EQ(kv.GetString("K", "default"), "");
    EXPECT_EQ(kv.GetString("absent", "default"), "default");
    EXPECT_EQ(kv["absent"], nullptr);
    kv.Save();
    EXPECT_EQ(ReadAll(path), "A=1\nK=\n");
}

TEST(KeyValueStore, ValuesConvertAndMarkChanges)
{
    KeyValueStore kv;
    EXPECT_TRUE(kv.Add("N", 5));
    EXPECT_TRUE(kv.IsDirty());
    TempDir dir;
    kv.Save(dir.file("s").c_str());
    EXPECT_FALSE(kv.IsDirty());
    kv.Add("N", 5);
    EXPECT_FALSE(kv.IsDirty()) << "the same text is no change";
    kv.AddHex("H", 255);
    kv.Add("D", 1.5);
    kv.Add("S", std::string("-5.bird"));
    kv.Add("B", "true");
    EXPECT_STREQ(kv["H"], "0x000000FF");
    EXPECT_STREQ(kv["D"], "1.500000");
    EXPECT_EQ(kv.GetHex("H", 0), 255u);
    EXPECT_DOUBLE_EQ(kv.GetDouble("D", 0), 1.5);
    EXPECT_EQ(kv.GetInt("S", 0), -5);
    EXPECT_FALSE(kv.GetBOOL("B", true)) << "converted like atoi";
    EXPECT_TRUE(kv.GetBOOL("absent", true));
}

TEST(KeyValueStore, RefusesTextThatWouldForgeALine)
{
    KeyValueStore kv;
    EXPECT_FALSE(kv.Add("LATEST_TRANSFER", "/tmp/x\nLATEST_DOWNLOAD=9.bird"));
    EXPECT_FALSE(kv.Add("LATEST_TRANSFER", std::string("a\rb")));
    EXPECT_FALSE(kv.Add("A=B", "v"));
    EXPECT_FALSE(kv.Add(" A", "v"));
    EXPECT_FALSE(kv.Add("#A", "v")) << "would read back as a comment";
    EXPECT_FALSE(kv.Add("", "v"));
    EXPECT_EQ(kv.GetInt("A=B", 3), 3);
    EXPECT_TRUE(kv.Entries().empty());
    EXPECT_FALSE(kv.IsDirty());
}

TEST(KeyValueStore, MergeMarksEveryCopiedEntry)
{
    KeyValueStore a, b;
    b.Add("K", "v");
    TempDir dir;
    a.Add("K", "v");
    a.Save(dir.file("s").c_str());
    EXPECT_TRUE(a.Add(b));
    EXPECT_TRUE(a.IsDirty());
    EXPECT_TRUE(a.Clear());
    EXPECT_TRUE(a.Entries().empty());
}

TEST(KeyValueStore, MissingFileIsCreatedWithTwoDates)
{
    TempDir dir;
    std::string path = dir.file(".settings");
    KeyValueStore kv;
    EXPECT_EQ(kv.Load(path.c_str()), qErrParam);
    std::string text = ReadAll(path);
    const std::string created = "CREATED_TIME=", updated = "UPDATED_TIME=";
    size_t line = created.size() + 24 + 1;
    ASSERT_EQ(text.size(), line + updated.size() + 24 + 1) << text;
    EXPECT_EQ(text.substr(0, created.size()), created);
    EXPECT_TRUE(IsDate(text.substr(created.size(), 24))) << text;
    EXPECT_EQ(text.substr(line, updated.size()), updated);
    EXPECT_TRUE(IsDate(text.substr(line + updated.size(), 24))) << text;
    EXPECT_EQ(text[line - 1], '\n');
    EXPECT_EQ(text.back(), '\n');
    EXPECT_FALSE(kv.IsDirty());
}

TEST(KeyValueStore, UnreadableFileIsNeitherReplacedAtLoadNorAtSave)
{
    TempDir dir;
    std::string path = dir.file(".settings");
    ASSERT_EQ(symlink(".settings", path.c_str()), 0);  // a loop: opening fails with ELOOP
    KeyValueStore kv;
    EXPECT_EQ(kv.Load(path.c_str()), qErrRead);
    kv.Add("K", "v");
    EXPECT_NE(kv.Save(), qErrNone);
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_TRUE(kv.IsDirty());
}

TEST(KeyValueStore, FailedSaveKeepsOldFileAndStaysChanged)
{
    TempDir dir;
    KeyValueStore kv;
    kv.Add("K", "v");
    EXPECT_NE(kv.Save(dir.file("missing/s").c_str()), qErrNone);
    EXPECT_TRUE(kv.IsDirty());
    EXPECT_EQ(kv.Save(dir.file("s").c_str()), qErrNone);
    EXPECT_NE(ReadAll(dir.file("s")).find("K=v\n"), std::string::npos);
}

TEST(KeyValueStore, SaveWithoutPathUsesDefaultInWorkingDirectory)
{
    TempDir dir;
    std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    KeyValueStore kv;
    kv.Add("K", "v");
    EXPECT_EQ(kv.Save(), qErrNone);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(kv.FilePath(), ".settings");
    EXPECT_NE(ReadAll(dir.file(".settings")).find("K=v\n"), std::string::npos);
}

} // namespace
