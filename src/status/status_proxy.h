// The client of the management server's status web service.
#pragma once

#include "soapveltwuaPortBindingGeneratedProxy.h"

// The generated proxy with the HTTP Basic credentials it was made with: they
// go out on every request, retries included, and each one-way call succeeds
// only on the server's acknowledgement (see acknowledgement.h). Each call
// opens its own connection, unless KeepConnectionAlive(proxy) was called
// (acknowledgement.h): then consecutive calls to one endpoint share a
// connection while the server keeps it open, and a call whose request met
// the server's close of that connection goes again once on a new one.
class veltwuaPortBindingProxy : public veltwuaPortBindingGeneratedProxy {
public:
    // Output mode 0, input mode SOAP_C_UTFSTRING (strings read as UTF-8);
    // either credential may be null, and then no Authorization header is
    // sent. The strings are not copied: they must outlive the proxy.
    veltwuaPortBindingProxy(const char* userId, const char* password);
    ~veltwuaPortBindingProxy() override;

    veltwuaPortBindingProxy(const veltwuaPortBindingProxy&) = delete;
    veltwuaPortBindingProxy& operator=(const veltwuaPortBindingProxy&) = delete;

    using veltwuaPortBindingGeneratedProxy::InsertDeployStatus;
    using veltwuaPortBindingGeneratedProxy::InsertReboot;
    using veltwuaPortBindingGeneratedProxy::UpdateDeployJobStatus;

    int InsertReboot(const char* endpoint, const char* action, ns1__InsertReboot* request) override;
    int InsertDeployStatus(const char* endpoint, const char* action, ns1__InsertDeployStatus* request) override;
    int UpdateDeployJobStatus(const char* endpoint, const char* action, ns1__UpdateDeployJobStatus* request) override;

    int recv_InsertReboot_empty_response() override;
    int recv_InsertDeployStatus_empty_response() override;
    int recv_UpdateDeployJobStatus_empty_response() override;

private:
    // Before every send: the credentials back in place (the runtime forgets
    // them whenever it reads a reply or frees its per-call memory) and the
    // attempt's clock started.
    void BeginAttempt();
    void ApplyCredentials();

    // One call: the request sent, then its reply read.
    template <typename Send, typename Receive>
    int Call(Send send, Receive receive);

    const char* userId_;
    const char* password_;
};
