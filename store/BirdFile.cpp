#include "store/BirdFile.h"

#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "Cindervex2/platform/qPlatform.h"
#include "app/Log.h"

namespace {

constexpr size_t kHeaderSize = 6;
constexpr uint32_t kInfoSize = 64;
constexpr uint32_t kAddressSize = 4;

uint32_t GetInt(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t GetShort(const uint8_t* p)
{
    return (uint32_t{p[0]} << 8) | p[1];
}

uint32_t sLittle32(const uint8_t* p)
{
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void sPutLittle32(uint8_t* p, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool sIsImage(uint8_t type)
{
    return type == BLOCK_LOADER || type == BLOCK_FIRMWARE;
}

/* Reads the whole file; false (with a log line) on any failure. */
bool sReadFile(const char* path, std::vector<uint8_t>& bytes)
{
    qFile* file = qFile_Open(path, qFileModeRead);
    if (!file) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: Error - cannot open bird file: '%s'\n", path);
        return false;
    }
    int64_t size = 0;
    qErr err = qFile_GetSize(file, &size);
    bool ok = false;
    if (err != qErrNone) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: Error (%d) getting bird file size from %s\n", err, path);
    } else {
        try {
            bytes.resize(static_cast<size_t>(size));
            size_t got = 0;
            err = size > 0 ? qFile_Read(file, bytes.data(), bytes.size(), &got) : qErrNone;
            if (err != qErrNone)
                Log::log(DEBUG_BirdFile, "BIRDFILE: Error (%d) reading %s\n", err, path);
            else if (got != bytes.size())
                Log::log(DEBUG_BirdFile, "BIRDFILE: Error reading %s read %zu bytes of %zu byte file\n", path, got,
                         bytes.size());
            else
                ok = true;
        } catch (const std::bad_alloc&) {
            Log::log(DEBUG_BirdFile, "BIRDFILE: Error - no memory for %s\n", path);
        }
    }
    qFile_Close(&file);
    return ok;
}

} // namespace

BirdFile::BirdFile(const char* filePath) : path(filePath ? filePath : "")
{
    if (!Load())
        throw std::runtime_error("Failed to load bird data");
}

bool BirdFile::VerifyFile(const char* filePath)
{
    qFile* file = qFile_Open(filePath, qFileModeRead);
    if (!file) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: Error - cannot open bird file: '%s'\n", filePath ? filePath : "");
        return false;
    }
    uint8_t header[kHeaderSize] = {};
    size_t got = 0;
    qErr err = qFile_Read(file, header, sizeof header, &got);
    qFile_Close(&file);
    return err == qErrNone && got == kHeaderSize && GetInt(header) == BIRD_FILE_SIGNATURE && header[4] != 0 &&
           header[5] != 0;
}

bool BirdFile::Load()
{
    const char* p = path.c_str();
    Log::log(DEBUG_BirdFile, "BIRDFILE: Loading File [%s]\n", p);
    if (!qFile_Exists(p)) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: BIRD file not found [%s]\n", p);
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!sReadFile(p, bytes))
        return false;
    if (bytes.size() <= kHeaderSize) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: Error - %s has no payload (%zu bytes)\n", p, bytes.size());
        return false;
    }
    signature = GetInt(bytes.data());
    formatVersion = GetShort(bytes.data() + 4);
    if (!Inflate(bytes.data() + kHeaderSize, bytes.size() - kHeaderSize))
        return false;
    ParseBlocks();
    FindSerialNumberOffsets();
    for (const auto& block : blocks)
        hasSerialBlock = hasSerialBlock || block.type == BLOCK_SERIAL_OFFSETS;
    if (hasSerialBlock)
        FindSerialNumberOffsets();
    return true;
}

bool BirdFile::Inflate(const uint8_t* stream, size_t length)
{
    blocks.clear();
    blockCount = 0;
    payloadSize = 0;
    // A 32-bit count on purpose: the payload is at most eight times the stream.
    uint32_t capacity = static_cast<uint32_t>(8u * length);
    try {
        payload = std::make_unique_for_overwrite<uint8_t[]>(capacity ? capacity : 1);
    } catch (const std::bad_alloc&) {
        payload.reset();
        Log::log(DEBUG_BirdFile, "BIRDFILE: Error - no memory for a %u byte payload\n", capacity);
        return false;
    }
    uLongf inflated = capacity;
    int z = uncompress(payload.get(), &inflated, stream, static_cast<uLong>(length));
    if (z != Z_OK) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: Error (%d) decompressing bird file.\n", z);
        return false;
    }
    // Count and checksum are the least a payload holds; below that nothing can be parsed.
    if (inflated < 8) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: Error - payload of %lu bytes is too short\n", inflated);
        return false;
    }
    payloadSize = static_cast<uint32_t>(inflated);
    return true;
}

