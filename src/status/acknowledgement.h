// Reading the server's answer to a one-way SOAP message.
#pragma once

#include <chrono>
#include <optional>

#include "stdsoap2.h"

// Makes the runtime keep each reply's HTTP status line for the
// acknowledgement reading, leaves the judging of the status to it, and bounds
// every read of a reply by the limits below.
void InstallAcknowledgementReading(struct soap* soap);

// Starts an attempt's clock: its reply is read until transfer_timeout
// seconds (when positive) after this call at the latest, each wait bounded by
// recv_timeout as well. Called before the request is sent.
void StartAttemptClock(struct soap* soap);

// The end of the current attempt: transfer_timeout seconds after
// StartAttemptClock, or none when transfer_timeout is not positive. The
// reading of the reply ends by then, and so does the TLS handshake of a
// connection that the attempt opens (see tls_handshake.h).
std::optional<std::chrono::steady_clock::time_point> AttemptDeadline(struct soap* soap);

// Makes the calls that follow ask for HTTP/1.1 keep-alive ("Connection:
// keep-alive" instead of "close"): a call to the host and port of the one
// before reuses its connection while the server keeps it open, and opens a
// new one when the server has closed it. Without this, every call opens its
// own connection and closes it after the reply.
void KeepConnectionAlive(struct soap* soap);

// Closes the connection whether or not it was to be kept alive: the runtime
// keeps a kept-alive connection open after some failures.
void CloseConnection(struct soap* soap);

// Whether the attempt just made failed on a connection kept open from an
// earlier reply, before any byte of its reply arrived, because the server had
// closed that connection (or reset it) rather than left it silent until a
// limit: the request can go again, once, on a new connection.
bool FailedOnClosedKeptConnection(struct soap* soap);

// Reads the reply after a one-way request has been sent and closes the
// connection, unless keep-alive is on (see KeepConnectionAlive), the reply is
// a 202 without content whose end its header marked (Content-Length 0 or a
// last chunk), the server did not answer "Connection: close" or as HTTP/1.0,
// and nothing followed the reply. At most 64 KiB of content are read: a reply
// without a length is read up to the server's close, one with more content is
// not read further. A reply is framed as RFC 9112 says: by its Content-Length,
// its chunks, or else the server's close of the connection, which over TLS
// is its close alert. Returns SOAP_OK for
//   - status 202 without content,
//   - status 200 without a Content-Length whose reply ends before any content;
// otherwise fails:
//   - a status line that is not HTTP/1.0 or HTTP/1.1 as RFC 9112 spells it
//     ("ICY 200 OK", "http/1.1 202 Accepted"): "HTTP Error" with the status
//     line as detail, SOAP_HTTP_ERROR as error code, nothing of the content
//     read;
//   - a chunked reply whose chunks are framed wrongly (a size line that is
//     not hexadecimal digits, a chunk's data without its line end): "HTTP
//     Error: " and what was wrong, the status line as detail, the status as
//     error code;
//   - a Content-Length that is not plain decimal digits, or several that
//     differ: "HTTP Error" with the status line as detail, the status as
//     error code, and nothing of the content read;
//   - other 2xx without content (200 with Content-Length 0 included): the
//     status as error code, no fault string;
//   - 400 or 500 carrying a SOAP envelope with a Body: the Fault in it (its
//     faultstring, or a SOAP 1.2 Reason text, becomes the fault string);
//   - 2xx, 400 or 500 with any other content, and any reply with more than
//     64 KiB of content: "HTTP Error", the content as detail, the status as
//     error code;
//   - 400 or 500 without content, and any other status: the status as error
//     code; without content "HTTP Error" with the status line as detail, with
//     content the status line with the content as detail;
//   - a failure to receive, or a reply that has not ended when a time limit
//     runs out: the runtime's error and text;
//   - a reply whose connection ended before all of its length or its last
//     chunk arrived, or (without either) a TLS connection that ended without
//     its close alert: SOAP_EOF, with a fault string that says which.
int ReceiveAcknowledgement(struct soap* soap);
