#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>

// Debug log packages: a line is written only when its package bit was activated (-X).
enum LogPackage : uint32_t {
    DEBUG_Updater = 0x00000001,
    DEBUG_History = 0x00000002,
    DEBUG_Attributes = 0x00000004,
    DEBUG_BirdFile = 0x00000008,
    DEBUG_Network_0x10 = 0x00000010,
    DEBUG_ServerComm = 0x00000020,
    DEBUG_Network = 0x00000100,
    DEBUG_Network_SR = 0x00000200,
    DEBUG_Network_FIRM = 0x00000400,
    DEBUG_NXPSerial = 0x00001000,
    DEBUG_NXPSerial_E = 0x00002000,
    DEBUG_NXPSerial_SR = 0x00004000,
    DEBUG_APP = 0x00010000,
    DEBUG_iMXSerial = 0x10000000,
};

// The package-masked debug log. Package 0 is always written while an output is set.
// The mask and the output are set while the command line is read; any thread may log.
class Log {
public:
    /* Formats into 2048 bytes (cut to 2047) and writes the text as is, in one write,
     * when `package` is 0 or activated and an output is set. Callers add "\n". */
    static void log(uint32_t package, const char* format, ...) __attribute__((format(printf, 2, 3)));
    /* Sets the destination of log lines; null drops them. The file stays the caller's. */
    static void SetOutput(FILE* file);
    /* Writes the lines of every package in `bits` from now on. */
    static void ActivatePackage(uint32_t bits);
    /* Stops writing the lines of the packages in `bits`. */
    static void DeactivatePackage(uint32_t bits);

private:
    static std::atomic<uint32_t> package_bitmask;
    static std::atomic<FILE*> fh;
};
