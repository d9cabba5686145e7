// Keep-alive between report attempts: one connection for the attempts of a
// delivery while the server keeps it open, and a close that ends it.
#include "status/acknowledgement.h"
#include "status/reply_reading.h"

void CloseConnection(struct soap* soap) {
    soap->keep_alive = 0;
    soap_closesock(soap);
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

bool ConnectionReusable(struct soap* soap) {
    return soap->keep_alive != 0 && !Reading(soap)->connectionEnded && soap->bufidx >= soap->buflen &&
           soap_valid_socket(soap->socket);
}
