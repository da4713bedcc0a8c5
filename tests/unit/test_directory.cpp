#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Cindervex2/platform/qDirectory.h"

namespace fs = std::filesystem;

namespace {

// A fresh directory per test, removed afterwards.
class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qdirXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root = pattern;
    }
    void TearDown() override { fs::remove_all(root); }
    std::string at(const std::string& rel) const { return (root / rel).string(); }
    fs::path root;
};

struct JoinCase {
    const char* name;
    size_t size;
    const char* first;
    const char* second;
    qErr want;
    const char* text;
};

const JoinCase kJoinCases[] = {
    {"Plain", 64, "a", "b", qErrNone, "a/b"},
    {"TrailingSeparatorKept", 64, "a/", "b", qErrNone, "a/b"},
    {"LeadingSeparatorKept", 64, "a", "/b", qErrNone, "a/b"},
    {"FitsExactly", 16, "/home", "abcdefgh", qErrNone, "/home/abcdefgh"},
    {"ComponentTooLong", 16, "/home", "abcdefghij", qErrOverrun, "/home/"},
    {"FirstTooLong", 6, "abcde", "b", qErrOverrun, ""},
};

class JoinPathTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinPathTest, Joins)
{
    const JoinCase& c = GetParam();
    char buffer[64];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(c.want, qDirectory_JoinPath(buffer, c.size, c.first, c.second));
    EXPECT_STREQ(c.text, buffer);
}

