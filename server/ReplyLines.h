#pragma once
#include <string_view>
#include <vector>

/* Splits a server reply body at LF into its non-empty lines. The views point into
 * `body` and keep any CR that ended a line. */
std::vector<std::string_view> SplitReplyLines(std::string_view body);

/* `text` without its trailing CR, LF, blanks and tabs. */
std::string_view TrimLineEnd(std::string_view text);
