// TLS for the status report.
#pragma once

#include "status/server_trust.h"
#include "stdsoap2.h"

// Sets up the runtime's TLS client context for what trust asks:
// - AnyServer: no server authentication. The certificate chain and host
//   name are not checked, and no CA store is read.
// - Anchored: the server's chain must end at one of the trust's certificates
//   (the system's store is not read), be valid now, and name the host that
//   the endpoint names; the handshake fails otherwise, before any HTTP byte.
//   Only TLS 1.2 or newer is offered, with forward-secret key exchange only,
//   at OpenSSL's security level 2: a server that cannot meet it fails the
//   handshake too.
// - Unusable: every https connection fails with the trust's refusal before
//   it is made.
// No client certificate is used. A context that cannot be set up (or a
// build without TLS) fails each https connection when it is made. Each
// handshake ends by its attempt's deadline (tls_handshake.h).
void SetUpTlsClient(struct soap* soap, const ServerTrust& trust);
