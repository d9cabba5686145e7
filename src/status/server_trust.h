// What an HTTPS job asks of the status server's certificate. The agent's
// installer may place a trust file beside the worker's other files,
// <drive>:\ORV\PatchDeploy\StatusServerTrust.pem, holding one or more PEM
// certificates (a private CA, or the server's own certificate): the server's
// chain must then end at one of them, and the server must be valid now and
// named as the command line names it. Without the file any server is
// accepted.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/platform.h"

// The largest trust file that is read; a larger one is refused.
constexpr std::size_t kMostTrustFileBytes = 1 << 20;

// The certificates of a trust file, read once (TLS builds only).
struct TrustAnchors;

struct ServerTrust {
    enum class Kind {
        // No trust file: the channel is encrypted, the server not verified.
        AnyServer,
        // The server must present a chain that ends at one of certificates.
        Anchored,
        // The file is there but cannot be used: no connection is made, and
        // refusal is the console text of every attempt. Whoever placed the
        // file asked for verification, so it never falls back to AnyServer.
        Unusable,
    };
    Kind kind = Kind::AnyServer;
    // Anchored: the file's certificates, shared by every copy (the job's
    // proxies and its time limit's) and never changed.
    std::shared_ptr<const TrustAnchors> certificates;
    // Unusable: why, as the console shows it.
    std::string refusal;
};

// The trust file of the agent on drive. A drive that is not a letter has no
// agent's folder, and so no trust file: any server.
ServerTrust ReadServerTrust(LPCWSTR drive);

// Adds the certificates of an Anchored trust to a TLS context's store,
// OpenSSL's X509_STORE. One that cannot be added (memory) is missing from
// the store, whose context then trusts less, never more.
struct x509_store_st;
void AddTrustAnchors(const ServerTrust& trust, struct x509_store_st* store);
