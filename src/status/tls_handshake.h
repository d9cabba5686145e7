// A TLS client handshake that ends by the attempt's deadline whatever the
// server sends.
#pragma once

#include "status/server_trust.h"
#include "stdsoap2.h"

// Makes every https connection that the context opens shake hands by the
// deadline of the attempt that opens it (AttemptDeadline, acknowledgement.h),
// instead of in the runtime's own loop: that one gives up only after a run of
// waits in which nothing arrived, so a server that keeps sending something
// (records the handshake skips, or its real messages a byte at a time) holds
// it for ever. A handshake that has not finished by then fails as "Timeout";
// one of an attempt without a deadline (transfer_timeout not positive) is
// not bounded. The server name goes out only for a DNS name, never for an
// address (server_host.h).
// What trust asks of the server is checked here too (tls_client.h sets up the
// context): an Anchored trust's handshake checks that the certificate names
// the endpoint's host, and a failed check or handshake is described in words;
// a host in an address form other than dotted decimal is then not connected
// to, and an Unusable trust fails every https connection with its refusal
// before the connection is made. Call once the acknowledgement reading is
// installed; a build without TLS leaves the context as it is.
void BoundTlsHandshakes(struct soap* soap, const ServerTrust& trust);
