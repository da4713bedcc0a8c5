// Decoding arbitrary text stays in bounds; encoding then decoding gives the bytes back.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "server/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    size_t n = 0;
    base64_decode(text, size, &n);
    size_t encodedLength = 0, decodedLength = 0;
    auto encoded = base64_encode(text, size, &encodedLength);
    auto decoded = base64_decode(encoded.get(), encodedLength, &decodedLength);
    if (!decoded || decodedLength != size || (size && memcmp(decoded.get(), data, size) != 0))
        abort();
    return 0;
}
