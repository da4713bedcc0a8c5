// Feeds the bird-file loader either raw file bytes or, far more often, a payload that is
// wrapped in a valid header and zlib stream so that the block parser sees every shape.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/BirdFile.h"

namespace {

/* A scratch file, removed when the fuzzer exits. */
struct Scratch {
    // tmpfs where there is one: the saves flush to disk, which is slow elsewhere.
    std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fuzz_birdfile." +
                       std::to_string(getpid());
    ~Scratch() { unlink(path.c_str()); }
};

std::string sPath()
{
    static const Scratch scratch;
    return scratch.path;
}

std::vector<uint8_t> sWrap(const uint8_t* data, size_t size)
{
    uLongf bound = compressBound(size);
    std::vector<uint8_t> out{'b', 'i', 'r', 'd', 1, 1};
    out.resize(6 + bound);
    if (compress2(out.data() + 6, &bound, data, size, 1) != Z_OK)
        return {};
    out.resize(6 + bound);
    return out;
}

void sExercise(BirdFile& file)
{
    file.GetBuild();
    file.GetVersion();
    file.GetSerialNumber();
    file.ValidateModel("Gorlin");
    file.FindBlocks(BLOCK_LOADER_START);
    file.ReplaceSerialNumber(0x0001A2B3);
    const uint32_t key[4] = {1, 2, 3, 4};
    file.DecodeFirmwareBlocks(key);
    file.ReplaceVectorChecksum();
    const uint8_t pattern[2] = {0xB3, 0xA2};
    file.ValidateData(pattern, sizeof pattern);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    bool raw = data[0] == 'R';
    std::vector<uint8_t> bytes = raw ? std::vector<uint8_t>(data + 1, data + size) : sWrap(data + 1, size - 1);
    FILE* f = fopen(sPath().c_str(), "wb");
    if (!f)
        return 0;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    BirdFile::VerifyFile(sPath().c_str());
    try {
        BirdFile file(sPath().c_str());
        sExercise(file);
        BirdFile moved = std::move(file);
        moved.GetBuild();
    } catch (const std::runtime_error&) {
    }
    return 0;
}
