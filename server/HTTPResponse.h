#pragma once
#include <string>

/* The outcome of one GET: the URL requested, the HTTP status and the body. */
class HTTPResponse {
public:
    /* An empty response for `request` (the full URL); status 0 until the transfer ends. */
    explicit HTTPResponse(std::string request = {});

    /* The full URL that was requested, query string included. */
    const char* get_request() const;
    /* The HTTP status code; 0 until the transfer completed. */
    long get_status() const;
    /* The body, zero-terminated; writable so that a parser may split it in place. */
    char* get_response();
    /* Number of body bytes (the body may hold zero bytes of its own). */
    size_t get_size() const;
    /* Records the HTTP status once the transfer completed. */
    void set_status(long status);
    /* Appends `length` bytes of `data` to the body. */
    void process(const char* data, size_t length);

private:
    std::string request;
    long status = 0;
    std::string response;
};
