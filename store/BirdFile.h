#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/BirdBlock.h"

/* A bird file: "bird", two version bytes, then a zlib stream whose payload is
 * u32 block count, the blocks, u32 checksum (all big-endian). The whole payload lives in
 * memory; patching and descrambling change only that copy. Movable, not copyable: the
 * blocks point into the payload, whose buffer moves with the object. */
class BirdFile {
public:
    static constexpr uint32_t BIRD_FILE_SIGNATURE = 0x62697264;  /* "bird" */
    static constexpr uint32_t BIRD_FILE_VERSION = 0x0101;

    /* An empty file object (no blocks), to move a loaded one into. */
    BirdFile() = default;
    /* Loads `path`. Throws std::runtime_error("Failed to load bird data") when the file
     * cannot be read, has no payload, does not inflate into 8 x its stream length, or
     * inflates to fewer than 8 bytes. Blocks that do not fit the payload are dropped
     * with a "Block parsing mismatch" log line; the load still succeeds. */
    explicit BirdFile(const char* path);
    BirdFile(BirdFile&&) noexcept = default;
    BirdFile& operator=(BirdFile&&) noexcept = default;
    BirdFile(const BirdFile&) = delete;
    BirdFile& operator=(const BirdFile&) = delete;

    /* True when `path` starts with "bird" and two nonzero version bytes. Reads 6 bytes;
     * does not inflate. False (and a log line) when the file cannot be opened. */
    static bool VerifyFile(const char* path);

    /* Copies of all blocks of `type`, in file order. */
    std::vector<BirdBlock> FindBlocks(BLOCK_TYPE type) const;
    /* True when the record's model, trailing spaces removed, begins with `model` over
     * strlen(model) bytes (so a prefix matches). False without a record or for null. */
    bool ValidateModel(const char* model) const;
    /* The record's serial number (first 8 characters, hexadecimal); 0 without a record. */
    uint32_t GetSerialNumber() const;
    /* True when `serial` equals GetSerialNumber(). */
    bool ValidateSerialNumber(uint32_t serial) const;
    /* The record's build (leading decimal digits of the first 15 characters); 0 without. */
    uint32_t GetBuild() const;
    /* The record's version (first 15 characters, cut at the first space); "" without. */
    std::string GetVersion() const;

    /* Reads the offsets from the first serial-offsets block. False, nothing changed, when
     * there is none, or when that block holds fewer than 8 bytes (offsets stay 0). */
    bool FindSerialNumberOffsets();
    /* Writes `serial` little-endian at serialNumberOffset and its "%08X" text into the low
     * bytes of the UTF-16LE descriptor at descriptorOffset, in every firmware image that
     * wholly contains the location. True when serialNumberOffset is nonzero or a
     * descriptor was written; false when neither offset is set. */
    bool ReplaceSerialNumber(uint32_t serial);
    /* Descrambles every firmware image in place with the 4-word `key` (each byte XOR key
     * stream XOR the previous plain byte; restarts per block). Run once per loaded file.
     * False only for a null key. */
    bool DecodeFirmwareBlocks(const uint32_t* key);

    /* Hex dump of every block of `type` to standard output. */
    bool DumpBlocks(BLOCK_TYPE type) const;
    /* Logs each index i < length - count of a firmware block's data where `pattern`
     * starts; true when found at least once. */
    bool ValidateData(const uint8_t* pattern, uint32_t count) const;
    /* For firmware images at address 0: word 7 := two's complement of the sum of words
     * 0-4 and 6 (little-endian), as an ARM vector table wants. */
    bool ReplaceVectorChecksum();

    std::string path;
    uint32_t signature = 0;
    uint32_t formatVersion = 0;
    uint32_t fileChecksum = 0;
    uint32_t blockCount = 0;
    std::vector<BirdBlock> blocks;
    bool hasSerialBlock = false;
    uint32_t serialNumberOffset = 0;
    uint32_t descriptorOffset = 0;
    std::unique_ptr<uint8_t[]> payload;
    uint32_t payloadSize = 0;

private:
    bool Load();
    bool Inflate(const uint8_t* stream, size_t length);
    bool ParseBlocks();
    const BirdBlock* InfoBlock() const;
    std::string InfoField(size_t offset, size_t count) const;
    uint8_t* Image(const BirdBlock& block);
};