bool BirdFile::ParseBlocks()
{
    const uint8_t* base = payload.get();
    uint32_t reported = GetInt(base);
    Log::log(DEBUG_BirdFile, "BIRDFILE:\t\t File reports %d blocks\n", reported);
    Log::log(DEBUG_BirdFile, "BIRDFILE: Bird file objects:\n");
    Log::log(DEBUG_BirdFile, "BIRDFILE: \t\tType Flags Length\n");
    uint32_t pos = 4;
    uint32_t remaining = payloadSize - 4;
    bool ok = true;
    while (remaining > 4) {
        BirdBlock block;
        block.type = base[pos] & BIRD_FILE_TYPE_MASK;
        block.flags = static_cast<uint8_t>((base[pos] & BIRD_FILE_FLAG_MASK) >> 5);
        block.length = GetInt(base + pos + 1);
        block.data = base + pos + 5;
        Log::log(DEBUG_BirdFile, "BIRDFILE:\t\t %02X   %02X   %d\n", block.type, block.flags, block.length);
        if (block.length > remaining - 5) {
            Log::log(DEBUG_BirdFile,
                     "BIRDFILE: Block parsing mismatch: block of %u bytes runs past the payload (%u left)\n",
                     block.length, remaining - 5);
            ok = false;
            break;
        }
        pos += 5 + block.length;
        remaining -= 5 + block.length;
        // Shorter blocks would make every "length - 4" or record read leave the block.
        if ((sIsImage(block.type) && block.length < kAddressSize) ||
            (block.type == BLOCK_INFO && block.length < kInfoSize)) {
            Log::log(DEBUG_BirdFile, "BIRDFILE: Block parsing mismatch: type %02X block of %u bytes dropped\n",
                     block.type, block.length);
            ok = false;
            continue;
        }
        if (sIsImage(block.type))
            block.address = GetInt(block.data);
        if (block.type == BLOCK_INFO)
            for (uint32_t f = 0; f < kInfoSize; f += 16)
                Log::log(DEBUG_BirdFile, "BIRDFILE:\t\t \t[%16.16s]\n", reinterpret_cast<const char*>(block.data + f));
        blocks.push_back(block);
        ++blockCount;
    }
    if (remaining >= 4) {
        fileChecksum = GetInt(base + pos);
        Log::log(DEBUG_BirdFile, "BIRDFILE:\t\t File checksum %08X\n", fileChecksum);
        remaining -= 4;
    }
    if (remaining != 0) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: Block parsing mismatch in data size. (%d bytes remaining)\n", remaining);
        ok = false;
    }
    if (blockCount != reported) {
        Log::log(DEBUG_BirdFile, "BIRDFILE: Block parsing mismatch in number of blocks. (%d != %d)\n", blockCount,
                 reported);
        ok = false;
    }
    return ok;
}

std::vector<BirdBlock> BirdFile::FindBlocks(BLOCK_TYPE type) const
{
    std::vector<BirdBlock> found;
    for (const auto& block : blocks)
        if (block.type == type)
            found.push_back(block);
    return found;
}

const BirdBlock* BirdFile::InfoBlock() const
{
    for (const auto& block : blocks)
        if (block.type == BLOCK_INFO)
            return &block;
    return nullptr;
}

std::string BirdFile::InfoField(size_t offset, size_t count) const
{
    const BirdBlock* info = InfoBlock();
    if (!info)
        return {};
    std::string field(reinterpret_cast<const char*>(info->data + offset), count);
    return field.substr(0, field.find('\0'));
}

bool BirdFile::ValidateModel(const char* model) const
{
    if (!model || !InfoBlock())
        return false;
    std::string stored = InfoField(48, 16);
    stored.erase(stored.find_last_not_of(' ') + 1);
    if (strncmp(stored.c_str(), model, strlen(model)) != 0)
        return false;
    Log::log(DEBUG_BirdFile, "Model matches model number ([%s] == [%s])\n", stored.c_str(), model);
    return true;
}

uint32_t BirdFile::GetSerialNumber() const
{
    // Only the first 8 characters: the rest of the field is padding.
    std::string text = InfoField(32, 8);
    return static_cast<uint32_t>(strtoul(text.c_str(), nullptr, 16));
}

bool BirdFile::ValidateSerialNumber(uint32_t serial) const
{
    return serial == GetSerialNumber();
}

uint32_t BirdFile::GetBuild() const
{
    uint32_t build = 0;
    for (char c : InfoField(0, 15)) {
        if (!isdigit(static_cast<unsigned char>(c)))
            break;
        build = build * 10 + static_cast<uint32_t>(c - '0');
    }
    return build;
}

std::string BirdFile::GetVersion() const
{
    std::string text = InfoField(16, 15);
    return text.substr(0, text.find(' '));
}

