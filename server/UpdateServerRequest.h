#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "server/HTTPRequest.h"

/* The update server's six requests. Every operation returns false when the server
 * cannot be reached, times out, answers a status other than 200, or its first reply
 * line does not begin with "ok"; the reason goes to the debug log (DEBUG_ServerComm).
 * A null `serverAddress` means DEFAULT_SERVER. Each call blocks for one GET, bounded
 * by `options` (connect time-out and stall limit, no total limit). */
class UpdateServerRequest {
public:
    static constexpr const char* DEFAULT_SERVER = "http://update.quorvel.example/cgi/u";

    /* op=hi: true when the server answers "ok". */
    static bool ping(const char* serverAddress, const HTTPOptions& options = {});

    /* op=qu: on success sets `build` to reply line 2 (as sent, a CR included) and
     * `firmware` to line 3 cut at CR or LF, each only when present. */
    static bool QueryBuild(uint32_t serial, std::string& build, std::string& firmware, const char* serverAddress,
                           const HTTPOptions& options = {});

    /* op=bird: on success clears `birdText` and sets it to reply line 2 without its line
     * end, ready for base64_decode. `firmware` and `build` are sent unchanged as fw= and
     * bld=; `noCal` as no_cal=true or false. */
    static bool GetBuild(uint32_t serial, const char* firmware, const char* build, std::string& birdText,
                         const char* serverAddress, bool noCal, const HTTPOptions& options = {});

    /* op=builds: clears `builds`, then on success adds one entry per reply line of 3 or
     * more characters: build text -> version text (split at ";", CR, LF; the first line
     * for a build wins; the version is empty when missing). */
    static bool GetBuildList(uint32_t serial, std::map<std::string, std::string>& builds, const char* serverAddress,
                             const HTTPOptions& options = {});

    /* op=fix for the four words at `fingerprint`: on success stores line 2 (hexadecimal)
     * in *serial and line 3 (C notation: 0x hex, leading 0 octal, else decimal) in
     * *build, each only when present. */
    static bool GetRecoveryInfo(const uint32_t* fingerprint, uint32_t* serial, uint32_t* build,
                                const char* serverAddress, const HTTPOptions& options = {});

    /* op=ent_jwt: true and `token` set only when line 2 has three "."-separated parts
     * of at least 2 characters each (split at the first two "."). */
    static bool GetDeviceJWT(uint32_t serial, std::string& token, const char* serverAddress,
                             const HTTPOptions& options = {});

    /* The entries ordered newest version first; an entry whose version is not three
     * decimal numbers comes after all the others. Each number counts by its low 8 bits.
     * Entries of equal rank keep their map order. */
    static std::vector<std::pair<std::string, std::string>>
    SortBuildsByVersion(const std::map<std::string, std::string>& builds);

    /* `version` split at every "."; the empty list unless there are exactly three parts. */
    static std::vector<std::string> SplitCindervexVersion(const std::string& version);
};
