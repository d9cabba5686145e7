#include "status/reply_content.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "status/reply_document.h"

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
