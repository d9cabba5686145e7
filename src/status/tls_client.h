// TLS for the status report.
#pragma once

#include "stdsoap2.h"

// Sets up the runtime's TLS client context without server authentication:
// the certificate chain and host name are not checked, no CA and no client
// certificate are used. Returns the runtime's result, or SOAP_SSL_ERROR in a
// build without TLS (an https endpoint then fails when it is used). Each
// handshake ends by its attempt's deadline (tls_handshake.h).
int SetUpUnauthenticatedTlsClient(struct soap* soap);

// Called once before the first runtime context is made, with the job's
// transport, so that a job pays only for the TLS library work it needs.
void PrepareTlsLibrary(bool useTls);
