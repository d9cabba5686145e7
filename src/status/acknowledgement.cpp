#include "status/acknowledgement.h"

#include <string>

#include "status/reply_content.h"
#include "status/reply_reading.h"

namespace {

// The fault strings of a reply that is not whole (RFC 9112, 8): its
// connection ended before all of the length its header gave, or its last
// chunk, arrived; or, for a reply that the connection's end ends, its TLS
// connection ended without the close alert, as when anyone on the way cuts
// it.
const char kEndedEarly[] = "End of file or no input: the reply ended before the end its header gave";
const char kEndedWithoutCloseAlert[] = "End of file or no input: the TLS connection ended without its close alert";

const char* StatusLine(struct soap* soap) {
    ReplyReading* reading = Reading(soap);
    return reading ? reading->statusLine : "";
}

int Fail(struct soap* soap, int code, const char* faultString, const char* detail) {
    if (faultString) {
        // The runtime keeps the pointers: give it copies in its own memory.
        soap_set_receiver_error(soap, soap_strdup(soap, faultString), detail ? soap_strdup(soap, detail) : nullptr,
                                code);
    }
    soap->error = code;
    CloseConnection(soap);
    return code;
}

}  // namespace

int ReceiveAcknowledgement(struct soap* soap) {
    ReplyReading* reading = Reading(soap);
    reading->cutShort = false;
    reading->connectionEnded = false;
    reading->endedWithoutCloseAlert = false;
    reading->chunks.reset();
    soap->error = SOAP_OK;
    int rc = soap_begin_recv(soap);
    int status = soap->status;
    bool isHttpStatus = status >= 100 && status < 600;
    if (reading->cutShort && rc == SOAP_OK) rc = SOAP_EOF;
    if (rc != SOAP_OK && !(isHttpStatus && rc == status)) {
        // Nothing usable arrived: a transport failure with the runtime's text.
        CloseConnection(soap);
        return soap->error = rc;
    }
    if (!isHttpStatus) return Fail(soap, rc != SOAP_OK ? rc : SOAP_NO_DATA, nullptr, nullptr);
    // Only an HTTP/1.x reply can acknowledge a report; a server that speaks
    // another protocol said nothing about it. Its content is not read.
    if (reading->statusLineInvalid) return Fail(soap, SOAP_HTTP_ERROR, "HTTP Error", StatusLine(soap));
    // A reply whose length cannot be told is not read (RFC 9112, 6.3).
    if (reading->contentLength.Invalid()) return Fail(soap, status, "HTTP Error", StatusLine(soap));

    // The reply's content (nothing when the reply said Content-Length 0).
    // Its end is marked by its length or its last chunk, or else by the
    // server's close of the connection.
    bool lengthGiven = soap->length > 0 || !soap->body;
    const bool chunked = (soap->mode & SOAP_IO) == SOAP_IO_CHUNK;
    std::string content;
    int readError = SOAP_OK;
    if (rc == SOAP_OK) {
        content = ReadContent(soap);
        readError = soap->error;
    }
    // Chunks framed wrongly: the reply cannot be told apart from what
    // follows it, so it is not judged beyond saying what was wrong.
    if (reading->chunks && reading->chunks->Fault()) return Fail(soap, status, reading->chunks->Fault(), StatusLine(soap));
    const bool beyondBound = content.size() > kLongestReplyContent;
    if ((reading->cutShort || readError != SOAP_OK) && !beyondBound) {
        // The reply did not end within the attempt's limits, or its content
        // could not be read (a malformed chunk): it is not judged.
        CloseConnection(soap);
        return soap->error = readError != SOAP_OK ? readError : SOAP_EOF;
    }
    // Content that was read is whole once the end its header marks has
    // arrived: all of its length, or its last chunk (after which nothing more
    // is read). Where the connection's end marks it, over TLS that end must
    // be the close alert.
    if (rc == SOAP_OK && !beyondBound) {
        if ((soap->length > 0 && content.size() < soap->length) || (chunked && reading->connectionEnded))
            return Fail(soap, SOAP_EOF, kEndedEarly, nullptr);
        if (!lengthGiven && !chunked && reading->endedWithoutCloseAlert)
            return Fail(soap, SOAP_EOF, kEndedWithoutCloseAlert, nullptr);
    }
    // Only an acknowledgement leaves a kept-alive connection open.
    if (status == 202 && content.empty() && ConnectionReusable(soap))
        soap_closesock(soap);
    else
        CloseConnection(soap);
    if (beyondBound) content.resize(kLongestReplyContent);

    bool success2xx = status >= 200 && status <= 299;
    bool faultStatus = status == 400 || status == 500;
    if (content.empty()) {
        if (status == 202) return soap->error = SOAP_OK;
        if (status == 200 && !lengthGiven) return soap->error = SOAP_OK;
        if (success2xx) return Fail(soap, status, nullptr, nullptr);
        return Fail(soap, status, "HTTP Error", StatusLine(soap));
    }
    if (faultStatus && !beyondBound) {
        int faultError = ReadFault(soap, content);
        soap_closesock(soap);
        if (faultError != SOAP_OK) return soap->error = faultError;
    }
    if (success2xx || faultStatus || beyondBound) return Fail(soap, status, "HTTP Error", content.c_str());
    std::string statusLine = StatusLine(soap);
    return Fail(soap, status, statusLine.c_str(), content.c_str());
}

