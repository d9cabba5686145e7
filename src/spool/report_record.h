// A status report kept on disk until the server has acknowledged it: the
// UpdateDeployJobStatus request as the runtime writes it, and what the worker
// needs to manage it. The file is XML that support staff can read:
//
//   <ReportRecord xmlns:...>
//     <written>2026-12-07T11:42:17Z</written>
//     <attempts>5</attempts>
//     <refusals>1</refusals>     (only in a record the server declined)
//     <ns1:UpdateDeployJobStatus>...the request's fields...</ns1:UpdateDeployJobStatus>
//   </ReportRecord>
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "soapH.h"

struct ReportRecord {
    int nSystemID = 0;
    int nPatchID = 0;
    int nJobID = 0;
    int nStatus = 0;
    int nRebootRequired = 0;
    std::optional<std::wstring> strErrorDescription;
    std::time_t written = 0;  // when the record was last written, UTC
    int attempts = 0;         // report attempts its own job made
    int refusals = 0;         // deliveries whose report the server declined with a SOAP Fault

    // Copies the request's fields; its description, when present, is copied too.
    void SetRequest(const ns1__UpdateDeployJobStatus& request);
    // Points request at this record's fields; the record must outlive its use.
    void FillRequest(ns1__UpdateDeployJobStatus& request);
};

// The record's bytes, written with the runtime's serializer of the request
// class. Empty when the runtime fails (memory).
std::string WriteReportRecord(const ReportRecord& record);

// Reads bytes written by WriteReportRecord with the runtime's reader, under
// strict validation: every field of the request must be present and nothing
// else may be. Nothing when the bytes are not such a record.
std::optional<ReportRecord> ReadReportRecord(const std::string& bytes);
