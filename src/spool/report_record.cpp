#include "spool/report_record.h"

#include <cstdio>
#include <sstream>

#include "status/report_text.h"

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

// The time as the runtime writes a dateTime in UTC, "2026-12-07T11:42:17Z",
// computed here: the C library's calendar calls load the machine's time zone
// on their first use, which costs a job more than writing its record.
std::string UtcDateTimeText(std::time_t time) {
    const long long kSecondsPerDay = 86400;
    long long seconds = static_cast<long long>(time);
    long long days = seconds / kSecondsPerDay;
    long long ofDay = seconds % kSecondsPerDay;
    if (ofDay < 0) {
        ofDay += kSecondsPerDay;
        --days;
    }
    // The proleptic Gregorian date of a day count since 1970-01-01, by eras
    // of 400 years that begin on 1 March.
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthFromMarch = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const long long month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month, day, ofDay / 3600,
                  ofDay / 60 % 60, ofDay % 60);
    return text;
}

// Collects what the runtime sends into the std::string its user field points
// at; nothing is thrown through the runtime.
int AppendToText(struct soap* soap, const char* data, std::size_t size) {
    try {
        static_cast<std::string*>(soap->user)->append(data, size);
    } catch (...) {
        return SOAP_EOM;
    }
    return SOAP_OK;
}

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
    std::string out;
    soap->user = &out;
    soap->fsend = AppendToText;
    // No descriptor of the process: on Windows the runtime would otherwise
    // switch its send descriptor, standard output, to binary mode and end
    // the console's UTF-16 text mode.
    soap->sendfd = -1;
    const std::string written = UtcDateTimeText(copy.written);
    // The first element carries the namespace table's declarations, so the
    // request element reads back with the service's namespace.
    request.soap_serialize(soap);
    if (soap_begin_send(soap) || soap_element_begin_out(soap, kRecordTag, 0, nullptr) ||
        soap_element_begin_out(soap, kWrittenTag, soap_embedded_id(soap, -1, &copy.written, 0), "") ||
        soap_string_out(soap, written.c_str(), 0) || soap_element_end_out(soap, kWrittenTag) ||
        soap_out_int(soap, kAttemptsTag, -1, &copy.attempts, "") || request.soap_out(soap, kRequestTag, -1, "") ||
        soap_element_end_out(soap, kRecordTag) || soap_end_send(soap))
        return std::string();
    return out;
}

std::optional<ReportRecord> ReadReportRecord(const std::string& bytes) {
    // The records this worker writes are well-formed UTF-8: one that is not
    // is not one of them, and the runtime would read it into characters it
    // does not write back the same (or, from a byte UTF-8 never uses, into
    // values that overflow its character arithmetic).
    if (!IsWellFormedUtf8(bytes)) return std::nullopt;
    // Nor does it write declarations, comments or character data sections
    // ("<!"): a document type declaration would have the runtime define
    // entities from a file's text.
    if (bytes.find("<!") != std::string::npos) return std::nullopt;
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
    // This worker dates its records with the time of writing: one dated
    // before Windows file times begin (1601) or after 9999 is not its own,
    // and the runtime's calendar does not read every such date back as the
    // same time.
    const std::time_t kEarliestWritten = -11644473600;  // 1601-01-01T00:00:00Z
    const std::time_t kLatestWritten = 253402300799;    // 9999-12-31T23:59:59Z
    if (record.written < kEarliestWritten || record.written > kLatestWritten) return std::nullopt;
    // Its description passed ToReportText: one with a character that did
    // not is not its own, and may not be written back the same.
    if (request.strErrorDescription && !IsReportText(request.strErrorDescription)) return std::nullopt;
    record.SetRequest(request);
    return record;
}
