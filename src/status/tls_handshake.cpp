#include "status/tls_handshake.h"

#if defined(WITH_OPENSSL)

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

#include "status/acknowledgement.h"
#include "status/server_host.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kPluginId[] = "bounded-tls-handshake";

// The runtime's connect function, which the bounded handshake calls for the
// TCP connection, and what the context's trust asks of the server.
struct HandshakeBounding {
    SOAP_SOCKET (*open)(struct soap*, const char*, const char*, int);
    ServerTrust::Kind trust;
    std::string refusal;
};

const char kNotTrusted[] = "The status server's certificate is not trusted: ";
const char kHostNotNamed[] = "The status server's certificate does not name the host ";
const char kHandshakeFailed[] = "The TLS handshake with the status server failed: ";
const char kHostPrefix[] = "The status server's host ";
const char kNotDottedDecimal[] = " must be a DNS name or four decimal numbers from 0 to 255 without leading zeros.";

// Why the server's certificate failed the check, for the console.
int CertificateRefused(struct soap* soap, long verification, const char* host) {
    const bool wrongName =
        verification == X509_V_ERR_HOSTNAME_MISMATCH || verification == X509_V_ERR_IP_ADDRESS_MISMATCH;
    const std::string text = wrongName ? kHostNotNamed + std::string(host) + "."
                                       : kNotTrusted + std::string(X509_verify_cert_error_string(verification)) + ".";
    return soap_set_sender_error(soap, soap_strdup(soap, text.c_str()), "SSL/TLS certificate verification failed",
                                 SOAP_SSL_ERROR);
}

// Why a handshake that verifies failed other than for the certificate (the
// server offered no version or cipher that the context allows, or ended the
// connection), in OpenSSL's words, for the console.
int HandshakeRefused(struct soap* soap) {
    const unsigned long error = ERR_peek_last_error();
    const char* reason = error ? ERR_reason_error_string(error) : nullptr;
    std::string text = kHandshakeFailed;
    if (reason)
        text += reason;
    else if (error)
        text += "error " + std::to_string(ERR_GET_REASON(error));
    else
        text += "the connection ended";
    text += ".";
    return soap_set_sender_error(soap, soap_strdup(soap, text.c_str()), "SSL/TLS handshake failed", SOAP_SSL_ERROR);
}

// Asks the handshake to check that the certificate names host: the address
// itself, read once here rather than again by the TLS library, or a DNS name
// (the common name only when the certificate names no DNS name, see
// tls_client.cpp). A host in another address form is never checked.
bool ExpectHost(SSL* ssl, const ServerHost& read, const char* host) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    switch (read.form) {
        case ServerHost::Form::Address:
            return X509_VERIFY_PARAM_set1_ip(param, read.address.data(), read.address.size()) == 1 &&
                   X509_VERIFY_PARAM_set1_host(param, nullptr, 0) == 1;
        case ServerHost::Form::DnsName:
            return X509_VERIFY_PARAM_set1_ip(param, nullptr, 0) == 1 &&
                   X509_VERIFY_PARAM_set1_host(param, host, 0) == 1;
        case ServerHost::Form::OtherAddressForm: break;
    }
    return false;
}

HandshakeBounding* Bounding(struct soap* soap) {
    return static_cast<HandshakeBounding*>(soap_lookup_plugin(soap, kPluginId));
}

int TimedOut(struct soap* soap) {
    return soap_set_receiver_error(soap, "Timeout", "TLS handshake not finished within the attempt's time limit",
                                   SOAP_TCP_ERROR);
}

// Waits until the socket can be read (or written) or the deadline comes.
// Returns more than 0 when it can, 0 at the deadline, less than 0 when the
// wait failed; an interrupted wait counts as one that can go on.
int WaitForSocket(SOAP_SOCKET socket, bool forReading, Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    const int timeout = static_cast<int>(std::min<long long>(left, INT_MAX));
    const short events = forReading ? POLLIN : POLLOUT;
#ifdef _WIN32
    WSAPOLLFD entry{socket, events, 0};
    return WSAPoll(&entry, 1, timeout);
#else
    pollfd entry{socket, events, 0};
    const int ready = poll(&entry, 1, timeout);
    return ready < 0 && errno == EINTR ? 1 : ready;
#endif
}