bool BirdFile::FindSerialNumberOffsets()
{
    for (const auto& block : blocks) {
        if (block.type != BLOCK_SERIAL_OFFSETS)
            continue;
        if (block.length < 8) {
            Log::log(DEBUG_BirdFile, "BIRDFILE: Serial offsets block of %u bytes ignored\n", block.length);
            return false;
        }
        serialNumberOffset = GetInt(block.data);
        descriptorOffset = GetInt(block.data + 4);
        Log::log(DEBUG_BirdFile, "BIRDFILE: Offsets: Serial number: %d, Descriptor: %d\n", serialNumberOffset,
                 descriptorOffset);
        return true;
    }
    return false;
}

uint8_t* BirdFile::Image(const BirdBlock& block)
{
    // The blocks hold read-only views; patching goes through the payload this object owns.
    return payload.get() + (block.data - payload.get()) + kAddressSize;
}

bool BirdFile::ReplaceSerialNumber(uint32_t serial)
{
    char text[9];
    snprintf(text, sizeof text, "%08X", serial);
    bool result = false;
    for (const auto& block : blocks) {
        if (block.type != BLOCK_FIRMWARE || block.length < kAddressSize)
            continue;
        // 64-bit sums: an offset near 0xFFFFFFFF must not wrap into the image.
        uint64_t start = block.address;
        uint64_t end = start + (block.length - kAddressSize);
        uint8_t* image = Image(block);
        if (serialNumberOffset != 0) {
            result = true;
            if (start <= serialNumberOffset && uint64_t{serialNumberOffset} + 4 <= end) {
                uint8_t* at = image + (serialNumberOffset - start);
                Log::log(DEBUG_BirdFile, "BIRDFILE: updating serial number from %08X ==> %08X\n", sLittle32(at),
                         serial);
                sPutLittle32(at, serial);
            }
        }
        if (descriptorOffset != 0 && start <= descriptorOffset && uint64_t{descriptorOffset} + 16 <= end) {
            uint8_t* at = image + (descriptorOffset - start);
            for (int i = 0; i < 8; ++i)
                at[2 * i] = static_cast<uint8_t>(text[i]);
            result = true;
        }
    }
    return result;
}

bool BirdFile::DecodeFirmwareBlocks(const uint32_t* key)
{
    if (!key)
        return false;
    uint8_t stream[16];
    for (int w = 0; w < 4; ++w)
        for (int b = 0; b < 4; ++b)
            stream[4 * w + b] = static_cast<uint8_t>(key[w] >> (24 - 8 * b));
    for (const auto& block : blocks) {
        if (block.type != BLOCK_FIRMWARE || block.length < kAddressSize)
            continue;
        uint8_t* image = Image(block);
        uint8_t previous = 0;
        for (uint32_t i = 0; i < block.length - kAddressSize; ++i) {
            image[i] = static_cast<uint8_t>(image[i] ^ stream[i % 16] ^ previous);
            previous = image[i];
        }
    }
    return true;
}

bool BirdFile::DumpBlocks(BLOCK_TYPE type) const
{
    printf("BIRDFILE: BLOCK DUMP [%s]\n", path.c_str());
    for (const auto& block : FindBlocks(type)) {
        std::string printable;
        for (uint32_t i = 0; i < block.length; ++i) {
            if (i % 50 == 0) {
                printf(" %s\r\n%06d: ", printable.c_str(), static_cast<int>(i));
                printable.clear();
            }
            uint8_t byte = block.data[i];
            printf("%02X ", byte);
            printable += isprint(byte) ? static_cast<char>(byte) : ' ';
        }
        printf(" %s\n", printable.c_str());
    }
    printf("\n");
    return true;
}

bool BirdFile::ValidateData(const uint8_t* pattern, uint32_t count) const
{
    Log::log(DEBUG_BirdFile, "BIRDFILE: looking for data pattern in [%s]\n", path.c_str());
    bool found = false;
    for (const auto& block : blocks) {
        if (!pattern || count == 0 || block.type != BLOCK_FIRMWARE || count >= block.length)
            continue;
        for (uint32_t i = 0; i < block.length - count; ++i) {
            if (memcmp(block.data + i, pattern, count) == 0) {
                Log::log(DEBUG_BirdFile, "Found data at %d\n", static_cast<int>(i));
                found = true;
            }
        }
    }
    Log::log(DEBUG_BirdFile, "\n");
    return found;
}

bool BirdFile::ReplaceVectorChecksum()
{
    for (const auto& block : blocks) {
        if (block.type != BLOCK_FIRMWARE || block.address != 0 || block.length < kAddressSize + 32)
            continue;
        uint8_t* image = Image(block);
        uint32_t sum = 0;
        for (int word : {0, 1, 2, 3, 4, 6})
            sum += sLittle32(image + 4 * word);
        uint32_t value = ~sum + 1;
        Log::log(DEBUG_BirdFile, "BIRDFILE: updating vector checksum from %08X ==> %08X\n", sLittle32(image + 28),
                 value);
        sPutLittle32(image + 28, value);
    }
    return true;
}
