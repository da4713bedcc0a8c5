// Packed firmware versions and the library's own version.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Cindervex2/common/qVersion.h"

namespace {

struct PackCase {
    const char* name;
    uint8_t major, minor, patch;
    uint32_t packed;
    bool legacy;
    const char* text;
};

class VersionPackTest : public ::testing::TestWithParam<PackCase> {};

TEST_P(VersionPackTest, PacksAndParsesBack)
{
    const PackCase& c = GetParam();
    uint32_t packed = qVersion_Pack(c.major, c.minor, c.patch);
    EXPECT_EQ(packed, c.packed);
    EXPECT_EQ(qVersion_IsLegacyFormat(packed), c.legacy);
    EXPECT_EQ(qVersion_ParseMajor(packed), c.major);
    EXPECT_EQ(qVersion_ParseMinor(packed), c.minor);
    EXPECT_EQ(qVersion_ParsePatch(packed), c.patch);
    char text[16];
    EXPECT_EQ(qVersion_ParseString(packed, text, sizeof text), int(strlen(c.text)));
    EXPECT_STREQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionPackTest,
    ::testing::Values(PackCase{"FirstCurrent", 2, 15, 3, 0x2F020F03, false, "2.15.3"},
                      PackCase{"LastLegacy", 2, 14, 3, 0x2E000003, true, "2.14.3"},
                      PackCase{"OneDotZero", 1, 0, 7, 0x10000007, true, "1.0.7"},
                      PackCase{"MajorThree", 3, 1, 5, 0x2F030105, false, "3.1.5"},
                      PackCase{"HighestBytes", 255, 255, 255, 0x2FFFFFFF, false, "255.255.255"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(VersionTest, LegacyPatchHasTwentyFourBits)
{
    EXPECT_TRUE(qVersion_IsLegacyFormat(0x21234567));
    EXPECT_EQ(qVersion_ParsePatch(0x21234567), 0x234567u);
    char text[32];
    qVersion_ParseString(0x21234567, text, sizeof text);
    EXPECT_STREQ(text, "2.1.2311527");
}

TEST(VersionTest, ParseStringStaysInsideASmallBuffer)
{
    char text[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(qVersion_ParseString(0x2F020F03, text, 3), 6);
    EXPECT_STREQ(text, "2.");
    EXPECT_EQ(text[3], 'x');
}

struct CompareCase {
    const char* name;
    uint8_t have[3], want[3];
    bool atLeast;
};

class VersionCompareTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(VersionCompareTest, ComparesMostSignificantFirst)
{
    const CompareCase& c = GetParam();
    EXPECT_EQ(qVersion_IsAtLeastCompare(c.have[0], c.have[1], c.have[2], c.want[0], c.want[1],
                                        c.want[2]),
              c.atLeast);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, VersionCompareTest,
    ::testing::Values(CompareCase{"Equal", {2, 11, 4}, {2, 11, 4}, true},
                      CompareCase{"LowerMinor", {2, 11, 4}, {2, 12, 0}, false},
                      CompareCase{"HigherMajorBeatsAll", {3, 0, 0}, {2, 99, 99}, true},
                      CompareCase{"LowerPatch", {2, 11, 3}, {2, 11, 4}, false},
                      CompareCase{"HigherMinorLowerPatch", {2, 12, 0}, {2, 11, 9}, true}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(VersionTest, OwnVersionAndFeatures)
{
    EXPECT_STREQ(qVersion_GetString(), "2.11.4");
    EXPECT_EQ(qVersion_GetString(), qVersion_GetString()) << "one static text";
    EXPECT_TRUE(qVersion_IsAtLeast(2, 11, 4));
    EXPECT_FALSE(qVersion_IsAtLeast(2, 11, 5));
    EXPECT_TRUE(qVersion_HasFeature("VERSION"));
    EXPECT_FALSE(qVersion_HasFeature("version"));
    EXPECT_FALSE(qVersion_HasFeature(nullptr));
    char* list = qVersion_GetFeatureList();
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list, "VERSION - Version Query API");
    qVersion_DestroyFeatureList(&list);
    EXPECT_EQ(list, nullptr);
}

} // namespace
