// What one report attempt's result means for the reports still to deliver.
#pragma once

enum class AttemptResult {
    Acknowledged,  // the server acknowledged the report
    Faulted,       // the server read it and declined it with a SOAP Fault: this report's own answer
    Refused,       // the server answered with an HTTP error status: what it says of any report
    Unreachable,   // no answer came: the server could not be reached or its answer did not arrive whole
};

// Classifies the error a status call returned (see acknowledgement.h):
//   - SOAP_OK: Acknowledged;
//   - a SOAP Fault read from the reply (SOAP_FAULT, SOAP_CLI_FAULT,
//     SOAP_SVR_FAULT): Faulted;
//   - a fault of the envelope (SOAP_MUSTUNDERSTAND, SOAP_VERSIONMISMATCH),
//     which every report would meet, or an HTTP status as error code (100
//     to 599: any status but a 202 without content, "HTTP Error" with
//     content included): Refused;
//   - everything else: Unreachable. That is every transport failure (no
//     connection, a time limit, TLS, a reply cut short or ended early) and a reply that is not HTTP at all (SOAP_NO_DATA,
//     as when a TLS endpoint is spoken to in plain HTTP, or SOAP_HTTP_ERROR
//     for a status line of another protocol).
// The runtime also gives 414 for a status or header line longer than its
// buffer: like every status, Refused.
AttemptResult ClassifyAttempt(int soapError);
