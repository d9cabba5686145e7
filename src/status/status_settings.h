// How a job reaches the status server: the endpoint, the credentials and
// the transport, as the job's command line gives them. Owned copies, so that
// whoever sends a report (the job, its time limit) keeps its own.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "status/server_trust.h"
#include "status/status_proxy.h"

struct StatusSettings {
    // Absent when the command line's text cannot be given to the runtime.
    std::optional<std::string> userId;
    std::optional<std::string> password;
    // Absent when the host or port would change the request, or the server
    // or path it goes to: nothing is then sent at all.
    std::optional<std::string> endpoint;
    bool useTls = false;
    // What an HTTPS job asks of the server's certificate.
    ServerTrust trust;
};

// The send and receive limit, in seconds, of each report attempt, and the
// limit of the attempt's whole transfer: 120, which tests shorten.
int TransferLimitSeconds();

// A proxy for settings, with the worker's limits: 120 s to connect, and the
// transfer limits for a server that never answers or never finishes; for
// HTTPS a TLS client context for the settings' trust. It points into
// settings, which must outlive it.
std::unique_ptr<veltwuaPortBindingProxy> MakeStatusProxy(const StatusSettings& settings);
