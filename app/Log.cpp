#include "app/Log.h"

#include <cstdarg>

std::atomic<uint32_t> Log::package_bitmask{0};
std::atomic<FILE*> Log::fh{nullptr};

void Log::log(uint32_t package, const char* format, ...)
{
    if (package != 0 && (package & package_bitmask.load()) == 0)
        return;
    FILE* out = fh.load();
    if (!out)
        return;
    char text[2048];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) >= sizeof text)
        length = sizeof text - 1;
    // One call per line: fwrite holds the stream lock, so a worker thread's line never
    // interleaves with the main thread's.
    fwrite(text, 1, static_cast<size_t>(length), out);
    fflush(out);
}

void Log::SetOutput(FILE* file)
{
    fh.store(file);
}

void Log::ActivatePackage(uint32_t bits)
{
    package_bitmask.fetch_or(bits);
}

void Log::DeactivatePackage(uint32_t bits)
{
    package_bitmask.fetch_and(~bits);
}
