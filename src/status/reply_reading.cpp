#include "status/reply_reading.h"

#include <cstring>

#include "status/acknowledgement.h"
#include "status/attempt_clock.h"
#include "status/reply_status_line.h"

namespace {

const char kPluginId[] = "reply-reading";

// The framing of a chunked reply is checked from the first byte of its
// content, which may already be in the runtime's buffer behind the header.
void StartChunkFraming(struct soap* soap, ReplyReading& reading) {
    reading.chunks.reset();
    if ((soap->imode & SOAP_IO) != SOAP_IO_CHUNK) return;
    reading.chunks.emplace();
    reading.chunks->Feed(soap->buf + soap->bufidx, soap->buflen - soap->bufidx);
}

int ParseAndKeepStatusLine(struct soap* soap) {
    ReplyReading* reading = Reading(soap);
    reading->contentLength.Clear();
    reading->statusLineInvalid = false;
    reading->chunks.reset();
    int rc = reading->parse(soap);
    std::strncpy(reading->statusLine, soap->msgbuf, kStatusLineSize - 1);
    reading->statusLine[kStatusLineSize - 1] = 0;
    if (!IsHttpStatusLine(soap->msgbuf)) reading->statusLineInvalid = true;
    if (rc == SOAP_OK || rc == static_cast<int>(soap->status)) StartChunkFraming(soap, *reading);
    // Attachments are not unpacked: their parts would be read into memory
    // whole. An acknowledgement carries none.
    soap->imode &= ~(SOAP_ENC_MIME | SOAP_ENC_DIME);
    // A status that the runtime would judge by itself is handed on as a
    // successful parse: ReceiveAcknowledgement applies its own rules.
    if (rc != SOAP_OK && rc == static_cast<int>(soap->status)) {
        soap->error = SOAP_OK;
        return SOAP_OK;
    }
    if (rc != SOAP_OK) {
        // The runtime reads the whole content of a reply whose header it
        // could not parse, as its fault detail: none of it is read.
        soap->length = 0;
        soap->imode &= ~SOAP_IO;
    }
    return rc;
}

// Every header field of a reply, before the runtime's own reading of it. The
// fields of a "100 Continue" belong to no content.
int ParseHeaderField(struct soap* soap, const char* key, const char* value) {
    ReplyReading* reading = Reading(soap);
    // The runtime's buffer holds the status line of the header read now,
    // "100 Continue" ones included.
    if (!IsHttpStatusLine(soap->msgbuf)) reading->statusLineInvalid = true;
    // The runtime leaves the quote before a quoted value in its header line.
    if (soap->status != 100 && !soap_tag_cmp(key, "Content-Length")) reading->contentLength.Note(value, value[-1] == '"');
    return reading->parseField(soap, key, value);
}

// Notes how a connection that a read found ended ended: a TLS connection
// that ends without its close alert may have been cut on the way (a closed
// TCP connection or a failed record), not ended by the server.
void NoteConnectionEnd(struct soap* soap, ReplyReading& reading) {
    reading.connectionEnded = true;
#if defined(WITH_OPENSSL)
    if (soap->ssl && !(SSL_get_shutdown(soap->ssl) & SSL_RECEIVED_SHUTDOWN)) reading.endedWithoutCloseAlert = true;
#else
    (void)soap;
#endif
}

// Every read of a reply from the server. The attempt's whole transfer is
// bounded by the context's transfer_timeout, counted from the attempt's
// start, so that neither a reply dripped byte by byte nor endless
// "100 Continue" lines hold the worker; each wait stays bounded by
// recv_timeout as well. A read that returns nothing because a limit ran out
// marks the reply as cut short: it did not end, and is not judged. One that
// returns nothing before its wait is over found the connection ended: the
// server closed it, or it failed. Bytes read are counted for the attempt.
std::size_t ReceiveWithinLimits(struct soap* soap, char* data, std::size_t size);

// Every read of a reply from the server, its chunks' framing checked: once
// it has failed nothing more is read, and the reply ends there.
std::size_t ReceiveFramed(struct soap* soap, char* data, std::size_t size) {
    ReplyReading* reading = Reading(soap);
    if (reading->chunks && reading->chunks->state() != ChunkFraming::State::Reading &&
        reading->chunks->state() != ChunkFraming::State::Ended)
        return 0;
    const std::size_t received = ReceiveWithinLimits(soap, data, size);
    if (!soap->is && reading->chunks && reading->chunks->Feed(data, received) != ChunkFraming::State::Reading &&
        reading->chunks->Fault())
        return 0;
    return received;
}

std::size_t ReceiveWithinLimits(struct soap* soap, char* data, std::size_t size) {
    using Clock = ReplyReading::Clock;
    ReplyReading* reading = Reading(soap);
    if (soap->is) return reading->receive(soap, data, size);
    const Clock::time_point called = Clock::now();
    if (soap->transfer_timeout <= 0) {
        const int silenceLimit = soap->recv_timeout;
        std::size_t received = reading->receive(soap, data, size);
        reading->received += received;
        if (received == 0 && (silenceLimit == 0 || !WaitRanOut(Clock::now() - called, SilenceLimit(silenceLimit))))
            NoteConnectionEnd(soap, *reading);
        return received;
    }
    const Clock::time_point deadline = reading->attemptStart + std::chrono::seconds(soap->transfer_timeout);
    if (called >= deadline) {
        reading->cutShort = true;
        return 0;
    }
    // The runtime reads a negative time limit as microseconds.
    const int silenceLimit = soap->recv_timeout;
    const std::chrono::microseconds wait = ReadWait(deadline - called, silenceLimit);
    soap->recv_timeout = -static_cast<int>(wait.count());
    // The runtime's own check of transfer_timeout, made between the waits of
    // one TLS read, counts from the attempt's start as well.
    soap->start = static_cast<ULONG64>(reading->attemptStartTime);
    std::size_t received = reading->receive(soap, data, size);
    soap->recv_timeout = silenceLimit;
    reading->received += received;
    if (received == 0) {
        if (Clock::now() >= deadline || WaitRanOut(Clock::now() - called, wait))
            reading->cutShort = true;
        else
            NoteConnectionEnd(soap, *reading);
    }
    return received;
}

// Every connection the runtime opens; an attempt that opens one does not
// run on a kept connection.
SOAP_SOCKET OpenConnection(struct soap* soap, const char* endpoint, const char* host, int port) {
    ReplyReading* reading = Reading(soap);
    reading->connectionKept = false;
    return reading->open(soap, endpoint, host, port);
}

// Every close of a connection. A TLS connection gets the client's close
// alert, sent without waiting, and is then closed at once: the runtime would
// wait up to 5 seconds for the server's own alert, beyond the attempt's
// limit when the server has gone silent. TLS does not ask a client to wait
// for it (RFC 8446, 6.1).
int CloseWithoutWaiting(struct soap* soap) {
#if defined(WITH_OPENSSL)
    if (soap->ssl && soap_valid_socket(soap->socket)) {
        BIO_socket_nbio(static_cast<int>(soap->socket), 1);
        SSL_shutdown(soap->ssl);
        SSL_set_shutdown(soap->ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    }
#endif
    return Reading(soap)->close(soap);
}

int CopyReading(struct soap*, struct soap_plugin* dst, struct soap_plugin* src) {
    dst->data = new ReplyReading(*static_cast<ReplyReading*>(src->data));
    return SOAP_OK;
}

void DeleteReading(struct soap*, struct soap_plugin* plugin) {
    delete static_cast<ReplyReading*>(plugin->data);
}

int RegisterReading(struct soap* soap, struct soap_plugin* plugin, void*) {
    auto* reading = new ReplyReading;
    reading->parse = soap->fparse;
    reading->parseField = soap->fparsehdr;
    reading->receive = soap->frecv;
    reading->open = soap->fopen;
    reading->close = soap->fclose;
    plugin->id = kPluginId;
    plugin->data = reading;
    plugin->fcopy = CopyReading;
    plugin->fdelete = DeleteReading;
    soap->fparse = ParseAndKeepStatusLine;
    soap->fparsehdr = ParseHeaderField;
    soap->frecv = ReceiveFramed;
    soap->fopen = OpenConnection;
    soap->fclose = CloseWithoutWaiting;
    return SOAP_OK;
}

}  // namespace

ReplyReading* Reading(struct soap* soap) {
    return static_cast<ReplyReading*>(soap_lookup_plugin(soap, kPluginId));
}

void InstallAcknowledgementReading(struct soap* soap) {
    if (!Reading(soap)) soap_register_plugin_arg(soap, RegisterReading, nullptr);
}
