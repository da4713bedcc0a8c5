// Every reply parser on an arbitrary body with status 200.
#include <cstdint>
#include <map>
#include <string>

#include "server/UpdateServerReply.h"
#include "server/UpdateServerRequest.h"

namespace {

HTTPResponse sReply(const uint8_t* data, size_t size)
{
    HTTPResponse response("http://127.0.0.1/cgi/u?op=fuzz&");
    response.set_status(200);
    response.process(reinterpret_cast<const char*>(data), size);
    return response;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string a, b;
    std::map<std::string, std::string> builds;
    uint32_t serial = 0, build = 0;
    HTTPResponse r1 = sReply(data, size);
    UpdateServerReply::QueryBuild(r1, a, b);
    HTTPResponse r2 = sReply(data, size);
    UpdateServerReply::GetBuild(r2, a);
    HTTPResponse r3 = sReply(data, size);
    UpdateServerReply::GetBuildList(r3, builds);
    UpdateServerRequest::SortBuildsByVersion(builds);
    HTTPResponse r4 = sReply(data, size);
    UpdateServerReply::GetRecoveryInfo(r4, &serial, &build);
    HTTPResponse r5 = sReply(data, size);
    UpdateServerReply::GetDeviceJWT(r5, a);
    return 0;
}
