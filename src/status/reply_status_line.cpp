#include "status/reply_status_line.h"

#include <string_view>

bool IsHttpStatusLine(const char* line) {
    const std::string_view text = line;
    constexpr std::string_view kVersions[] = {"HTTP/1.0 ", "HTTP/1.1 "};
    constexpr std::size_t kVersionLength = kVersions[0].size();
    constexpr std::size_t kStatusDigits = 3;
    const std::string_view version = text.substr(0, kVersionLength);
    if (version != kVersions[0] && version != kVersions[1]) return false;
    const std::string_view status = text.substr(kVersionLength, kStatusDigits);
    if (status.size() != kStatusDigits || status.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    return text.size() == kVersionLength + kStatusDigits || text[kVersionLength + kStatusDigits] == ' ';
}
