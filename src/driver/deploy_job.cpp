#include "driver/deploy_job.h"

#include <memory>
#include <string>

#include "deploy/scan_and_download.h"
#include "driver/job_outcome_keeper.h"
#include "driver/narrow_text.h"
#include "errors/scan_error_codes.h"
#include "platform/console.h"
#include "status/report_text.h"
#include "status/status_proxy.h"
#include "status/tls_client.h"

namespace {

constexpr int kReportAttempts = 5;
constexpr DWORD kPauseAfterFailedReportMs = 60000;
constexpr int kConnectTimeoutSeconds = 120;
constexpr int kStatusSucceeded = 6;
constexpr int kStatusFailed = -6;

// The numbers of the job that every report carries.
struct JobNumbers {
    int jobId;
    int systemId;
    int patchId;
};

void FillRequest(ns1__UpdateDeployJobStatus& request, const JobNumbers& job, int status, int rebootRequired,
                 std::wstring& description) {
    request.nJobID = job.jobId;
    request.nPatchID = job.patchId;
    request.nSystemID = job.systemId;
    request.nStatus = status;
    request.nRebootRequired = rebootRequired;
    request.strErrorDescription = description.data();
}

void FillFailure(ns1__UpdateDeployJobStatus& request, const JobNumbers& job, const WCHAR* description,
                 std::wstring& reportText) {
    reportText = ToReportText(description);
    FillRequest(request, job, kStatusFailed, 0, reportText);
}

// One report attempt, printed as "Success" or with the proxy's fault text
// (made safe for the console). The runtime's memory of the attempt is freed
// after it, so that five attempts cost no more than one.
bool SendReport(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request) {
    const bool delivered = proxy.UpdateDeployJobStatus(&request) == SOAP_OK;
    if (delivered) {
        ConsolePrint(TEXT("Success"));
    } else {
        WCHAR faultText[kDescriptionCapacity] = {};
        ToConsoleFaultText(proxy.soap_fault_string(), faultText, kDescriptionCapacity);
        ConsolePrint(TEXT("Soap failure. %s"), faultText);
    }
    proxy.destroy();
    return delivered;
}

// Printed instead of the report when the endpoint cannot be sent as it is.
const WCHAR kUnsendableEndpoint[] = TEXT("Soap failure. The status server's host or port is not valid.");

}  // namespace

int RunDeployJob(WCHAR** argv) {
    return RunDeployJob(argv, ScanAndDownload);
}

int RunDeployJob(WCHAR** argv, DeployRoutine deploy) {
    WCHAR endpoint[1024] = {};
    WCHAR description[kDescriptionCapacity] = {};
    const JobNumbers job{_wtoi(argv[2]), _wtoi(argv[8]), _wtoi(argv[9])};
    ns1__UpdateDeployJobStatus request;

    // The proxy keeps pointers to these narrow copies: they live until the end.
    NarrowText userId = ToNarrow(argv[4]);
    NarrowText password = ToNarrow(argv[5]);
    NarrowText narrowEndpoint;
    const bool useTls = _wtoi(argv[10]) == 1;
    PrepareTlsLibrary(useTls);
    auto proxy = std::make_unique<veltwuaPortBindingProxy>(userId.get(), password.get());
    proxy->connect_timeout = kConnectTimeoutSeconds;
    // Without these limits a server that accepts and never answers would hold
    // the worker forever and the job would never be reported.
    proxy->send_timeout = StatusTransferTimeoutSeconds();
    proxy->recv_timeout = StatusTransferTimeoutSeconds();
    // A server that keeps sending and never finishes is bounded too: the
    // whole attempt's transfer gets the same limit.
    proxy->transfer_timeout = StatusTransferTimeoutSeconds();
    // A host or port that would change the request, or the server or path it
    // goes to, is not sent: no attempt is made, as no retry would mend it.
    const bool endpointSendable = IsSendableEndpointPart(argv[6]) && IsSendableEndpointPart(argv[7]);
    FormatTruncated(endpoint,
                    useTls ? TEXT("https://%s:%s/VeltraneWS/veltwua") : TEXT("http://%s:%s/VeltraneWS/veltwua"),
                    argv[6], argv[7]);
    narrowEndpoint = ToNarrow(endpoint);
    // An endpoint that cannot be sent is never given to the proxy, so that
    // nothing (the time limit's own report included) sends to it.
    if (endpointSendable) proxy->soap_endpoint = narrowEndpoint.get();
    if (useTls) SetUpUnauthenticatedTlsClient(proxy.get());

    std::wstring reportText;
    // Kept on disk until acknowledged: first as interrupted, then the outcome.
    FillFailure(request, job, JobOutcomeKeeper::kInterruptedText, reportText);
    JobOutcomeKeeper keeper(argv[2], argv[3], request, *proxy);
    try {
        int result;
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(hr)) {
            ConsolePrint(TEXT("Failed to initialize COM.\n"));
            WriteFailureText(static_cast<DWORD>(hr), description, TEXT("Failed to initialize COM library. "));
            result = -1;
        } else {
            result =
                deploy(argv[1], argv[2], argv[3], argv[4], argv[5], argv[6], argv[7], argv[8], argv[9], description);
        }

        if (result < 0) {
            FillFailure(request, job, description, reportText);
        } else {
            reportText.clear();
            FillRequest(request, job, kStatusSucceeded, result, reportText);
        }
        keeper.OutcomeKnown(request);

        if (!endpointSendable) ConsolePrint(kUnsendableEndpoint);
        for (int attempt = 0; endpointSendable && attempt < kReportAttempts; ++attempt) {
            if (SendReport(*proxy, request)) {
                keeper.Acknowledged(*proxy);
                break;
            }
            keeper.AttemptFailed();
            Pause(kPauseAfterFailedReportMs);
        }
        proxy->soap_close_socket();
    } catch (...) {
        ConsolePrint(TEXT("Exception caught in main"));
        if (description[0] == 0) FormatTruncated(description, TEXT("Unknown error."));
        FillFailure(request, job, description, reportText);
        keeper.OutcomeKnown(request);
        if (!endpointSendable)
            ConsolePrint(kUnsendableEndpoint);
        else if (SendReport(*proxy, request))
            keeper.Acknowledged(*proxy);
        else
            keeper.AttemptFailed();
    }
    proxy->destroy();
    return 0;
}
