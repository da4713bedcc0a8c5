#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "server/HTTPResponse.h"

/* Parsers of the update server's replies, apart from the transfer. Each checks the
 * status (200) and the first line ("ok" prefix), logs a failure under DEBUG_ServerComm
 * with the operation's name, and then reads the result lines. Outputs are changed only
 * as described; no parser reads outside the body. */
namespace UpdateServerReply {

/* Status 200 and a first line beginning with "ok". */
bool Succeeded(const char* operation, HTTPResponse& response);

/* Line 2 into `build` as sent, line 3 cut at CR or LF into `firmware`, each when present. */
bool QueryBuild(HTTPResponse& response, std::string& build, std::string& firmware);

/* `birdText` cleared, then line 2 without its line end when present. */
bool GetBuild(HTTPResponse& response, std::string& birdText);

/* `builds` cleared, then one entry per line of 3 or more characters; first value wins. */
bool GetBuildList(HTTPResponse& response, std::map<std::string, std::string>& builds);

/* Line 2 as hexadecimal into *serial, line 3 in C notation into *build, when present. */
bool GetRecoveryInfo(HTTPResponse& response, uint32_t* serial, uint32_t* build);

/* True and `token` set only for a line 2 of three "."-separated parts of 2+ characters. */
bool GetDeviceJWT(HTTPResponse& response, std::string& token);

} // namespace UpdateServerReply
