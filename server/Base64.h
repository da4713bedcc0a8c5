#pragma once
#include <cstddef>
#include <memory>

/* Encodes `length` bytes of `data` as base64 (standard alphabet, "=" padding).
 * Returns a new zero-terminated text and sets *outLength to its length without the
 * terminator. `data` may be null only when `length` is 0. */
std::unique_ptr<char[]> base64_encode(const char* data, size_t length, size_t* outLength);

/* Decodes `length` characters of base64 `text`. Returns a new buffer holding the bytes
 * plus a zero terminator and sets *outLength to the number of bytes (three per four
 * characters, less one for each "=" among the last two). Returns null, *outLength
 * untouched, when `length` is not a multiple of 4. An empty text gives an empty buffer.
 * Characters outside the alphabet are not rejected: they decode as zero bits. */
std::unique_ptr<char[]> base64_decode(const char* text, size_t length, size_t* outLength);
