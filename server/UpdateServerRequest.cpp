#include "server/UpdateServerRequest.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "app/Log.h"
#include "server/ReplyLines.h"

namespace {

using Params = std::map<std::string, std::string>;

std::string sSerialText(uint32_t serial)
{
    char text[9];
    snprintf(text, sizeof text, "%08X", serial);
    return text;
}

std::string sText(std::string_view view)
{
    return std::string(view);
}

int sShown(std::string_view view, size_t limit)
{
    return static_cast<int>(std::min(view.size(), limit));
}

/* One request and the checks every operation shares. On true `lines` holds the reply's
 * non-empty lines (pointing into `response`), the first beginning with "ok". */
bool sAsk(const char* op, const char* serverAddress, const Params& params, const HTTPOptions& options,
          HTTPResponse& response, std::vector<std::string_view>& lines)
{
    try {
        response = HTTPRequest::GET(serverAddress ? serverAddress : UpdateServerRequest::DEFAULT_SERVER, params,
                                    options);
    } catch (const std::runtime_error& e) {
        Log::log(DEBUG_ServerComm, "%s ==> [%s]\n", op, e.what());
        return false;
    }
    if (response.get_status() != 200) {
        if (std::string_view(op) == "ping")
            Log::log(DEBUG_ServerComm, "PING ==> [%d] [%s]\n", static_cast<int>(response.get_status()),
                     response.get_response());
        else
            Log::log(DEBUG_ServerComm, "%s ==> [%d] [%s]\n", op, static_cast<int>(response.get_status()),
                     response.get_response());
        return false;
    }
    lines = SplitReplyLines(std::string_view(response.get_response(), response.get_size()));
    if (lines.empty() || !lines[0].starts_with("ok")) {
        Log::log(DEBUG_ServerComm, "ServerCommClass: %s failed [%s]\n", op, response.get_request());
        return false;
    }
    return true;
}

/* Splits `line` at any of `separators`, dropping empty pieces. */
std::vector<std::string_view> sTokens(std::string_view line, std::string_view separators)
{
    std::vector<std::string_view> tokens;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t end = line.find_first_of(separators, pos);
        if (end == std::string_view::npos)
            end = line.size();
        if (end > pos)
            tokens.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return tokens;
}

std::optional<int> sDecimal(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    long value = strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || value < INT32_MIN || value > INT32_MAX) {
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
    std::vector<std::string_view> lines;
    return sAsk("ping", serverAddress, {{"op", "hi"}, {"rv", "2"}}, options, response, lines);
}

bool UpdateServerRequest::QueryBuild(uint32_t serial, std::string& build, std::string& firmware,
                                     const char* serverAddress, const HTTPOptions& options)
{
    HTTPResponse response;
    std::vector<std::string_view> lines;
    if (!sAsk("QueryBuild", serverAddress, {{"op", "qu"}, {"sn", sSerialText(serial)}}, options, response, lines))
        return false;
    if (lines.size() > 1)
        build = sText(lines[1]);
    if (lines.size() > 2)
        firmware = sText(lines[2].substr(0, lines[2].find_first_of("\r\n")));
    return true;
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
    std::vector<std::string_view> lines;
    if (!sAsk("GetBuild", serverAddress, params, options, response, lines))
        return false;
    birdText.clear();
    // A CR left on the line would make the base64 length wrong.
    if (lines.size() > 1)
        birdText = sText(TrimLineEnd(lines[1]));
    return true;
}

bool UpdateServerRequest::GetBuildList(uint32_t serial, std::map<std::string, std::string>& builds,
                                       const char* serverAddress, const HTTPOptions& options)
{
    builds.clear();
    HTTPResponse response;
    std::vector<std::string_view> lines;
    if (!sAsk("GetBuildList", serverAddress, {{"op", "builds"}, {"sn", sSerialText(serial)}}, options, response,
              lines))
        return false;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].size() < 3)
            continue;
        Log::log(DEBUG_ServerComm, "%s processing entry: [%.*s]\n", "GetBuildList", sShown(lines[i], 1024),
                 lines[i].data());
        auto parts = sTokens(lines[i], ";\r\n");
        if (parts.empty())
            continue;
        std::string key = sText(parts[0]);
        std::string value = parts.size() > 1 ? sText(parts[1]) : std::string();
        if (builds.emplace(key, value).second)
            Log::log(DEBUG_ServerComm, "%s [%.10s][%.10s]\n", "GetBuildList", key.c_str(), value.c_str());
    }
    return true;
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
    std::vector<std::string_view> lines;
    if (!sAsk("GetRecoveryInfo", serverAddress, {{"brief", "true"}, {"fp", fp}, {"op", "fix"}}, options, response,
              lines))
        return false;
    std::string_view second = lines.size() > 1 ? lines[1] : std::string_view("");
    std::string_view third = lines.size() > 2 ? lines[2] : std::string_view("");
    Log::log(DEBUG_ServerComm, "%s [%.*s][%.*s][%.*s]\n", "GetRecoveryInfo", sShown(lines[0], 20), lines[0].data(),
             sShown(second, 20), second.data(), sShown(third, 20), third.data());
    if (lines.size() > 1 && serial)
        *serial = static_cast<uint32_t>(strtoul(sText(second).c_str(), nullptr, 16));
    if (lines.size() > 2 && build)
        *build = static_cast<uint32_t>(strtoul(sText(third).c_str(), nullptr, 0));
    return true;
}

bool UpdateServerRequest::GetDeviceJWT(uint32_t serial, std::string& token, const char* serverAddress,
                                       const HTTPOptions& options)
{
    HTTPResponse response;
    std::vector<std::string_view> lines;
    if (!sAsk("GetDeviceJWT", serverAddress, {{"json", "false"}, {"op", "ent_jwt"}, {"sn", sSerialText(serial)}},
              options, response, lines))
        return false;
    if (lines.size() < 2 || lines[1].size() <= 2)
        return false;
    std::string_view line = lines[1];
    Log::log(DEBUG_ServerComm, "%s processing entry: [%.*s]\n", "GetDeviceJWT", sShown(line, 1024), line.data());
    size_t first = line.find('.');
    size_t second = first == std::string_view::npos ? first : line.find('.', first + 1);
    if (second == std::string_view::npos)
        return false;
    std::string_view header = line.substr(0, first);
    std::string_view body = line.substr(first + 1, second - first - 1);
    std::string_view rest = line.substr(second + 1);
    std::string_view signature = rest.substr(0, rest.find_first_of("\r\n"));
    if (header.size() < 2 || body.size() < 2 || signature.size() < 2)
        return false;
    token = sText(header) + "." + sText(body) + "." + sText(signature);
    return true;
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
