#include "status/tls_client.h"

#include "status/tls_handshake.h"

int SetUpUnauthenticatedTlsClient(struct soap* soap) {
#if defined(WITH_OPENSSL)
    BoundTlsHandshakes(soap);
    // Nothing is verified, so the system's certificate store is not loaded
    // either: reading it would be most of an HTTPS job's cost, for nothing.
    return soap_ssl_client_context(soap, SOAP_SSL_NO_AUTHENTICATION | SOAP_SSL_NO_DEFAULT_CA_PATH, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
#else
    (void)soap;
    return SOAP_SSL_ERROR;
#endif
}

void PrepareTlsLibrary(bool useTls) {
#if defined(WITH_OPENSSL)
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
    // The runtime would seed OpenSSL's random generator from /dev/urandom at
    // every start, HTTP jobs included; OpenSSL 3 seeds itself from the
    // system when it needs to.
    soap_ssl_noinit();
#endif
    // The runtime clears OpenSSL's error queue whenever a context ends, and
    // OpenSSL fills its table of error texts the first time that queue is
    // touched: about half of an HTTP job's instructions, for texts that only
    // a failed TLS connection could show. An HTTPS job keeps them for the
    // runtime's descriptions of TLS failures.
    if (!useTls) OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS, nullptr);
#else
    (void)useTls;
#endif
}
