#include <gtest/gtest.h>

#include <string>

#include "Cindervex2/common/qDefs.h"
#include "Cindervex2/common/qErr.h"

namespace {

struct ErrCase {
    unsigned int code;
    const char* name;
    const char* description;
};

// The texts people grep for in logs; the numbers are fixed forever.
const ErrCase kErrCases[] = {
    {0, "qErrNone", "Success, no error"},
    {11, "qErrNotReady", "Not ready, no bytes available"},
    {18, "qErrTimeout", "Timeout occurred"},
    {23, "qErrCancel", "Cancellation occurred, or did not complete"},
    {27, "qErrShortCommand", "Cindervex command to short"},
    {33, "qErrStreamStale", "Stream value is stale"},
    {34, "qErrUnknown", "Unknown error"},
    {35, "qErrUnknown", "Unknown error"},
    {1000, "qErrUnknown", "Unknown error"},
    {static_cast<unsigned int>(-1), "qErrUnknown", "Unknown error"},
};

class ErrorTextTest : public ::testing::TestWithParam<ErrCase> {};

TEST_P(ErrorTextTest, NameAndDescription)
{
    EXPECT_STREQ(GetParam().name, qError_GetErrorText(GetParam().code));
    EXPECT_STREQ(GetParam().description, qError_GetErrorDescription(GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(Codes, ErrorTextTest, ::testing::ValuesIn(kErrCases),
                         [](const auto& i) { return "Code" + std::to_string(i.index); });

TEST(ErrorTextTest, EveryCodeHasItsOwnName)
{
    for (unsigned int code = qErrNone; code <= qErrUnknown; ++code) {
        std::string name = qError_GetErrorText(code);
        EXPECT_EQ(0u, name.rfind("qErr", 0)) << code;
        EXPECT_STRNE("", qError_GetErrorDescription(code)) << code;
        for (unsigned int other = 0; other < code; ++other)
            EXPECT_NE(name, qError_GetErrorText(other)) << code;
    }
}

struct ModelCase {
    uint8_t model;
    const char* name;
};

const ModelCase kModelCases[] = {
    {0, "Unknown"}, {3, "Unknown"},  {4, "Varnel"},   {5, "Teskar"},  {6, "Unknown"},
    {12, "Unknown"}, {13, "Molbrin"}, {20, "Keltin"}, {26, "Sornak"}, {27, "Tavrel"},
    {28, "Unknown"}, {255, "Unknown"},
};

class ModelNameTest : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelNameTest, Name)
{
    EXPECT_STREQ(GetParam().name, qDefs_GetModelName(GetParam().model));
}

INSTANTIATE_TEST_SUITE_P(Models, ModelNameTest, ::testing::ValuesIn(kModelCases),
                         [](const auto& i) { return "Model" + std::to_string(i.param.model); });

} // namespace