// Before every read of the handshake's socket: a server whose records keep
// arriving keeps the TLS library reading inside one call, which therefore
// never comes back to the wait below. Once the deadline has come, the read
// fails instead, and the handshake with it.
long StopReadingAtDeadline(BIO* bio, int operation, const char*, std::size_t, int, long, int result, std::size_t*) {
    if (operation == BIO_CB_READ) {
        const auto* deadline = reinterpret_cast<const Clock::time_point*>(BIO_get_callback_arg(bio));
        if (Clock::now() >= *deadline) {
            BIO_clear_retry_flags(bio);
            return -1;
        }
    }
    return result;
}

// SSL_connect on the non-blocking socket until it has finished, failed, or
// the deadline has come.
int ConnectUntil(struct soap* soap, SOAP_SOCKET socket, const char* host, Clock::time_point deadline) {
    const bool verifying = SSL_get_verify_mode(soap->ssl) & SSL_VERIFY_PEER;
    for (;;) {
        const int result = SSL_connect(soap->ssl);
        if (result == 1) return SOAP_OK;
        const int error = SSL_get_error(soap->ssl, result);
        if (Clock::now() >= deadline) return TimedOut(soap);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            soap->errnum = soap_socket_errno;
            // Only a handshake that verifies fails for its certificate; an
            // unverified one records the result and goes on.
            const long verification = SSL_get_verify_result(soap->ssl);
            if (verifying && verification != X509_V_OK) return CertificateRefused(soap, verification, host);
            if (verifying) return HandshakeRefused(soap);
            return soap_set_sender_error(soap, soap_ssl_error(soap, result, error), "SSL/TLS handshake failed",
                                         SOAP_SSL_ERROR);
        }
        const int ready = WaitForSocket(socket, error == SSL_ERROR_WANT_READ, deadline);
        if (ready == 0) return TimedOut(soap);
        if (ready < 0) {
            soap->errnum = soap_socket_errno;
            return soap_set_receiver_error(soap, "SSL/TLS error", "Waiting for the TLS handshake failed",
                                           SOAP_TCP_ERROR);
        }
    }
}

// The client side of the handshake on a connected socket, set up as the
// runtime sets up its own: the context's TLS context, a session kept from
// the last connection to the same host and port, the host name sent; but
// never an address as a server name (RFC 6066, section 3).
int ShakeHands(struct soap* soap, SOAP_SOCKET socket, const char* host, int port, Clock::time_point deadline) {
    const ServerHost read = ReadServerHost(host);
    ERR_clear_error();
    soap->ssl_flags |= SOAP_SSL_CLIENT;
    if (!soap->ctx && soap->fsslauth(soap) != SOAP_OK) return soap->error = SOAP_SSL_ERROR;
    if (!soap->ssl) {
        soap->ssl = SSL_new(soap->ctx);
        if (!soap->ssl) return soap->error = SOAP_SSL_ERROR;
    } else {
        SSL_clear(soap->ssl);
    }
    if (soap->session) {
        if (!std::strcmp(soap->session_host, host) && soap->session_port == port)
            SSL_set_session(soap->ssl, soap->session);
        SSL_SESSION_free(soap->session);
        soap->session = nullptr;
    }
    if (!(soap->ssl_flags & SOAP_SSLv3) && read.form == ServerHost::Form::DnsName &&
        !SSL_set_tlsext_host_name(soap->ssl, host))
        return soap_set_receiver_error(soap, "SSL/TLS error", "SNI failed", SOAP_SSL_ERROR);
    if (Bounding(soap)->trust == ServerTrust::Kind::Anchored && !ExpectHost(soap->ssl, read, host))
        return soap_set_receiver_error(soap, "SSL/TLS error", "Host check failed", SOAP_SSL_ERROR);
    BIO* bio = BIO_new_socket(static_cast<int>(socket), BIO_NOCLOSE);
    if (!bio) return soap->error = SOAP_SSL_ERROR;
    SSL_set_bio(soap->ssl, bio, bio);
    BIO_socket_nbio(static_cast<int>(socket), 1);
    Clock::time_point readLimit = deadline;
    BIO_set_callback_arg(bio, reinterpret_cast<char*>(&readLimit));
    BIO_set_callback_ex(bio, StopReadingAtDeadline);
    const int rc = ConnectUntil(soap, socket, host, deadline);
    BIO_set_callback_ex(bio, nullptr);
    BIO_set_callback_arg(bio, nullptr);
    // The socket's mode as the runtime leaves it after its own handshake.
    BIO_socket_nbio(static_cast<int>(socket), soap->recv_timeout || soap->send_timeout);
    return rc;
}

