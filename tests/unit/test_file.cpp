#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "Cindervex2/platform/qPlatform.h"

namespace {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    std::string path(const char* name) const { return dir + "/" + name; }
    std::string write(const char* name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }
    std::string dir;
};

struct Refusal {
    const char* name;
    std::string path;
    int mode;
};

class FileOpenRefusalTest : public FileTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(FileOpenRefusalTest, ReturnsNull) {
    std::string target = GetParam().path == "existing" ? write("f", "x") : GetParam().path;
    EXPECT_EQ(qFile_Open(target.c_str(), GetParam().mode), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileOpenRefusalTest,
                         ::testing::Values(Refusal{"ModeThree", "existing", 3}, Refusal{"NegativeMode", "existing", -1},
                                           Refusal{"EmptyPath", "", 0},
                                           Refusal{"PathOf4097Characters", "/" + std::string(4096, 'a'), 1},
                                           Refusal{"MissingFile", "/nonexistent/dir/file", 0}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(FileTest, OpenRefusesNullPath) { EXPECT_EQ(qFile_Open(nullptr, 0), nullptr); }

TEST_F(FileTest, WritesThenReadsBackToEndOfFile) {
    qFile* out = qFile_Open(path("f").c_str(), qFileModeWrite);
    ASSERT_NE(out, nullptr);
    size_t n = 0;
    EXPECT_EQ(qFile_Write(out, "hello", 5, &n), qErrNone);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(qFile_Printf(out, " %d", 42), qErrNone);
    char buffer[16];
    EXPECT_EQ(qFile_Read(out, buffer, 1, nullptr), qErrMode);
    EXPECT_EQ(qFile_Close(&out), qErrNone);
    EXPECT_EQ(out, nullptr);

    qFile* in = qFile_Open(path("f").c_str(), qFileModeRead);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(qFile_Read(in, buffer, sizeof buffer, &n), qErrNone) << "a short read is no error";
    EXPECT_EQ(std::string(buffer, n), "hello 42");
    EXPECT_EQ(qFile_Read(in, buffer, sizeof buffer, &n), qErrEOF);
    EXPECT_EQ(qFile_Write(in, "x", 1, nullptr), qErrMode);
    EXPECT_EQ(qFile_Printf(in, "x"), qErrMode);
    EXPECT_EQ(qFile_SetUnbuffered(in), qErrMode);
    qFile_Close(&in);
}

TEST_F(FileTest, AppendModeAddsAtTheEndAndReads) {
    write("f", "abc");
    qFile* file = qFile_Open(path("f").c_str(), qFileModeAppend);
    ASSERT_NE(file, nullptr);
    int64_t at = -1;
    EXPECT_EQ(qFile_GetPosition(file, &at), qErrNone);
    EXPECT_EQ(at, 3);
    EXPECT_EQ(qFile_SetUnbuffered(file), qErrNone);
    EXPECT_EQ(qFile_Write(file, "de", 2, nullptr), qErrNone);
    EXPECT_EQ(qFile_Seek(file, 0, 0), qErrNone);
    char buffer[8];
    size_t n = 0;
    EXPECT_EQ(qFile_Read(file, buffer, sizeof buffer, &n), qErrNone);
    EXPECT_EQ(std::string(buffer, n), "abcde");
    qFile_Close(&file);
}

struct Seek {
    const char* name;
    int64_t offset;
    int origin;
    qErr want;
    int64_t position;  // after a successful seek
};

class FileSeekTest : public FileTest, public ::testing::WithParamInterface<Seek> {};

TEST_P(FileSeekTest, StaysWithinTheFile) {
    qFile* file = qFile_Open(write("f", "0123456789").c_str(), qFileModeRead);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(qFile_Seek(file, 4, 0), qErrNone);
    EXPECT_EQ(qFile_Seek(file, GetParam().offset, GetParam().origin), GetParam().want);
    int64_t at = -1;
    EXPECT_EQ(qFile_GetPosition(file, &at), qErrNone);
    EXPECT_EQ(at, GetParam().want == qErrNone ? GetParam().position : 4);
    int64_t size = 0;
    EXPECT_EQ(qFile_GetSize(file, &size), qErrNone);
    EXPECT_EQ(size, 10);
    EXPECT_EQ(qFile_GetPosition(file, &at), qErrNone);
    EXPECT_EQ(at, GetParam().want == qErrNone ? GetParam().position : 4) << "GetSize keeps the position";
    qFile_Close(&file);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileSeekTest,
                         ::testing::Values(Seek{"EndOfFile", 0, 2, qErrNone, 10}, Seek{"PastTheEnd", 1, 2, qErrRange, 0},
                                           Seek{"BackFromEnd", -3, 2, qErrNone, 7}, Seek{"BeforeStart", -1, 0, qErrRange, 0},
                                           Seek{"Start", 0, 0, qErrNone, 0}, Seek{"ForwardFromHere", 6, 1, qErrNone, 10},
                                           Seek{"TooFarFromHere", 7, 1, qErrRange, 0}, Seek{"BackFromHere", -4, 1, qErrNone, 0},
                                           Seek{"UnknownOrigin", 0, 3, qErrParam, 0}),
                         [](const auto& i) { return std::string(i.param.name); });

struct Line {
    const char* name;
    std::string content;
    size_t size;
    qErr want;
    std::string stored;
};

class FileReadLineTest : public FileTest, public ::testing::WithParamInterface<Line> {};

TEST_P(FileReadLineTest, ReadsOneLine) {
    qFile* file = qFile_Open(write("f", GetParam().content).c_str(), qFileModeRead);
    ASSERT_NE(file, nullptr);
    char buffer[64];
    size_t length = 99;
    EXPECT_EQ(qFile_ReadLine(file, buffer, GetParam().size, &length), GetParam().want);
    if (GetParam().want != qErrEOF) {
        EXPECT_EQ(std::string(buffer), GetParam().stored);
        EXPECT_EQ(length, GetParam().stored.size());
    }
    qFile_Close(&file);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileReadLineTest,
                         ::testing::Values(Line{"FitsWithNewline", "abc\nnext", 5, qErrNone, "abc\n"},
                                           Line{"CutBeforeNewline", "abcd\n", 5, qErrOverrun, "abcd"},
                                           Line{"CutLongLine", "abcdefgh\n", 5, qErrOverrun, "abcd"},
                                           Line{"LastLineFillsBuffer", "abcd", 5, qErrNone, "abcd"},
                                           Line{"LastLineShort", "ab", 5, qErrNone, "ab"},
                                           Line{"EmptyFile", "", 5, qErrEOF, ""}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(FileTest, ReadLineContinuesAfterACut) {
    qFile* file = qFile_Open(write("f", "abcd\nxy\n").c_str(), qFileModeRead);
    char buffer[5];
    EXPECT_EQ(qFile_ReadLine(file, buffer, sizeof buffer, nullptr), qErrOverrun);
    EXPECT_EQ(qFile_ReadLine(file, buffer, sizeof buffer, nullptr), qErrNone);
    EXPECT_STREQ(buffer, "\n");
    EXPECT_EQ(qFile_ReadLine(file, buffer, sizeof buffer, nullptr), qErrNone);
    EXPECT_STREQ(buffer, "xy\n");
    EXPECT_EQ(qFile_ReadLine(file, buffer, sizeof buffer, nullptr), qErrEOF);
    qFile_Close(&file);
}

TEST_F(FileTest, ExistsOnlyForFiles) {
    EXPECT_TRUE(qFile_Exists(write("f", "x").c_str()));
    EXPECT_FALSE(qFile_Exists(dir.c_str()));
    EXPECT_FALSE(qFile_Exists(path("missing").c_str()));
    EXPECT_FALSE(qFile_Exists(nullptr));
    EXPECT_FALSE(qFile_Exists(("/" + std::string(4096, 'a')).c_str()));
}

TEST_F(FileTest, DeleteReportsWhyItFailed) {
    EXPECT_EQ(qFile_Delete(write("f", "x").c_str()), qErrNone);
    EXPECT_FALSE(qFile_Exists(path("f").c_str()));
    EXPECT_EQ(qFile_Delete(path("f").c_str()), qErrNotFound);
    EXPECT_EQ(qFile_Delete(nullptr), qErrParam);
    EXPECT_EQ(qFile_Delete(("/" + std::string(4096, 'a')).c_str()), qErrFileNameLength);
    if (geteuid() != 0) {
        std::string locked = write("g", "x");
        chmod(dir.c_str(), 0500);
        EXPECT_EQ(qFile_Delete(locked.c_str()), qErrPermission);
        chmod(dir.c_str(), 0700);
    }
}

TEST_F(FileTest, CloseRefusesNullAndClearsThePointer) {
    EXPECT_EQ(qFile_Close(nullptr), qErrParam);
    qFile* none = nullptr;
    EXPECT_EQ(qFile_Close(&none), qErrParam);
    EXPECT_EQ(qFile_Read(nullptr, nullptr, 0, nullptr), qErrParam);
    int64_t size;
    EXPECT_EQ(qFile_GetSize(nullptr, &size), qErrParam);
}

}  // namespace
