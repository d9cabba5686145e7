#include "status/status_settings.h"

#include "platform/platform.h"
#include "platform/test_seams.h"
#include "status/tls_client.h"

namespace {

constexpr int kConnectTimeoutSeconds = 120;

// The product's limit: a report attempt that sends or receives nothing for
// two minutes, or has not ended after two minutes, has failed, like one whose
// connection takes that long.
constexpr int kTransferLimitSeconds = 120;

const char* TextOf(const std::optional<std::string>& text) {
    return text ? text->c_str() : nullptr;
}

}  // namespace

int TransferLimitSeconds() {
    return Seams().transferLimitSeconds(kTransferLimitSeconds);
}

std::unique_ptr<veltwuaPortBindingProxy> MakeStatusProxy(const StatusSettings& settings) {
    auto proxy = std::make_unique<veltwuaPortBindingProxy>(TextOf(settings.userId), TextOf(settings.password));
    proxy->connect_timeout = kConnectTimeoutSeconds;
    // Without these limits a server that accepts and never answers would hold
    // the worker forever and the job would never be reported.
    proxy->send_timeout = TransferLimitSeconds();
    proxy->recv_timeout = TransferLimitSeconds();
    // A server that keeps sending and never finishes is bounded too: the
    // whole attempt's transfer gets the same limit.
    proxy->transfer_timeout = TransferLimitSeconds();
    proxy->soap_endpoint = TextOf(settings.endpoint);
    if (settings.useTls) SetUpTlsClient(proxy.get(), settings.trust);
    return proxy;
}
