#include "server/UpdateServerReply.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "app/Log.h"
#include "server/ReplyLines.h"

namespace {

using Lines = std::vector<std::string_view>;

int sShown(std::string_view view, size_t limit)
{
    return static_cast<int>(std::min(view.size(), limit));
}

Lines sLines(HTTPResponse& response)
{
    return SplitReplyLines(std::string_view(response.get_response(), response.get_size()));
}

/* Splits `line` at any of `separators`, dropping empty pieces. */
Lines sTokens(std::string_view line, std::string_view separators)
{
    Lines tokens;
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

} // namespace

bool UpdateServerReply::Succeeded(const char* operation, HTTPResponse& response)
{
    if (response.get_status() != 200) {
        if (std::string_view(operation) == "ping")
            Log::log(DEBUG_ServerComm, "PING ==> [%d] [%s]\n", static_cast<int>(response.get_status()),
                     response.get_response());
        else
            Log::log(DEBUG_ServerComm, "%s ==> [%d] [%s]\n", operation, static_cast<int>(response.get_status()),
                     response.get_response());
        return false;
    }
    Lines lines = sLines(response);
    if (lines.empty() || !lines[0].starts_with("ok")) {
        Log::log(DEBUG_ServerComm, "ServerCommClass: %s failed [%s]\n", operation, response.get_request());
        return false;
    }
    return true;
}

bool UpdateServerReply::QueryBuild(HTTPResponse& response, std::string& build, std::string& firmware)
{
    if (!Succeeded("QueryBuild", response))
        return false;
    Lines lines = sLines(response);
    if (lines.size() > 1)
        build = std::string(lines[1]);
    if (lines.size() > 2)
        firmware = std::string(lines[2].substr(0, lines[2].find_first_of("\r\n")));
    return true;
}

bool UpdateServerReply::GetBuild(HTTPResponse& response, std::string& birdText)
{
    if (!Succeeded("GetBuild", response))
        return false;
    Lines lines = sLines(response);
    birdText.clear();
    // A CR left on the line would make the base64 length wrong.
    if (lines.size() > 1)
        birdText = std::string(TrimLineEnd(lines[1]));
    return true;
}

bool UpdateServerReply::GetBuildList(HTTPResponse& response, std::map<std::string, std::string>& builds)
{
    builds.clear();
    if (!Succeeded("GetBuildList", response))
        return false;
    Lines lines = sLines(response);
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].size() < 3)
            continue;
        Log::log(DEBUG_ServerComm, "%s processing entry: [%.*s]\n", "GetBuildList", sShown(lines[i], 1024),
                 lines[i].data());
        Lines parts = sTokens(lines[i], ";\r\n");
        if (parts.empty())
            continue;
        std::string key(parts[0]);
        std::string value = parts.size() > 1 ? std::string(parts[1]) : std::string();
        if (builds.emplace(key, value).second)
            Log::log(DEBUG_ServerComm, "%s [%.10s][%.10s]\n", "GetBuildList", key.c_str(), value.c_str());
    }
    return true;
}

bool UpdateServerReply::GetRecoveryInfo(HTTPResponse& response, uint32_t* serial, uint32_t* build)
{
    if (!Succeeded("GetRecoveryInfo", response))
        return false;
    Lines lines = sLines(response);
    std::string_view second = lines.size() > 1 ? lines[1] : std::string_view("");
    std::string_view third = lines.size() > 2 ? lines[2] : std::string_view("");
    Log::log(DEBUG_ServerComm, "%s [%.*s][%.*s][%.*s]\n", "GetRecoveryInfo", sShown(lines[0], 20), lines[0].data(),
             sShown(second, 20), second.data(), sShown(third, 20), third.data());
    if (lines.size() > 1 && serial)
        *serial = static_cast<uint32_t>(strtoul(std::string(second).c_str(), nullptr, 16));
    if (lines.size() > 2 && build)
        *build = static_cast<uint32_t>(strtoul(std::string(third).c_str(), nullptr, 0));
    return true;
}

bool UpdateServerReply::GetDeviceJWT(HTTPResponse& response, std::string& token)
{
    if (!Succeeded("GetDeviceJWT", response))
        return false;
    Lines lines = sLines(response);
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
    token = std::string(header) + "." + std::string(body) + "." + std::string(signature);
    return true;
}
