#include "server/Base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Indexed by unsigned char, so a byte above 127 in the text cannot index before the table.
constexpr std::array<uint8_t, 256> sDecodeTable()
{
    std::array<uint8_t, 256> table{};
    for (uint8_t i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

constexpr std::array<uint8_t, 256> kDecode = sDecodeTable();

} // namespace

std::unique_ptr<char[]> base64_encode(const char* data, size_t length, size_t* outLength)
{
    size_t size = (length + 2) / 3 * 4;
    auto out = std::make_unique<char[]>(size + 1);
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    size_t o = 0;
    for (size_t i = 0; i < length; i += 3) {
        size_t rest = length - i;
        uint32_t word = static_cast<uint32_t>(in[i]) << 16;
        if (rest > 1)
            word |= static_cast<uint32_t>(in[i + 1]) << 8;
        if (rest > 2)
            word |= in[i + 2];
        out[o++] = kAlphabet[(word >> 18) & 0x3F];
        out[o++] = kAlphabet[(word >> 12) & 0x3F];
        out[o++] = rest > 1 ? kAlphabet[(word >> 6) & 0x3F] : '=';
        out[o++] = rest > 2 ? kAlphabet[word & 0x3F] : '=';
    }
    out[o] = '\0';
    if (outLength)
        *outLength = o;
    return out;
}

std::unique_ptr<char[]> base64_decode(const char* text, size_t length, size_t* outLength)
{
    if (length % 4 != 0 || (length > 0 && !text))
        return nullptr;
    size_t size = length / 4 * 3;
    if (length > 0 && text[length - 1] == '=')
        --size;
    if (length > 1 && text[length - 2] == '=')
        --size;
    auto out = std::make_unique<char[]>(size + 1);
    size_t o = 0;
    for (size_t i = 0; i < length; i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k)
            word = (word << 6) | kDecode[static_cast<unsigned char>(text[i + k])];
        const uint8_t bytes[3] = {static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8),
                                  static_cast<uint8_t>(word)};
        for (uint8_t b : bytes)
            if (o < size)
                out[o++] = static_cast<char>(b);
    }
    out[size] = '\0';
    if (outLength)
        *outLength = size;
    return out;
}
