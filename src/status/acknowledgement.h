// Reading the server's answer to a one-way SOAP message.
#pragma once

#include "stdsoap2.h"

// Makes the runtime keep each reply's HTTP status line for the
// acknowledgement reading, and leaves the judging of the status to it.
void InstallStatusLineCapture(struct soap* soap);

// Reads the reply after a one-way request has been sent and closes the
// connection in every case. Returns SOAP_OK for
//   - status 202 without content,
//   - status 200 without a Content-Length whose reply ends before any content;
// otherwise fails:
//   - other 2xx without content (200 with Content-Length 0 included): the
//     status as error code, no fault string;
//   - 400 or 500 carrying a SOAP envelope with a Body: the Fault in it (its
//     faultstring, or a SOAP 1.2 Reason text, becomes the fault string);
//   - 2xx, 400 or 500 with any other content: "HTTP Error", the content as
//     detail, the status as error code;
//   - 400 or 500 without content, and any other status: the status as error
//     code; without content "HTTP Error" with the status line as detail, with
//     content the status line with the content as detail;
//   - a failure to receive: the runtime's error and text.
int ReceiveAcknowledgement(struct soap* soap);
