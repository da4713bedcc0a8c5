#include "Cindervex2/common/qPacket.h"

#include <cstdlib>
#include <cstring>

qPacket* qPacket_Create(void) {
    qPacket* packet = static_cast<qPacket*>(calloc(1, sizeof(qPacket)));
    if (packet) packet->tag = qPACKET_TAG;
    return packet;
}

qPacket* qPacket_CreateWithData(uint8_t address, uint8_t length, const uint8_t* data) {
    if (!data || length > qPACKET_MAX_DATA) return nullptr;
    qPacket* packet = qPacket_Create();
    if (!packet) return nullptr;
    packet->address = address;
    packet->length = length;
    packet->filled = static_cast<uint8_t>(length + 2);
    memcpy(packet->data, data, length);
    return packet;
}

qPacket* qPacket_Copy(const qPacket* packet) {
    if (!qVALIDPACKET(packet)) return nullptr;
    return qPacket_CreateWithData(packet->address, packet->length, packet->data);
}

qErr qPacket_Reset(qPacket* packet) {
    if (!qVALIDPACKET(packet)) return qErrParam;
    packet->filled = 0;
    packet->address = 0;
    packet->length = 0;
    memset(packet->data, 0, sizeof packet->data);
    return qErrNone;
}

qErr qPacket_AddByte(qPacket* packet, uint8_t byte) {
    if (!qVALIDPACKET(packet)) return qErrParam;
    // Counted before any check, so a rejected byte still occupies its place: after an
    // error the reader resets the accumulator instead of repairing it.
    if (packet->filled < UINT8_MAX) packet->filled++;
    if (packet->filled > qPACKET_MAX_WIRE) return qErrOverrun;
    if (packet->address == 0) {
        if (byte == 0 || (byte & 1)) return qErrPacket;
        packet->address = byte;
        return qErrNone;
    }
    if (packet->length == 0 && packet->filled == 2) {
        packet->length = byte;
        return byte > qPACKET_MAX_DATA ? qErrPacket : qErrNone;
    }
    if (packet->length > qPACKET_MAX_DATA || packet->filled > packet->length + 2) return qErrPacket;
    packet->data[packet->filled - 3] = byte;
    return qErrNone;
}

bool qPacket_IsComplete(const qPacket* packet) {
    return qVALIDPACKET(packet) && packet->filled == packet->length + 2;
}

// The out pointer is checked first: a caller passing none learns that before anything else.
static qErr sDataByte(const qPacket* packet, uint8_t* out, uint8_t index, uint8_t mask) {
    if (!out) return qErrParam;
    if (!qVALIDPACKET(packet) || packet->length <= index) return qErrPacket;
    *out = packet->data[index] & mask;
    return qErrNone;
}

qErr qPacket_GetCmd(const qPacket* packet, uint8_t* out) { return sDataByte(packet, out, 0, 0xFF); }

qErr qPacket_GetOption(const qPacket* packet, uint8_t* out) { return sDataByte(packet, out, 1, 0x3F); }

qErr qPacket_GetIndex(const qPacket* packet, uint8_t* out) { return sDataByte(packet, out, 2, 0x1F); }

qErr qPacket_GetWireBytes(const qPacket* packet, uint8_t* buffer, size_t size, size_t* count) {
    if (!qVALIDPACKET(packet) || !buffer || !count || packet->length > qPACKET_MAX_DATA) return qErrParam;
    size_t wire = packet->length + 2u;
    if (size < wire) return qErrSize;
    buffer[0] = packet->address;
    buffer[1] = packet->length;
    memcpy(buffer + 2, packet->data, packet->length);
    *count = wire;
    return qErrNone;
}

qErr qPacket_Destroy(qPacket** packet) {
    if (!packet || !*packet) return qErrParam;
    (*packet)->tag = 0;
    free(*packet);
    *packet = nullptr;
    return qErrNone;
}
