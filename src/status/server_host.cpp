#include "status/server_host.h"

#include <cctype>

namespace {

constexpr std::size_t kAddressParts = 4;
constexpr unsigned kHighestPart = 255;

bool IsDigits(std::string_view text, int (*isDigit)(int)) {
    for (char c : text)
        if (!isDigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A part that a resolver reads as a number in some base: decimal, octal
// after a leading 0, or hexadecimal after 0x (even with no digit after it).
bool IsNumberInAnyBase(std::string_view part) {
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X'))
        return IsDigits(part.substr(2), isxdigit);
    return !part.empty() && IsDigits(part, isdigit);
}

// A part of the canonical form: 0 to 255 in decimal, without a leading zero.
bool ReadDecimalPart(std::string_view part, unsigned char& value) {
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0') || !IsDigits(part, isdigit))
        return false;
    unsigned number = 0;
    for (char c : part) number = number * 10 + static_cast<unsigned>(c - '0');
    if (number > kHighestPart) return false;
    value = static_cast<unsigned char>(number);
    return true;
}

}  // namespace

ServerHost ReadServerHost(std::string_view host) {
    ServerHost read;
    std::string_view numbers = host;
    if (!numbers.empty() && numbers.back() == '.') numbers.remove_suffix(1);
    if (numbers.empty()) return read;
    std::size_t count = 0;
    bool canonical = numbers.size() == host.size();
    for (std::size_t start = 0;; ++count) {
        const std::size_t dot = numbers.find('.', start);
        const std::string_view part = numbers.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (!IsNumberInAnyBase(part)) return read;
        if (count >= kAddressParts || !ReadDecimalPart(part, read.address[count])) canonical = false;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    read.form =
        canonical && count + 1 == kAddressParts ? ServerHost::Form::Address : ServerHost::Form::OtherAddressForm;
    if (read.form != ServerHost::Form::Address) read.address = {};
    return read;
}
