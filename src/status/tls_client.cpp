#include "status/tls_client.h"

#include "status/tls_handshake.h"

#if defined(WITH_OPENSSL)

#include <openssl/x509v3.h>

namespace {

// What a verifying context offers: TLS 1.2 or newer; in TLS 1.2 only key
// exchanges with ephemeral keys (forward secrecy), never the server's static
// RSA key, and never an anonymous server; TLS 1.3 has no other kind.
constexpr int kLowestVersion = TLS1_2_VERSION;
constexpr char kForwardSecretSuites[] = "kECDHE:kDHE:!aNULL:!eNULL";
// OpenSSL's level 2: 112 bits of security at least (RSA and DH keys of 2048
// bits or more, elliptic curves of 224 bits or more), no RC4, no compression.
constexpr int kSecurityLevel = 2;

bool SetCarefulPolicy(SSL_CTX* context) {
    SSL_CTX_set_security_level(context, kSecurityLevel);
    return SSL_CTX_set_min_proto_version(context, kLowestVersion) == 1 &&
           SSL_CTX_set_cipher_list(context, kForwardSecretSuites) == 1;
}

// Whether the certificate names a DNS name among its subject alternative
// names: when it does not, OpenSSL matches a DNS host against its common name.
bool NamesDnsName(X509* certificate) {
    auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    bool found = false;
    for (int i = 0; i < sk_GENERAL_NAME_num(names) && !found; ++i)
        found = sk_GENERAL_NAME_value(names, i)->type == GEN_DNS;
    GENERAL_NAMES_free(names);
    return found;
}

bool CarriesNameConstraints(STACK_OF(X509) * chain) {
    for (int i = 0; i < sk_X509_num(chain); ++i)
        if (X509_get_ext_by_NID(sk_X509_value(chain, i), NID_name_constraints, -1) >= 0) return true;
    return false;
}

// OpenSSL's verification of the server's chain, and one rule more: the
// common name may stand in for a missing DNS name only when no certificate of
// the chain carries name constraints. OpenSSL applies them to a common name
// only when it holds a dot, so a CA constrained to other names could vouch
// for a host without one.
int VerifyServerChain(X509_STORE_CTX* store, void*) {
    const int verified = X509_verify_cert(store);
    if (verified <= 0) return verified;
    // Set only when the host is a DNS name (tls_handshake.cpp).
    if (!X509_VERIFY_PARAM_get0_host(X509_STORE_CTX_get0_param(store), 0)) return verified;
    if (NamesDnsName(X509_STORE_CTX_get0_cert(store)) || !CarriesNameConstraints(X509_STORE_CTX_get0_chain(store)))
        return verified;
    X509_STORE_CTX_set_error(store, X509_V_ERR_HOSTNAME_MISMATCH);
    return 0;
}

}  // namespace

#endif

void SetUpTlsClient(struct soap* soap, const ServerTrust& trust) {
#if defined(WITH_OPENSSL)
    BoundTlsHandshakes(soap, trust);
    if (trust.kind == ServerTrust::Kind::AnyServer) {
        // Nothing is verified, so the system's certificate store is not
        // loaded either: reading it would be most of an HTTPS job's cost,
        // for nothing.
        soap_ssl_client_context(soap, SOAP_SSL_NO_AUTHENTICATION | SOAP_SSL_NO_DEFAULT_CA_PATH, nullptr, nullptr,
                                nullptr, nullptr, nullptr);
        return;
    }
    // An Unusable trust gets a verifying context without anchors as well,
    // so that no way past the refusal could reach an unverified server.
    if (soap_ssl_client_context(soap, SOAP_SSL_REQUIRE_SERVER_AUTHENTICATION | SOAP_SSL_NO_DEFAULT_CA_PATH, nullptr,
                                nullptr, nullptr, nullptr, nullptr) != SOAP_OK)
        return;
    // The TLS library's own verification, without the runtime's callback
    // (which lets expired and self-signed certificates pass in its debug
    // builds). The chain may end at any certificate of the file, a server's
    // own or an intermediate CA's, not only at a self-signed root.
    SSL_CTX_set_verify(soap->ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(soap->ctx, VerifyServerChain, nullptr);
    X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(soap->ctx), X509_V_FLAG_PARTIAL_CHAIN);
    // Without its anchors the context trusts no server, and every
    // handshake fails: never the other way round. So does a context whose
    // policy could not be set.
    if (SetCarefulPolicy(soap->ctx)) AddTrustAnchors(trust, SSL_CTX_get_cert_store(soap->ctx));
#else
    (void)soap;
    (void)trust;
#endif
}
