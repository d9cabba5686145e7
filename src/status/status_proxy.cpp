#include "status_proxy.h"

#include <cstring>

#include "acknowledgement.h"

// The runtime's global namespace table; this is the one source that holds it.
#include "veltwuaPortBindingGenerated.nsmap"

veltwuaPortBindingProxy::veltwuaPortBindingProxy(const char* userId, const char* password)
    // Strings are read as the UTF-8 they are, a reply's fault text included;
    // without this the runtime would keep only the low byte of each character
    // beyond U+00FF. It is an input mode: what the proxy sends is the same.
    : veltwuaPortBindingGeneratedProxy(static_cast<soap_mode>(SOAP_C_UTFSTRING), static_cast<soap_mode>(0)),
      userId_(userId),
      password_(password) {
    ApplyCredentials();
    InstallAcknowledgementReading(this);
}

veltwuaPortBindingProxy::~veltwuaPortBindingProxy() = default;

void veltwuaPortBindingProxy::BeginAttempt() {
    ApplyCredentials();
    StartAttemptClock(this);
}

void veltwuaPortBindingProxy::ApplyCredentials() {
    // The runtime's header buffer holds the Basic credentials only while the
    // two together stay below 761 bytes; longer ones are not sent at all
    // rather than sent cut.
    constexpr std::size_t kLongestCredentials = 760;
    bool fits = userId_ && password_ && std::strlen(userId_) + std::strlen(password_) <= kLongestCredentials;
    userid = fits ? userId_ : nullptr;
    passwd = fits ? password_ : nullptr;
}

template <typename Send, typename Receive>
int veltwuaPortBindingProxy::Call(Send send, Receive receive) {
    // A server may close a kept connection while it is idle, at the moment
    // the next request goes out: the request then goes again, once, on a new
    // connection.
    for (bool again = false;; again = true) {
        BeginAttempt();
        int rc = send();
        if (rc == SOAP_OK) {
            rc = receive();
        } else if (soap_valid_socket(socket)) {
            // A request that was not sent whole leaves nothing to reuse.
            CloseConnection(this);
        }
        if (rc == SOAP_OK || again || !FailedOnClosedKeptConnection(this)) return rc;
    }
}

int veltwuaPortBindingProxy::InsertReboot(const char* endpoint, const char* action, ns1__InsertReboot* request) {
    return Call([&] { return send_InsertReboot(endpoint, action, request); },
                [this] { return recv_InsertReboot_empty_response(); });
}

int veltwuaPortBindingProxy::InsertDeployStatus(const char* endpoint, const char* action,
                                                ns1__InsertDeployStatus* request) {
    return Call([&] { return send_InsertDeployStatus(endpoint, action, request); },
                [this] { return recv_InsertDeployStatus_empty_response(); });
}

int veltwuaPortBindingProxy::UpdateDeployJobStatus(const char* endpoint, const char* action,
                                                   ns1__UpdateDeployJobStatus* request) {
    return Call([&] { return send_UpdateDeployJobStatus(endpoint, action, request); },
                [this] { return recv_UpdateDeployJobStatus_empty_response(); });
}

int veltwuaPortBindingProxy::recv_InsertReboot_empty_response() {
    return ReceiveAcknowledgement(this);
}

int veltwuaPortBindingProxy::recv_InsertDeployStatus_empty_response() {
    return ReceiveAcknowledgement(this);
}

int veltwuaPortBindingProxy::recv_UpdateDeployJobStatus_empty_response() {
    return ReceiveAcknowledgement(this);
}
