#include "server/HTTPRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "app/Log.h"

namespace {

struct Transfer {
    HTTPResponse* response;
    size_t maxBodyBytes;
    bool tooLarge;
};

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

size_t _rcv_data(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    size_t length = size * count;
    int shown = static_cast<int>(std::min<size_t>(length, 100));
    Log::log(DEBUG_ServerComm, "rcv_data called (..., %d, %d, %08X) [%100.*s]\n", static_cast<int>(size),
             static_cast<int>(count), static_cast<unsigned>(reinterpret_cast<uintptr_t>(transfer->response)),
             shown, data);
    if (length > transfer->maxBodyBytes - std::min(transfer->maxBodyBytes, transfer->response->get_size())) {
        transfer->tooLarge = true;
        return 0;  // makes libcurl stop with a write error
    }
    transfer->response->process(data, length);
    Log::log(DEBUG_ServerComm, "rcv_data returns %d\n", static_cast<int>(length));
    return length;
}

void sCheck(CURLcode code)
{
    if (code != CURLE_OK)
        throw std::runtime_error(curl_easy_strerror(code));
}

} // namespace

std::string HTTPRequest::BuildURL(const char* url, const std::map<std::string, std::string>& parameters)
{
    std::string full = url ? url : "";
    if (!parameters.empty())
        full += "?";
    for (const auto& [name, value] : parameters)
        full += name + "=" + value + "&";
    return full;
}

HTTPResponse HTTPRequest::GET(const char* url, const std::map<std::string, std::string>& parameters,
                              const HTTPOptions& options)
{
    HTTPResponse response(BuildURL(url, parameters));
    std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
    if (!handle)
        throw std::runtime_error("Could not create curl instance");
    Transfer transfer{&response, options.maxBodyBytes, false};
    CURL* h = handle.get();
    sCheck(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, _rcv_data));
    sCheck(curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer));
    sCheck(curl_easy_setopt(h, CURLOPT_URL, response.get_request()));
    sCheck(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
    // A forged server could hand out firmware: always check who answers.
    sCheck(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L));
    sCheck(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L));
    sCheck(curl_easy_setopt(h, CURLOPT_SSL_VERIFYSTATUS, 0L));
    if (options.caFile)
        sCheck(curl_easy_setopt(h, CURLOPT_CAINFO, options.caFile));
    // Requests run on worker threads: no signals for name-resolution time-outs.
    sCheck(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
    sCheck(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds));
    sCheck(curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L));
    sCheck(curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, options.stallSeconds));
    Log::log(DEBUG_ServerComm, "GET(%s)\n", response.get_request());
    CURLcode code = curl_easy_perform(h);
    if (transfer.tooLarge)
        throw std::runtime_error("Reply larger than " + std::to_string(options.maxBodyBytes) + " bytes");
    sCheck(code);
    long status = 0;
    sCheck(curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status));
    response.set_status(status);
    return response;
}
