#include "acknowledgement.h"

#include <cstring>
#include <sstream>
#include <string>

namespace {

constexpr std::size_t kStatusLineSize = 256;

// What the capture keeps per context: the runtime's own header parser and
// the last status line it read.
struct StatusLineCapture {
    int (*parse)(struct soap*);
    char statusLine[kStatusLineSize];
};

int ParseAndKeepStatusLine(struct soap* soap) {
    auto* capture = static_cast<StatusLineCapture*>(soap_lookup_plugin(soap, "status-line"));
    int rc = capture->parse(soap);
    std::strncpy(capture->statusLine, soap->msgbuf, kStatusLineSize - 1);
    capture->statusLine[kStatusLineSize - 1] = 0;
    // A status that the runtime would judge by itself is handed on as a
    // successful parse: ReceiveAcknowledgement applies its own rules.
    if (rc != SOAP_OK && rc == static_cast<int>(soap->status)) {
        soap->error = SOAP_OK;
        return SOAP_OK;
    }
    return rc;
}

int CopyCapture(struct soap*, struct soap_plugin* dst, struct soap_plugin* src) {
    dst->data = new StatusLineCapture(*static_cast<StatusLineCapture*>(src->data));
    return SOAP_OK;
}

void DeleteCapture(struct soap*, struct soap_plugin* plugin) {
    delete static_cast<StatusLineCapture*>(plugin->data);
}

int RegisterCapture(struct soap* soap, struct soap_plugin* plugin, void*) {
    auto* capture = new StatusLineCapture{soap->fparse, {0}};
    plugin->id = "status-line";
    plugin->data = capture;
    plugin->fcopy = CopyCapture;
    plugin->fdelete = DeleteCapture;
    soap->fparse = ParseAndKeepStatusLine;
    return SOAP_OK;
}

const char* StatusLine(struct soap* soap) {
    auto* capture = static_cast<StatusLineCapture*>(soap_lookup_plugin(soap, "status-line"));
    return capture ? capture->statusLine : "";
}

int Fail(struct soap* soap, int code, const char* faultString, const char* detail) {
    if (faultString) {
        // The runtime keeps the pointers: give it copies in its own memory.
        soap_set_receiver_error(soap, soap_strdup(soap, faultString), detail ? soap_strdup(soap, detail) : nullptr,
                                code);
    }
    soap->error = code;
    soap_closesock(soap);
    return code;
}

// Reads a 400 or 500 reply's content as a SOAP Fault. Returns the error the
// Fault gives, or SOAP_OK when the content is no envelope with a Fault.
int ReadFault(struct soap* soap, const std::string& content) {
    std::istringstream input(content);
    std::istream* saved = soap->is;
    soap->is = &input;
    int rc = SOAP_OK;
    // The runtime also takes XML of other kinds for an envelope; only one in
    // a SOAP namespace sets the version.
    soap->version = 0;
    if (soap_begin_recv(soap) == SOAP_OK && soap_envelope_begin_in(soap) == SOAP_OK && soap->version != 0 &&
        soap_recv_header(soap) == SOAP_OK && soap_body_begin_in(soap) == SOAP_OK) {
        rc = soap_recv_fault(soap, 1);
        if (rc != SOAP_OK && !soap->fault) rc = SOAP_OK;
    }
    soap->is = saved;
    return rc;
}

}  // namespace

void InstallStatusLineCapture(struct soap* soap) {
    if (!soap_lookup_plugin(soap, "status-line")) soap_register_plugin_arg(soap, RegisterCapture, nullptr);
}

int ReceiveAcknowledgement(struct soap* soap) {
    soap->error = SOAP_OK;
    int rc = soap_begin_recv(soap);
    int status = soap->status;
    bool isHttpStatus = status >= 100 && status < 600;
    if (rc != SOAP_OK && !(isHttpStatus && rc == status)) {
        // Nothing usable arrived: a transport failure with the runtime's text.
        soap_closesock(soap);
        return soap->error = rc;
    }
    if (!isHttpStatus) return Fail(soap, rc != SOAP_OK ? rc : SOAP_NO_DATA, nullptr, nullptr);

    // The reply's content, read to its end (nothing when the reply said
    // Content-Length 0).
    std::string content;
    bool lengthGiven = soap->length > 0 || !soap->body;
    if (rc == SOAP_OK) {
        std::size_t length = 0;
        const char* body = soap_http_get_body(soap, &length);
        if (soap->error != SOAP_OK) {
            int error = soap->error;
            soap_closesock(soap);
            return soap->error = error;
        }
        if (body) content.assign(body, length);
        (void)soap_end_recv(soap);
    }
    soap_closesock(soap);

    bool success2xx = status >= 200 && status <= 299;
    bool faultStatus = status == 400 || status == 500;
    if (content.empty()) {
        if (status == 202) return soap->error = SOAP_OK;
        if (status == 200 && !lengthGiven) return soap->error = SOAP_OK;
        if (success2xx) return Fail(soap, status, nullptr, nullptr);
        return Fail(soap, status, "HTTP Error", StatusLine(soap));
    }
    if (faultStatus) {
        int faultError = ReadFault(soap, content);
        soap_closesock(soap);
        if (faultError != SOAP_OK) return soap->error = faultError;
    }
    if (success2xx || faultStatus) return Fail(soap, status, "HTTP Error", content.c_str());
    std::string statusLine = StatusLine(soap);
    return Fail(soap, status, statusLine.c_str(), content.c_str());
}
