#include "server/ReplyLines.h"

std::vector<std::string_view> SplitReplyLines(std::string_view body)
{
    std::vector<std::string_view> lines;
    while (!body.empty()) {
        size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        if (!line.empty())
            lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        body.remove_prefix(end + 1);
    }
    return lines;
}

std::string_view TrimLineEnd(std::string_view text)
{
    size_t end = text.find_last_not_of("\r\n \t");
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}
