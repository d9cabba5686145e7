#include "acknowledgement.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "status/chunk_framing.h"
#include "status/reply_document.h"

namespace {

constexpr std::size_t kStatusLineSize = 256;

// An acknowledgement has no content, and any SOAP Fault a server sends to
// explain a refusal fits in this; a reply with more is not read further.
constexpr std::size_t kLongestReplyContent = 64 * 1024;

// The fault strings of a reply that is not whole (RFC 9112, 8): its
// connection ended before all of the length its header gave, or its last
// chunk, arrived; or, for a reply that the connection's end ends, its TLS
// connection ended without the close alert, as when anyone on the way cuts
// it.
const char kEndedEarly[] = "End of file or no input: the reply ended before the end its header gave";
const char kEndedWithoutCloseAlert[] = "End of file or no input: the TLS connection ended without its close alert";

using Clock = std::chrono::steady_clock;

// What the acknowledgement reading keeps per context: the runtime's own
// header parser, header field parser, receive and connect functions, the
// last status line read, the start of the current attempt, whether a read of
// this reply was cut short by a time limit or a failure rather than ended by
// the server, and what the attempt saw of its connection: whether it was one
// kept open from an earlier reply, how many bytes came from it, whether a
// read found it ended by the server (or failed) rather than silent until a
// limit, and whether a TLS connection ended without its close alert. Of the
// reply's Content-Length fields: the first one's value (its digits without
// leading zeros), and whether one was not plain digits or differed from it.
// Whether every status line of the reply was an HTTP/1.x one, and the
// framing of its chunks as they arrive, when it is chunked.
struct ReplyReading {
    int (*parse)(struct soap*) = nullptr;
    int (*parseField)(struct soap*, const char*, const char*) = nullptr;
    std::size_t (*receive)(struct soap*, char*, std::size_t) = nullptr;
    SOAP_SOCKET (*open)(struct soap*, const char*, const char*, int) = nullptr;
    int (*close)(struct soap*) = nullptr;
    char statusLine[kStatusLineSize] = {};
    Clock::time_point attemptStart = Clock::now();
    std::time_t attemptStartTime = std::time(nullptr);
    bool cutShort = false;
    bool connectionKept = false;
    std::size_t received = 0;
    bool connectionEnded = false;
    bool endedWithoutCloseAlert = false;
    std::string contentLength;
    bool lengthInvalid = false;
    bool statusLineInvalid = false;
    std::optional<ChunkFraming> chunks;
};

ReplyReading* Reading(struct soap* soap) {
    return static_cast<ReplyReading*>(soap_lookup_plugin(soap, "reply-reading"));
}

// Whether a read that returned nothing after waiting since `called` for at
// most `wait` waited all of it: an end of the connection comes at once, a
// limit only once its wait is over (a timer may wake a little early).
bool WaitRanOut(Clock::time_point called, std::chrono::microseconds wait) {
    constexpr std::chrono::milliseconds kTimerSlack{20};
    return Clock::now() - called + kTimerSlack >= wait;
}

// Whether line is an HTTP/1.0 or HTTP/1.1 status line as RFC 9112 spells
// it: the version in capitals, a blank, three digits, then a blank before
// the reason (which a server may leave off) or nothing. The runtime reads the
// status from anything after the first blank, so that "ICY 200 OK" or
// "http/1.1 202 Accepted" would count as an acknowledgement.
bool IsHttpStatusLine(const char* line) {
    const std::string_view text = line;
    constexpr std::string_view kVersions[] = {"HTTP/1.0 ", "HTTP/1.1 "};
    constexpr std::size_t kVersionLength = kVersions[0].size();
    constexpr std::size_t kStatusDigits = 3;
    if (text.substr(0, kVersionLength) != kVersions[0] && text.substr(0, kVersionLength) != kVersions[1]) return false;
    const std::string_view status = text.substr(kVersionLength, kStatusDigits);
    if (status.size() != kStatusDigits || status.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    return text.size() == kVersionLength + kStatusDigits || text[kVersionLength + kStatusDigits] == ' ';
}

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
    reading->contentLength.clear();
    reading->lengthInvalid = false;
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

// A Content-Length field's value as RFC 9112 frames a message by it: plain
// decimal digits, the same in every such field. Any other makes the reply's
// framing invalid. The runtime would take the last field, read "0x10" as 0,
// "+5" or "5 5" as 5 and "-1" as the largest length. It hands the value over
// without the blanks around it, and without the quotes around a quoted one,
// which it leaves before the value in its header line: "\"5\"" is no length.
void NoteContentLength(ReplyReading& reading, const char* value) {
    const std::string_view digits = value;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos || value[-1] == '"') {
        reading.lengthInvalid = true;
        return;
    }
    const std::size_t significant = std::min(digits.find_first_not_of('0'), digits.size() - 1);
    const std::string_view length = digits.substr(significant);
    if (reading.contentLength.empty())
        reading.contentLength = length;
    else if (reading.contentLength != length)
        reading.lengthInvalid = true;
}

// Every header field of a reply, before the runtime's own reading of it. The
// fields of a "100 Continue" belong to no content.
int ParseHeaderField(struct soap* soap, const char* key, const char* value) {
    ReplyReading* reading = Reading(soap);
    // The runtime's buffer holds the status line of the header read now,
    // "100 Continue" ones included.
    if (!IsHttpStatusLine(soap->msgbuf)) reading->statusLineInvalid = true;
    if (soap->status != 100 && !soap_tag_cmp(key, "Content-Length")) NoteContentLength(*reading, value);
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
    using std::chrono::microseconds;
    ReplyReading* reading = Reading(soap);
    if (soap->is) return reading->receive(soap, data, size);
    const Clock::time_point called = Clock::now();
    if (soap->transfer_timeout <= 0) {
        const int silenceLimit = soap->recv_timeout;
        std::size_t received = reading->receive(soap, data, size);
        reading->received += received;
        const microseconds wait(silenceLimit > 0 ? silenceLimit * 1000000LL : -1LL * silenceLimit);
        if (received == 0 && (silenceLimit == 0 || !WaitRanOut(called, wait))) NoteConnectionEnd(soap, *reading);
        return received;
    }
    const Clock::time_point deadline = reading->attemptStart + std::chrono::seconds(soap->transfer_timeout);
    if (called >= deadline) {
        reading->cutShort = true;
        return 0;
    }
    // The runtime reads a negative time limit as microseconds and waits whole
    // milliseconds: the wait is rounded up to one.
    const int silenceLimit = soap->recv_timeout;
    long long wait = std::chrono::duration_cast<microseconds>(deadline - called).count();
    if (silenceLimit != 0) wait = std::min(wait, silenceLimit > 0 ? silenceLimit * 1000000LL : -1LL * silenceLimit);
    wait = std::min((wait + 999) / 1000 * 1000, 2000000000LL);
    soap->recv_timeout = -static_cast<int>(wait);
    // The runtime's own check of transfer_timeout, made between the waits of
    // one TLS read, counts from the attempt's start as well.
    soap->start = static_cast<ULONG64>(reading->attemptStartTime);
    std::size_t received = reading->receive(soap, data, size);
    soap->recv_timeout = silenceLimit;
    reading->received += received;
    if (received == 0) {
        if (Clock::now() >= deadline || WaitRanOut(called, microseconds(wait)))
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
    plugin->id = "reply-reading";
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

// Whether the connection can carry the next request after an acknowledgement
// without content: the context keeps connections alive, the server did not
// ask to close it (or answer as HTTP/1.0), the reply's end was marked by its
// length or last chunk rather than by the server's close, and nothing beyond
// the reply arrived.
bool ConnectionReusable(struct soap* soap) {
    return soap->keep_alive != 0 && !Reading(soap)->connectionEnded && soap->bufidx >= soap->buflen &&
           soap_valid_socket(soap->socket);
}

// Reads the reply's content after its header: Content-Length bytes, the
// chunks of a chunked reply, or everything up to the server's close, but
// never more than one byte beyond the longest content an acknowledgement may
// carry.
std::string ReadContent(struct soap* soap) {
    std::string content;
    if (!soap->body) return content;
    std::size_t wanted = kLongestReplyContent + 1;
    if (soap->length > 0 && soap->length < wanted) wanted = static_cast<std::size_t>(soap->length);
    while (content.size() < wanted) {
        if (soap->bufidx >= soap->buflen && soap_recv(soap)) break;
        std::size_t n = std::min<std::size_t>(soap->buflen - soap->bufidx, wanted - content.size());
        content.append(soap->buf + soap->bufidx, n);
        soap->bufidx += n;
    }
    return content;
}

// Reads a 400 or 500 reply's content as a SOAP Fault, all in UTF-8 (see
// ToUtf8Document). Returns the error the Fault gives, or SOAP_OK when the
// content is no envelope with a Fault.
int ReadFault(struct soap* soap, const std::string& content) {
    const std::optional<std::string> document = ToUtf8Document(content);
    if (!document) return SOAP_OK;
    std::istringstream input(*document);
    std::istream* saved = soap->is;
    soap->is = &input;
    int rc = SOAP_OK;
    // The runtime also takes XML of other kinds for an envelope; only one in
    // a SOAP namespace sets the version. Content packed as attachments is no
    // envelope either.
    soap->version = 0;
    if (soap_begin_recv(soap) == SOAP_OK && !(soap->mode & (SOAP_ENC_MIME | SOAP_ENC_DIME)) &&
        soap_envelope_begin_in(soap) == SOAP_OK && soap->version != 0 && soap_recv_header(soap) == SOAP_OK &&
        soap_body_begin_in(soap) == SOAP_OK) {
        rc = soap_recv_fault(soap, 1);
        if (rc != SOAP_OK && !soap->fault) rc = SOAP_OK;
    }
    soap->is = saved;
    return rc;
}

}  // namespace

void CloseConnection(struct soap* soap) {
    soap->keep_alive = 0;
    soap_closesock(soap);
}

void InstallAcknowledgementReading(struct soap* soap) {
    if (!Reading(soap)) soap_register_plugin_arg(soap, RegisterReading, nullptr);
}

void StartAttemptClock(struct soap* soap) {
    ReplyReading* reading = Reading(soap);
    reading->attemptStart = Clock::now();
    reading->attemptStartTime = std::time(nullptr);
    reading->connectionKept = soap->keep_alive != 0 && soap_valid_socket(soap->socket);
    reading->received = 0;
    reading->cutShort = false;
    reading->connectionEnded = false;
    reading->endedWithoutCloseAlert = false;
}

void KeepConnectionAlive(struct soap* soap) {
    soap_set_mode(soap, SOAP_IO_KEEPALIVE);
#ifdef MSG_NOSIGNAL
    // A request written to a connection that the server has just closed
    // fails with an error rather than a signal that ends the process.
    soap->socket_flags |= MSG_NOSIGNAL;
#endif
}

bool FailedOnClosedKeptConnection(struct soap* soap) {
    const ReplyReading* reading = Reading(soap);
    return soap->error != SOAP_OK && reading->connectionKept && reading->received == 0 && !reading->cutShort &&
           (reading->connectionEnded || soap->errnum != 0);
}

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
    if (reading->lengthInvalid) return Fail(soap, status, "HTTP Error", StatusLine(soap));

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

std::optional<Clock::time_point> AttemptDeadline(struct soap* soap) {
    const ReplyReading* reading = Reading(soap);
    if (!reading || soap->transfer_timeout <= 0) return std::nullopt;
    return reading->attemptStart + std::chrono::seconds(soap->transfer_timeout);
}
