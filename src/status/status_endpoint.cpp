#include "platform/wide_string.h"
#include "status/status_endpoint.h"

#include <string_view>

#include "status/report_text.h"
#include "stdsoap2.h"

namespace {

constexpr std::size_t kLongestPort = 5;
constexpr unsigned long kHighestPort = 65535;
constexpr std::string_view kPath = "/VeltraneWS/veltwua";

// The runtime copies the endpoint into a buffer of its own, cutting it there.
constexpr std::size_t kLongestEndpoint = sizeof(soap::endpoint) - 1;

// Whether a byte of the narrow host ends the host in the runtime's reading of
// the endpoint, or changes the request line, the Host header or the server.
bool EndsHost(char byte) {
    const unsigned char c = static_cast<unsigned char>(byte);
    return c <= 0x20 || c == 0x7F || std::string_view("/\\?#@:").find(byte) != std::string_view::npos;
}

// The host in the thread's ANSI code page, when it converts there and back
// unchanged: a character the code page lacks would become "?" or a look-alike.
std::optional<std::string> NarrowHost(const WCHAR* host) {
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, host, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, host, -1, narrow.data(), size, nullptr, nullptr) != size)
        return std::nullopt;
    const int wideSize = MultiByteToWideChar(CP_THREAD_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    if (wideSize <= 0) return std::nullopt;
    WideString back(static_cast<std::size_t>(wideSize), 0);
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, narrow.c_str(), -1, back.data(), wideSize) != wideSize ||
        back.compare(0, back.size() - 1, host) != 0)
        return std::nullopt;
    narrow.pop_back();
    return narrow;
}

}  // namespace

bool IsStatusPort(const WCHAR* port) {
    if (!port) return false;
    unsigned long value = 0;
    std::size_t length = 0;
    for (; port[length]; ++length) {
        if (length == kLongestPort || port[length] < '0' || port[length] > '9') return false;
        value = value * 10 + static_cast<unsigned long>(port[length] - '0');
    }
    return length > 0 && value >= 1 && value <= kHighestPort;
}

std::optional<std::string> MakeStatusEndpoint(const WCHAR* host, const WCHAR* port, bool useTls) {
    if (!host || !IsStatusPort(port) || !IsSendableEndpointPart(host)) return std::nullopt;
    const std::optional<std::string> narrowHost = NarrowHost(host);
    if (!narrowHost) return std::nullopt;
    for (char byte : *narrowHost)
        if (EndsHost(byte)) return std::nullopt;
    std::string endpoint = useTls ? "https://" : "http://";
    endpoint += *narrowHost;
    endpoint += ':';
    for (std::size_t i = 0; port[i]; ++i) endpoint += static_cast<char>(port[i]);
    endpoint += kPath;
    if (endpoint.size() > kLongestEndpoint) return std::nullopt;
    return endpoint;
}
