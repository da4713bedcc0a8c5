#include <gtest/gtest.h>

#include "store/BuildPath.h"

TEST(BuildPathTest, JoinsWithOneSeparatorEach)
{
    EXPECT_EQ("a", BuildPath("a", nullptr));
    EXPECT_EQ("a/b/c", BuildPath("a", "b", "c", nullptr));
    // The separator is inserted even beside an existing one.
    EXPECT_EQ("a//b", BuildPath("a/", "b", nullptr));
    EXPECT_EQ("a//b", BuildPath("a", "/b", nullptr));
    EXPECT_EQ("/", BuildPath("", "", nullptr));
}
