#include "status/tls_client.h"

int SetUpUnauthenticatedTlsClient(struct soap* soap) {
#if defined(WITH_OPENSSL)
    // Nothing is verified, so the system's certificate store is not loaded
    // either: reading it would be most of an HTTPS job's cost, for nothing.
    return soap_ssl_client_context(soap, SOAP_SSL_NO_AUTHENTICATION | SOAP_SSL_NO_DEFAULT_CA_PATH, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
#else
    (void)soap;
    return SOAP_SSL_ERROR;
#endif
}

void SkipRuntimeTlsSeeding() {
#if defined(WITH_OPENSSL) && OPENSSL_VERSION_NUMBER >= 0x30000000L
    soap_ssl_noinit();
#endif
}
