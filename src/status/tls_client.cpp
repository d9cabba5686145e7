#include "status/tls_client.h"

#include "status/tls_handshake.h"

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
    X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(soap->ctx), X509_V_FLAG_PARTIAL_CHAIN);
    // Without its anchors the context trusts no server, and every
    // handshake fails: never the other way round.
    AddTrustAnchors(trust, SSL_CTX_get_cert_store(soap->ctx));
#else
    (void)soap;
    (void)trust;
#endif
}
