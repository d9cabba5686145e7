#include "spool/report_record.h"

#include <chrono>
#include <cstdio>
#include <sstream>

#include "status/report_text.h"

namespace {

const char kRecordTag[] = "ReportRecord";
const char kWrittenTag[] = "written";
const char kAttemptsTag[] = "attempts";
const char kRefusalsTag[] = "refusals";
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
// from the standard library's calendar, which reads no time zone: the C
// library's gmtime_r loads the machine's zone on first use (and under a zone
// with leap seconds shifts the time by them), and gmtime_s refuses times
// before 1970.
std::string UtcDateTimeText(std::time_t time) {
    using namespace std::chrono;
    const sys_seconds at{seconds{time}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<seconds> ofDay{at - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(ofDay.hours().count()), static_cast<int>(ofDay.minutes().count()),
                  static_cast<int>(ofDay.seconds().count()));
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

// The refusal count, an element that only refused records have: missing,
// it is 0. False for one that is there and is not a count.
bool ReadRefusals(struct soap* soap, int& refusals) {
    if (soap_in_int(soap, kRefusalsTag, &refusals, "")) return refusals > 0;
    if (soap->error != SOAP_TAG_MISMATCH) return false;
    soap->error = SOAP_OK;
    refusals = 0;
    return true;
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
        soap_out_int(soap, kAttemptsTag, -1, &copy.attempts, "") ||
        // Only a refused record has the count: every other record reads as
        // the records of earlier workers, which know no such field.
        (copy.refusals > 0 && soap_out_int(soap, kRefusalsTag, -1, &copy.refusals, "")) ||
        request.soap_out(soap, kRequestTag, -1, "") || soap_element_end_out(soap, kRecordTag) || soap_end_send(soap))
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
        !soap_in_int(soap, kAttemptsTag, &record.attempts, "") || !ReadRefusals(soap, record.refusals) ||
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
