#include "status/content_length.h"

#include <algorithm>
#include <string_view>

void ContentLengthFields::Clear() {
    length_.clear();
    invalid_ = false;
}

void ContentLengthFields::Note(const char* value, bool quoted) {
    const std::string_view digits = value;
    if (quoted || digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        invalid_ = true;
        return;
    }
    const std::size_t significant = std::min(digits.find_first_not_of('0'), digits.size() - 1);
    const std::string_view length = digits.substr(significant);
    if (length_.empty())
        length_ = length;
    else if (length_ != length)
        invalid_ = true;
}
