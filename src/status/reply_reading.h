// What the acknowledgement reading keeps per runtime context, and the
// runtime functions it puts in place (see InstallAcknowledgementReading):
// the status line kept, the reply's framing checked as it arrives, every
// read bounded by the attempt's clock, and every close done without waiting.
#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <optional>

#include "status/chunk_framing.h"
#include "status/content_length.h"
#include "stdsoap2.h"

constexpr std::size_t kStatusLineSize = 256;

// The runtime's own header parser, header field parser, receive, connect and
// close functions, which the reading's own call; the last status line read,
// the start of the current attempt, whether a read of this reply was cut
// short by a time limit or a failure rather than ended by the server, and
// what the attempt saw of its connection: whether it was one kept open from
// an earlier reply, how many bytes came from it, whether a read found it
// ended by the server (or failed) rather than silent until a limit, and
// whether a TLS connection ended without its close alert. Of the reply's
// header: its Content-Length fields, and whether every status line was an
// HTTP/1.x one; the framing of its chunks as they arrive, when it is chunked.
struct ReplyReading {
    using Clock = std::chrono::steady_clock;

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
    ContentLengthFields contentLength;
    bool statusLineInvalid = false;
    std::optional<ChunkFraming> chunks;
};

// The context's reading; null before InstallAcknowledgementReading.
ReplyReading* Reading(struct soap* soap);

// Whether the connection can carry the next request after an acknowledgement
// without content: the context keeps connections alive, the server did not
// ask to close it (or answer as HTTP/1.0), the reply's end was marked by its
// length or last chunk rather than by the server's close, and nothing beyond
// the reply arrived.
bool ConnectionReusable(struct soap* soap);
