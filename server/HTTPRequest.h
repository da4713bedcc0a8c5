#pragma once
#include <cstddef>
#include <map>
#include <string>

#include "server/HTTPResponse.h"

/* Limits of one transfer. There is no total time-out: a bird file may be large, so a
 * transfer is stopped only when it cannot connect or stops moving. */
struct HTTPOptions {
    long connectTimeoutSeconds = 15;
    /* The transfer fails when fewer than 1 byte per second arrive for this long. */
    long stallSeconds = 30;
    /* A body larger than this fails the transfer. */
    size_t maxBodyBytes = 64u * 1024 * 1024;
    /* PEM file of trusted certificate authorities; null means the system's. */
    const char* caFile = nullptr;
};

/* One HTTP(S) GET over libcurl's easy interface. curl_global_init must have run once
 * in the process before the first call (libcurl's rule for threaded programs). */
class HTTPRequest {
public:
    /* Builds "url?name=value&..." from `parameters` (ascending name order, each followed
     * by "&", values inserted unchanged; no "?" when there are none) and fetches it on a
     * fresh handle. Certificates and host names are verified over https. Blocks until
     * the reply is complete or a limit of `options` is hit.
     * Returns the response; an HTTP status other than 200 is not an error.
     * Throws std::runtime_error with libcurl's text when the transfer fails (time-outs
     * included), "Could not create curl instance" when no handle can be made, and
     * "Reply larger than N bytes" when the body exceeds the cap. */
    static HTTPResponse GET(const char* url, const std::map<std::string, std::string>& parameters,
                            const HTTPOptions& options = {});

    /* The request URL GET builds from `url` and `parameters`. */
    static std::string BuildURL(const char* url, const std::map<std::string, std::string>& parameters);
};
