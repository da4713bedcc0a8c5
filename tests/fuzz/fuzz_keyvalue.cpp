// The attributes reader on arbitrary file contents, then a save and a re-read, which must
// give the same entries (the written form is the read form's fixed point), except keys
// that begin with "#": read after leading blanks, they come back as comments.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "store/KeyValueStore.h"

namespace {

/* Scratch files, removed when the fuzzer exits. */
struct Scratch {
    // tmpfs where there is one: the saves flush to disk, which is slow elsewhere.
    std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fuzz_keyvalue." +
                       std::to_string(getpid());
    std::string saved = path + ".saved";
    ~Scratch()
    {
        unlink(path.c_str());
        unlink(saved.c_str());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Scratch scratch;
    const std::string& path = scratch.path;
    const std::string& saved = scratch.saved;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    KeyValueStore kv;
    kv.Load(path.c_str());
    kv.GetInt("LATEST_DOWNLOAD", 0);
    kv.GetHex("SERIAL", 0);
    kv.GetDouble("D", 0);
    kv.GetString("LATEST_TRANSFER", nullptr);
    if (kv.Save(saved.c_str()) != qErrNone)
        return 0;
    KeyValueStore again;
    again.Load(saved.c_str());
    auto expected = kv.Entries();
    std::erase_if(expected, [](const auto& entry) { return entry.first[0] == '#'; });
    if (again.Entries() != expected)
        abort();
    return 0;
}
