#pragma once
// Byte helpers of the UEI protocol: value byte order (most significant byte first), the
// trailer byte of byte-array packets (continue bit 7, sequence number bits 0-6), and the
// classification of received packets.

#include <cstddef>
#include <cstdint>

#include "Cindervex2/common/qPacket.h"

/* Option flags (data[1] of a request) and specifier flags (data[2]). */
#define UEI_OPTION_MASK 0x3F
#define UEI_OPTION_GET 0x40
#define UEI_OPTION_SET 0x80
#define UEI_INDEX_MASK 0x1F
#define UEI_SPEC_REQUEST 0x20
#define UEI_SPEC_STREAM 0x40
#define UEI_SPEC_ERROR 0x80

/* Payload bytes of one byte-array packet, and its header (command, option, specifier). */
#define UEI_BYTES_CHUNK 24
#define UEI_BYTES_HEADER 3

/* Two or four bytes, most significant first. Buffers must hold them. */
void qUEI_StoreShort(uint8_t* buffer, uint16_t v);
uint16_t qUEI_RetrieveShort(const uint8_t* buffer);
void qUEI_StoreInt(uint8_t* buffer, uint32_t v);
uint32_t qUEI_RetrieveInt(const uint8_t* buffer);

/* Converts each of n words in place from big-endian bytes to host values; accepts null. */
void qUEI_ModifyIntBuffer(uint32_t* words, size_t n);

/* Sequence number (bits 0-6) and continue bit (0 or 1) of the last data byte; 0 for a null
 * or invalid packet and for a packet without data bytes. */
uint8_t qUEI_getBytesSequence(const qPacket* packet);
uint8_t qUEI_getBytesContinue(const qPacket* packet);

/* True when the packet is a full byte-array packet (27 or 28 data bytes). */
bool qUEI_getBytesFullPacket(const qPacket* packet);

/* False when the packet has no data bytes or its command (data[0]) is one of the commands
 * with a layout of their own (0, 1, 2, 4, 8, 9, 23, 24, 73, 94, 95, 173, 175); else true,
 * also for a null packet. */
bool qUEI_isUEIPayload(const qPacket* packet);

/* The opposite of qUEI_isUEIPayload, but false for a null packet. */
bool qUEI_isNotUEIPayload(const qPacket* packet);

/* True for a stream packet: a UEI payload with more than 4 data bytes, an option byte below
 * 64 and UEI_SPEC_STREAM set in data[2]. */
bool qUEI_isStreamPacket(const qPacket* packet);
