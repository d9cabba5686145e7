#include "status/tls_client.h"

int SetUpUnauthenticatedTlsClient(struct soap* soap) {
#if defined(WITH_OPENSSL)
    return soap_ssl_client_context(soap, SOAP_SSL_NO_AUTHENTICATION, nullptr, nullptr, nullptr, nullptr, nullptr);
#else
    (void)soap;
    return SOAP_SSL_ERROR;
#endif
}
