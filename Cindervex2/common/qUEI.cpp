#include "Cindervex2/common/qUEI.h"

namespace {

// Commands whose packets have a layout of their own and never carry a UEI.
constexpr uint8_t kNotUEICommands[] = {0, 1, 2, 4, 8, 9, 23, 24, 73, 94, 95, 173, 175};

bool sHasTrailer(const qPacket* packet) { return qVALIDPACKET(packet) && packet->length > 0; }

uint8_t sTrailer(const qPacket* packet) { return packet->data[packet->length - 1]; }

} // namespace

void qUEI_StoreShort(uint8_t* buffer, uint16_t v)
{
    buffer[0] = uint8_t(v >> 8);
    buffer[1] = uint8_t(v);
}

uint16_t qUEI_RetrieveShort(const uint8_t* buffer) { return uint16_t((buffer[0] << 8) | buffer[1]); }

void qUEI_StoreInt(uint8_t* buffer, uint32_t v)
{
    buffer[0] = uint8_t(v >> 24);
    buffer[1] = uint8_t(v >> 16);
    buffer[2] = uint8_t(v >> 8);
    buffer[3] = uint8_t(v);
}

uint32_t qUEI_RetrieveInt(const uint8_t* buffer)
{
    return (uint32_t(buffer[0]) << 24) | (uint32_t(buffer[1]) << 16) | (uint32_t(buffer[2]) << 8) |
           buffer[3];
}

void qUEI_ModifyIntBuffer(uint32_t* words, size_t n)
{
    if (!words)
        return;
    for (size_t i = 0; i < n; ++i)
        words[i] = qUEI_RetrieveInt(reinterpret_cast<const uint8_t*>(&words[i]));
}

uint8_t qUEI_getBytesSequence(const qPacket* packet)
{
    return sHasTrailer(packet) ? uint8_t(sTrailer(packet) & 0x7F) : 0;
}

uint8_t qUEI_getBytesContinue(const qPacket* packet)
{
    return sHasTrailer(packet) ? uint8_t(sTrailer(packet) >> 7) : 0;
}

bool qUEI_getBytesFullPacket(const qPacket* packet)
{
    return qVALIDPACKET(packet) &&
           (packet->length == qPACKET_MAX_DATA || packet->length == qPACKET_MAX_DATA - 1);
}

bool qUEI_isUEIPayload(const qPacket* packet)
{
    if (!packet)
        return true;
    if (!qVALIDPACKET(packet) || packet->length == 0)
        return false;
    for (uint8_t command : kNotUEICommands)
        if (packet->data[0] == command)
            return false;
    return true;
}

bool qUEI_isNotUEIPayload(const qPacket* packet) { return packet && !qUEI_isUEIPayload(packet); }

bool qUEI_isStreamPacket(const qPacket* packet)
{
    return qVALIDPACKET(packet) && packet->length > 4 && qUEI_isUEIPayload(packet) &&
           packet->data[1] < 64 && (packet->data[2] & UEI_SPEC_STREAM);
}
