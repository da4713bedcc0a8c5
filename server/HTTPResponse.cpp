#include "server/HTTPResponse.h"

#include <utility>

HTTPResponse::HTTPResponse(std::string requestUrl) : request(std::move(requestUrl)) {}

const char* HTTPResponse::get_request() const
{
    return request.c_str();
}

long HTTPResponse::get_status() const
{
    return status;
}

char* HTTPResponse::get_response()
{
    return response.data();
}

size_t HTTPResponse::get_size() const
{
    return response.size();
}

void HTTPResponse::set_status(long value)
{
    status = value;
}

void HTTPResponse::process(const char* data, size_t length)
{
    response.append(data, length);
}
