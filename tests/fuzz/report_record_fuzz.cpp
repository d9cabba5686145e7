// The report spool's reader against any file content: it never crashes, and
// whatever it accepts is a record that writes and reads back unchanged, so a
// record that was read is sent exactly as it was kept.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "spool/report_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<ReportRecord> record = ReadReportRecord(std::string(reinterpret_cast<const char*>(data), size));
    if (!record) return 0;
    std::optional<ReportRecord> again = ReadReportRecord(WriteReportRecord(*record));
    if (!again || again->nSystemID != record->nSystemID || again->nPatchID != record->nPatchID ||
        again->nJobID != record->nJobID || again->nStatus != record->nStatus ||
        again->nRebootRequired != record->nRebootRequired ||
        again->strErrorDescription != record->strErrorDescription || again->written != record->written ||
        again->attempts != record->attempts)
        std::abort();
    return 0;
}