// Every connection the runtime opens. For an https endpoint of an attempt
// with a deadline the runtime opens the TCP connection as for http, and the
// handshake is made here.
SOAP_SOCKET OpenWithBoundedHandshake(struct soap* soap, const char* endpoint, const char* host, int port) {
    const HandshakeBounding* bounding = Bounding(soap);
    if (!endpoint || soap_tag_cmp(endpoint, "https:*") != 0) return bounding->open(soap, endpoint, host, port);
    if (bounding->trust == ServerTrust::Kind::Unusable) {
        soap_set_sender_error(soap, bounding->refusal.c_str(), "The trust file cannot be used", SOAP_SSL_ERROR);
        return SOAP_INVALID_SOCKET;
    }
    // A host that the resolver could read as another address than the one
    // the certificate is checked for is not connected to at all.
    if (bounding->trust == ServerTrust::Kind::Anchored &&
        ReadServerHost(host).form == ServerHost::Form::OtherAddressForm) {
        const std::string text = kHostPrefix + std::string(host) + kNotDottedDecimal;
        soap_set_sender_error(soap, soap_strdup(soap, text.c_str()), "The host is not checked", SOAP_SSL_ERROR);
        return SOAP_INVALID_SOCKET;
    }
    // Every handshake is made here, where the host is checked and where it
    // decides what goes out as the server name.
    const Clock::time_point deadline = AttemptDeadline(soap).value_or(Clock::time_point::max());
    const std::string plainEndpoint = std::string("http") + (endpoint + std::strlen("https"));
    SOAP_SOCKET socket = bounding->open(soap, plainEndpoint.c_str(), host, port);
    if (!soap_valid_socket(socket) || soap->error != SOAP_OK) return socket;
    if (ShakeHands(soap, socket, host, port, deadline) != SOAP_OK) {
        if (soap->ssl) {
            SSL_free(soap->ssl);
            soap->ssl = nullptr;
        }
        ERR_clear_error();
        soap->fclosesocket(soap, socket);
        return soap->socket = SOAP_INVALID_SOCKET;
    }
    soap->imode |= SOAP_ENC_SSL;
    soap->omode |= SOAP_ENC_SSL;
    return socket;
}

int CopyBounding(struct soap*, struct soap_plugin* dst, struct soap_plugin* src) {
    dst->data = new HandshakeBounding(*static_cast<HandshakeBounding*>(src->data));
    return SOAP_OK;
}

void DeleteBounding(struct soap*, struct soap_plugin* plugin) {
    delete static_cast<HandshakeBounding*>(plugin->data);
}

int RegisterBounding(struct soap* soap, struct soap_plugin* plugin, void* argument) {
    const auto* trust = static_cast<const ServerTrust*>(argument);
    plugin->id = kPluginId;
    plugin->data = new HandshakeBounding{soap->fopen, trust->kind, trust->refusal};
    plugin->fcopy = CopyBounding;
    plugin->fdelete = DeleteBounding;
    soap->fopen = OpenWithBoundedHandshake;
    return SOAP_OK;
}

}  // namespace

void BoundTlsHandshakes(struct soap* soap, const ServerTrust& trust) {
    if (!Bounding(soap)) soap_register_plugin_arg(soap, RegisterBounding, const_cast<ServerTrust*>(&trust));
}

#else

void BoundTlsHandshakes(struct soap*, const ServerTrust&) {}

#endif
