/* The least an HTTPS report can cost: one request's bytes sent over TLS to a
 * loopback server and its reply read to the server's close, with OpenSSL as
 * a plain program uses it (its default initialisation, the system's
 * configuration included) and the server not verified, as the worker does
 * without a trust file. The benchmark counts the instructions of this
 * exchange beside those of the worker's job with nothing to do.
 *   tls_exchange <port> <request file>
 * Exit status 0 when the reply is an HTTP 2xx status, 1 otherwise. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kMostRequest = 1 << 20, kMostReply = 1 << 16 };

static int Fail(const char* what) {
    fprintf(stderr, "tls_exchange: %s\n", what);
    return 1;
}

static size_t ReadRequest(const char* path, char* request) {
    FILE* file = fopen(path, "rb");
    if (!file) return 0;
    size_t size = fread(request, 1, kMostRequest, file);
    fclose(file);
    return size;
}

static int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (connect(fd, (struct sockaddr*)&address, sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

/* Sends the request and reads the reply until the server closes; returns
 * the reply's length, or -1. */
static int Exchange(SSL* ssl, const char* request, size_t size, char* reply) {
    if (SSL_connect(ssl) != 1) return -1;
    if (SSL_write(ssl, request, (int)size) != (int)size) return -1;
    int total = 0;
    for (;;) {
        int got = SSL_read(ssl, reply + total, kMostReply - 1 - total);
        if (got <= 0) break;
        total += got;
    }
    reply[total] = '\0';
    SSL_shutdown(ssl);
    return total;
}

int main(int argc, char** argv) {
    if (argc != 3) return Fail("usage: tls_exchange <port> <request file>");
    static char request[kMostRequest];
    static char reply[kMostReply];
    size_t size = ReadRequest(argv[2], request);
    if (size == 0) return Fail("the request file cannot be read");
    int fd = Connect(atoi(argv[1]));
    if (fd < 0) return Fail("cannot connect");
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL* ssl = context ? SSL_new(context) : NULL;
    int length = -1;
    if (ssl && SSL_set_fd(ssl, fd) == 1) length = Exchange(ssl, request, size, reply);
    SSL_free(ssl);
    SSL_CTX_free(context);
    close(fd);
    if (length < 0) return Fail("the TLS exchange failed");
    return strncmp(reply, "HTTP/1.1 2", 10) == 0 ? 0 : Fail("the reply is not a success");
}