INSTANTIATE_TEST_SUITE_P(Cases, JoinPathTest, ::testing::ValuesIn(kJoinCases),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(BuildPathCTest, RefusesBadArguments)
{
    char buffer[64];
    const char* n = nullptr;
    EXPECT_EQ(qErrParam, qDirectory_BuildPath(nullptr, 64, "a", n));
    EXPECT_EQ(qErrParam, qDirectory_BuildPath(buffer, 0, "a", n));
    EXPECT_EQ(qErrParam, qDirectory_BuildPath(buffer, 64, buffer, n));
    EXPECT_EQ(qErrParam, qDirectory_BuildPath(buffer, 64, "a", buffer, n));
    EXPECT_EQ(qErrNone, qDirectory_BuildPath(buffer, 64, "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", n));
    EXPECT_STREQ("0/1/2/3/4/5/6/7/8/9", buffer);
    EXPECT_EQ(qErrParam, qDirectory_BuildPath(buffer, 64, "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "a", n));
}

TEST_F(DirectoryTest, EnsureCreatesMissingParents)
{
    ASSERT_TRUE(fs::create_directory(at("a")));
    EXPECT_EQ(qErrNone, qDirectory_Ensure(at("a/b//c/").c_str(), 0755));
    EXPECT_TRUE(qDirectory_Exists(at("a/b/c").c_str()));
    EXPECT_EQ(qErrNone, qDirectory_Ensure(at("a/b/c").c_str(), 0755));
    EXPECT_EQ(qErrNone, qDirectory_Ensure(at("x/y").c_str(), 0755));
    EXPECT_TRUE(qDirectory_Exists(at("x/y").c_str()));
}

TEST_F(DirectoryTest, EnsureFailsBelowAFile)
{
    std::ofstream(at("file")) << "x";
    EXPECT_EQ(qErrPermission, qDirectory_Ensure(at("file/sub").c_str(), 0755));
    EXPECT_FALSE(qDirectory_Exists(at("file").c_str()));
    EXPECT_FALSE(qDirectory_Exists(nullptr));
}

TEST_F(DirectoryTest, ListGivesEveryEntryWithSizeAndKind)
{
    std::ofstream(at("seven")) << "1234567";
    fs::create_directory(at("sub"));
    std::set<std::string> seen;
    auto collect = [](const qDirectoryListData* entry, void* user) {
        auto* found = static_cast<std::set<std::string>*>(user);
        std::string name = fs::path(entry->path).filename().string();
        found->insert(name + ":" + std::to_string(entry->isDirectory ? -1 : static_cast<int>(entry->size)));
        return true;
    };
    EXPECT_EQ(qErrNone, qDirectory_List(root.c_str(), collect, &seen));
    EXPECT_EQ((std::set<std::string>{".:-1", "..:-1", "seven:7", "sub:-1"}), seen);

    int calls = 0;
    auto stopAtFirst = [](const qDirectoryListData*, void* user) {
        ++*static_cast<int*>(user);
        return false;
    };
    EXPECT_EQ(qErrNone, qDirectory_List(root.c_str(), stopAtFirst, &calls));
    EXPECT_EQ(1, calls);
    EXPECT_EQ(qErrNotFound, qDirectory_List(at("missing").c_str(), stopAtFirst, &calls));
}

TEST_F(DirectoryTest, DeleteTreeRemovesLinksWithoutFollowingThem)
{
    fs::create_directories(at("outside/keep"));
    std::ofstream(at("outside/keep/file")) << "x";
    fs::create_directories(at("tree/a/b"));
    std::ofstream(at("tree/a/b/file")) << "x";
    fs::create_directory_symlink(at("outside"), at("tree/a/link"));

    EXPECT_EQ(qErrNone, qDirectory_DeleteTree(at("tree").c_str()));
    EXPECT_FALSE(fs::exists(at("tree")));
    EXPECT_TRUE(fs::exists(at("outside/keep/file")));
    EXPECT_EQ(qErrNotFound, qDirectory_DeleteTree(at("tree").c_str()));
}

TEST_F(DirectoryTest, DeleteRemovesOnlyEmptyDirectories)
{
    fs::create_directories(at("full/sub"));
    EXPECT_EQ(qErrUnknown, qDirectory_Delete(at("full").c_str()));
    EXPECT_EQ(qErrNone, qDirectory_Delete(at("full/sub").c_str()));
}

TEST(HomeDirectoryTest, CutsAndTerminates)
{
    char full[4096];
    ASSERT_EQ(qErrNone, qDirectory_GetHomeDirectory(full, sizeof full));
    size_t length = strlen(full);
    ASSERT_GT(length, 1u);
    char small[2] = {'x', 'x'};
    EXPECT_EQ(qErrOverrun, qDirectory_GetHomeDirectory(small, sizeof small));
    EXPECT_EQ(full[0], small[0]);
    EXPECT_EQ('\0', small[1]);
    std::vector<char> exact(length + 1);
    EXPECT_EQ(qErrNone, qDirectory_GetHomeDirectory(exact.data(), exact.size()));
    EXPECT_STREQ(full, exact.data());
    EXPECT_EQ(qErrParam, qDirectory_GetHomeDirectory(small, 0));
}

// A user without a database entry falls back to HOME, and fails when HOME is unset or empty.
struct FallbackCase {
    const char* name;
    const char* home;  // null: unset
    qErr want;
    const char* text;
};

const FallbackCase kFallbackCases[] = {
    {"HomeSet", "/srv/elsewhere", qErrNone, "/srv/elsewhere"},
    {"HomeEmpty", "", qErrNotFound, ""},
    {"HomeUnset", nullptr, qErrNotFound, ""},
};

class HomeFallbackTest : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(HomeFallbackTest, WithoutUserEntry)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to become a user without a database entry";
    const FallbackCase& c = GetParam();
    EXPECT_EXIT(
        {
            if (setuid(54321) != 0)
                _exit(90);
            if (c.home)
                setenv("HOME", c.home, 1);
            else
                unsetenv("HOME");
            char buffer[64] = "stale";
            qErr got = qDirectory_GetHomeDirectory(buffer, sizeof buffer);
            _exit(got == c.want && strcmp(buffer, c.text) == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, HomeFallbackTest, ::testing::ValuesIn(kFallbackCases),
                         [](const auto& i) { return std::string(i.param.name); });

} // namespace

namespace {

TEST(ProcessPathTest, ExecutableAndWorkingDirectory)
{
    char path[4096];
    ASSERT_EQ(qErrNone, qDirectory_ExecutableFilePath(path, sizeof path));
    EXPECT_EQ(fs::read_symlink("/proc/self/exe").string(), path);
    char small[5];
    EXPECT_EQ(qErrNone, qDirectory_ExecutableFilePath(small, sizeof small));
    EXPECT_EQ(std::string(path, 4), small);

    ASSERT_EQ(qErrNone, qDirectory_CWD(path, sizeof path));
    EXPECT_EQ(fs::current_path().string(), path);
    EXPECT_EQ(qErrParam, qDirectory_CWD(small, 1));
}

} // namespace
