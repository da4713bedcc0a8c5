#include "server/UpdateServerRequest.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "app/Log.h"
#include "server/UpdateServerReply.h"

namespace {

using Params = std::map<std::string, std::string>;

std::string sSerialText(uint32_t serial)
{
    char text[9];
    snprintf(text, sizeof text, "%08X", serial);
    return text;
}

/* One GET; false (logged) when the transfer itself fails. */
bool sFetch(const char* op, const char* serverAddress, const Params& params, const HTTPOptions& options,
            HTTPResponse& response)
{
    try {
        response = HTTPRequest::GET(serverAddress ? serverAddress : UpdateServerRequest::DEFAULT_SERVER, params,
                                    options);
        return true;
    } catch (const std::runtime_error& e) {
        Log::log(DEBUG_ServerComm, "%s ==> [%s]\n", op, e.what());
        return false;
    }
}

std::optional<int> sDecimal(const std::string& text)
{
    char* end = nullptr;
    long value = text.empty() ? 0 : strtol(text.c_str(), &end, 10);
    if (text.empty() || end == text.c_str() || value < INT32_MIN || value > INT32_MAX) {
        Log::log(DEBUG_ServerComm, "%s: Exception converting version: %s\n", "_sortVersion", text.c_str());
        return std::nullopt;
    }
    return static_cast<int>(value);
}

/* A version's rank: major, minor and patch by their low 8 bits, packed. */
std::optional<uint32_t> sVersionRank(const std::string& version)
{
    auto parts = UpdateServerRequest::SplitCindervexVersion(version);
    if (parts.size() != 3)
        return std::nullopt;
    uint32_t rank = 0;
    for (const auto& part : parts) {
        auto value = sDecimal(part);
        if (!value)
            return std::nullopt;
        rank = (rank << 8) | (static_cast<uint32_t>(*value) & 0xFF);
    }
    return rank;
}

} // namespace

bool UpdateServerRequest::ping(const char* serverAddress, const HTTPOptions& options)
{
    HTTPResponse response;
    return sFetch("ping", serverAddress, {{"op", "hi"}, {"rv", "2"}}, options, response) &&
           UpdateServerReply::Succeeded("ping", response);
}

bool UpdateServerRequest::QueryBuild(uint32_t serial, std::string& build, std::string& firmware,
                                     const char* serverAddress, const HTTPOptions& options)
{
    HTTPResponse response;
    return sFetch("QueryBuild", serverAddress, {{"op", "qu"}, {"sn", sSerialText(serial)}}, options, response) &&
           UpdateServerReply::QueryBuild(response, build, firmware);
}

bool UpdateServerRequest::GetBuild(uint32_t serial, const char* firmware, const char* build, std::string& birdText,
                                   const char* serverAddress, bool noCal, const HTTPOptions& options)
{
    Params params{{"bld", build ? build : ""},
                  {"fw", firmware ? firmware : ""},
                  {"no_cal", noCal ? "true" : "false"},
                  {"op", "bird"},
                  {"sn", sSerialText(serial)}};
    HTTPResponse response;
    return sFetch("GetBuild", serverAddress, params, options, response) &&
           UpdateServerReply::GetBuild(response, birdText);
}

bool UpdateServerRequest::GetBuildList(uint32_t serial, std::map<std::string, std::string>& builds,
                                       const char* serverAddress, const HTTPOptions& options)
{
    builds.clear();
    HTTPResponse response;
    return sFetch("GetBuildList", serverAddress, {{"op", "builds"}, {"sn", sSerialText(serial)}}, options,
                  response) &&
           UpdateServerReply::GetBuildList(response, builds);
}

bool UpdateServerRequest::GetRecoveryInfo(const uint32_t* fingerprint, uint32_t* serial, uint32_t* build,
                                          const char* serverAddress, const HTTPOptions& options)
{
    if (!fingerprint)
        return false;
    char fp[64];
    snprintf(fp, sizeof fp, "%08X%%20%08X%%20%08X%%20%08X", fingerprint[0], fingerprint[1], fingerprint[2],
             fingerprint[3]);
    HTTPResponse response;
    return sFetch("GetRecoveryInfo", serverAddress, {{"brief", "true"}, {"fp", fp}, {"op", "fix"}}, options,
                  response) &&
           UpdateServerReply::GetRecoveryInfo(response, serial, build);
}

bool UpdateServerRequest::GetDeviceJWT(uint32_t serial, std::string& token, const char* serverAddress,
                                       const HTTPOptions& options)
{
    HTTPResponse response;
    return sFetch("GetDeviceJWT", serverAddress, {{"json", "false"}, {"op", "ent_jwt"}, {"sn", sSerialText(serial)}},
                  options, response) &&
           UpdateServerReply::GetDeviceJWT(response, token);
}

std::vector<std::string> UpdateServerRequest::SplitCindervexVersion(const std::string& version)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
        size_t end = version.find('.', pos);
        parts.push_back(version.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    if (parts.size() != 3)
        parts.clear();
    return parts;
}

std::vector<std::pair<std::string, std::string>>
UpdateServerRequest::SortBuildsByVersion(const std::map<std::string, std::string>& builds)
{
    struct Ranked {
        std::optional<uint32_t> rank;
        std::pair<std::string, std::string> entry;
    };
    std::vector<Ranked> ranked;
    for (const auto& entry : builds)
        ranked.push_back({sVersionRank(entry.second), entry});
    // Rank once per entry, then a strict weak order: newer first, unparsable last.
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (!a.rank || !b.rank)
            return a.rank.has_value() && !b.rank.has_value();
        return *a.rank > *b.rank;
    });
    std::vector<std::pair<std::string, std::string>> sorted;
    for (auto& r : ranked)
        sorted.push_back(std::move(r.entry));
    return sorted;
}
