#include "status/report_record.h"

#include <sstream>

namespace {

const char kRecordTag[] = "ReportRecord";
const char kWrittenTag[] = "written";
const char kAttemptsTag[] = "attempts";
const char kRequestTag[] = "ns1:UpdateDeployJobStatus";

// A runtime context of its own for one record, ended with everything it
// allocated.
class RecordContext {
public:
    RecordContext(soap_mode inputMode, soap_mode outputMode) : soap_(inputMode, outputMode) {}
    ~RecordContext() {
        soap_destroy(&soap_);
        soap_end(&soap_);
    }
    RecordContext(const RecordContext&) = delete;
    RecordContext& operator=(const RecordContext&) = delete;
    struct soap* Get() {
        return &soap_;
    }

private:
    struct soap soap_;
};

}  // namespace

void ReportRecord::SetRequest(const ns1__UpdateDeployJobStatus& request) {
    nSystemID = request.nSystemID;
    nPatchID = request.nPatchID;
    nJobID = request.nJobID;
    nStatus = request.nStatus;
    nRebootRequired = request.nRebootRequired;
    if (request.strErrorDescription)
        strErrorDescription = std::wstring(request.strErrorDescription);
    else
        strErrorDescription.reset();
}

void ReportRecord::FillRequest(ns1__UpdateDeployJobStatus& request) {
    request.nSystemID = nSystemID;
    request.nPatchID = nPatchID;
    request.nJobID = nJobID;
    request.nStatus = nStatus;
    request.nRebootRequired = nRebootRequired;
    request.strErrorDescription = strErrorDescription ? strErrorDescription->data() : nullptr;
}

std::string WriteReportRecord(const ReportRecord& record) {
    ReportRecord copy = record;
    ns1__UpdateDeployJobStatus request;
    copy.FillRequest(request);
    RecordContext context(SOAP_IO_DEFAULT, SOAP_XML_INDENT);
    struct soap* soap = context.Get();
    std::ostringstream out;
    soap->os = &out;
    // The first element carries the namespace table's declarations, so the
    // request element reads back with the service's namespace.
    request.soap_serialize(soap);
    if (soap_begin_send(soap) || soap_element_begin_out(soap, kRecordTag, 0, nullptr) ||
        soap_outdateTime(soap, kWrittenTag, -1, &copy.written, "", 0) ||
        soap_out_int(soap, kAttemptsTag, -1, &copy.attempts, "") || request.soap_out(soap, kRequestTag, -1, "") ||
        soap_element_end_out(soap, kRecordTag) || soap_end_send(soap))
        return std::string();
    return out.str();
}

std::optional<ReportRecord> ReadReportRecord(const std::string& bytes) {
    RecordContext context(SOAP_ENC_PLAIN | SOAP_XML_STRICT, SOAP_IO_DEFAULT);
    struct soap* soap = context.Get();
    std::istringstream in(bytes);
    soap->is = &in;
    ReportRecord record;
    ns1__UpdateDeployJobStatus request;
    if (soap_begin_recv(soap) || soap_element_begin_in(soap, kRecordTag, 0, nullptr) ||
        !soap_indateTime(soap, kWrittenTag, &record.written, "", 0) ||
        !soap_in_int(soap, kAttemptsTag, &record.attempts, "") ||
        !soap_in_ns1__UpdateDeployJobStatus(soap, kRequestTag, &request, "") || soap_element_end_in(soap, kRecordTag) ||
        soap_end_recv(soap))
        return std::nullopt;
    record.SetRequest(request);
    return record;
}
