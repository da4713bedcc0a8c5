#include <gtest/gtest.h>

#include <string>

#include "server/Base64.h"

namespace {

struct Vector {
    const char* name;
    std::string plain;
    std::string encoded;
};

const Vector kVectors[] = {
    {"Empty", "", ""},
    {"OneByte", "f", "Zg=="},
    {"TwoBytes", "fo", "Zm8="},
    {"ThreeBytes", "foo", "Zm9v"},
    {"SixBytes", "foobar", "Zm9vYmFy"},
    {"HighAndZeroBytes", std::string("\x00\xff\xfe\x80", 4), "AP/+gA=="},
};

class Base64Test : public ::testing::TestWithParam<Vector> {};

TEST_P(Base64Test, EncodesAndDecodesKnownVector)
{
    const auto& v = GetParam();
    size_t n = 99;
    auto encoded = base64_encode(v.plain.data(), v.plain.size(), &n);
    ASSERT_TRUE(encoded);
    EXPECT_EQ(std::string(encoded.get(), n), v.encoded);
    auto decoded = base64_decode(v.encoded.data(), v.encoded.size(), &n);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(std::string(decoded.get(), n), v.plain);
    EXPECT_EQ(decoded[n], '\0');
}

INSTANTIATE_TEST_SUITE_P(Rfc, Base64Test, ::testing::ValuesIn(kVectors),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Base64, RefusesLengthNotMultipleOfFour)
{
    size_t n = 7;
    EXPECT_FALSE(base64_decode("Zm9vY", 5, &n));
    EXPECT_EQ(n, 7u);
}

TEST(Base64, ForeignCharactersDecodeWithoutReadingOutsideTheTable)
{
    // Bytes above 127 must not index before the decode table (checked under ASan).
    const char text[] = "\xff\x80\x81=";
    size_t n = 0;
    auto out = base64_decode(text, 4, &n);
    ASSERT_TRUE(out);
    EXPECT_EQ(n, 2u);
}

TEST(Base64, RoundTripsEveryLengthUpTo64)
{
    std::string data;
    for (int len = 0; len <= 64; ++len) {
        size_t n = 0, m = 0;
        auto enc = base64_encode(data.data(), data.size(), &n);
        auto dec = base64_decode(enc.get(), n, &m);
        ASSERT_TRUE(dec);
        EXPECT_EQ(std::string(dec.get(), m), data) << len;
        data.push_back(static_cast<char>(len * 37));
    }
}

} // namespace
