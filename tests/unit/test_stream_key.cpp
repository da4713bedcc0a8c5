// Stream keys and their wildcard masks.
#include <gtest/gtest.h>

#include <string>

#include "Cindervex2/common/qStreamKey.h"

namespace {

TEST(StreamKeyTest, ElementsSitInTheirBytes)
{
    uint64_t key = qStreamKey_Create(2, 3, 4, 5, 255);
    EXPECT_EQ(key, 0xFF02030405ull);
    EXPECT_EQ(qStreamKey_GetElement(key, STREAM_KEY_MODULE_ADDRESS), 2);
    EXPECT_EQ(qStreamKey_GetElement(key, STREAM_KEY_CMD), 3);
    EXPECT_EQ(qStreamKey_GetElement(key, STREAM_KEY_OPTION), 4);
    EXPECT_EQ(qStreamKey_GetElement(key, STREAM_KEY_INDEX), 5);
    EXPECT_EQ(qStreamKey_GetElement(key, STREAM_KEY_SUBINDEX), 255);
    EXPECT_EQ(qStreamKey_GetElement(key, 5), 0);
    EXPECT_EQ(qStreamKey_GetElement(key, -1), 0);
}

struct MaskCase {
    int m;
    uint64_t mask;
};

class StreamKeyMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(StreamKeyMaskTest, WildcardsTheElementsOfMPlusOne)
{
    EXPECT_EQ(qStreamKey_GenericMask(GetParam().m), GetParam().mask);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, StreamKeyMaskTest,
    ::testing::Values(MaskCase{0, 0xFF}, MaskCase{1, 0xFF00}, MaskCase{2, 0xFFFF},
                      MaskCase{3, 0xFF0000}, MaskCase{6, 0xFFFFFF}, MaskCase{7, 0xFF00000000},
                      MaskCase{9, 0xFF0000FF00}, MaskCase{10, 0xFF0000FFFF},
                      MaskCase{14, 0xFF00FFFFFF}, MaskCase{15, 0}, MaskCase{-1, 0}),
    [](const auto& i) { return "M" + std::to_string(i.param.m < 0 ? 99 : i.param.m); });

TEST(StreamKeyMaskTest, TheModuleByteIsNeverWildcarded)
{
    for (int m = 0; m < STREAM_KEY_MASK_COUNT; ++m)
        EXPECT_EQ(qStreamKey_GenericMask(m) & 0xFF000000ull, 0u) << "mask " << m;
}

} // namespace
