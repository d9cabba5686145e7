#include "status/report_sending.h"

#include "platform/console.h"
#include "errors/scan_error_codes.h"
#include "status/report_text.h"

namespace {

const WCHAR kFailureLine[] = TEXT("Soap failure. %s");

}  // namespace

// The runtime's memory of each attempt is freed after it (destroy), so that
// many attempts cost no more than one.
bool SendReport(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request, WCHAR* printed) {
    const bool delivered = proxy.UpdateDeployJobStatus(&request) == SOAP_OK;
    if (delivered) {
        ConsolePrint(TEXT("Success"));
    } else {
        WCHAR faultText[kDescriptionCapacity] = {};
        ToConsoleFaultText(proxy.soap_fault_string(), faultText, kDescriptionCapacity);
        ConsolePrint(kFailureLine, faultText);
        if (printed) FormatTruncatedN(printed, kDescriptionCapacity, kFailureLine, faultText);
    }
    proxy.destroy();
    return delivered;
}

AttemptResult SendReportQuietly(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request) {
    const AttemptResult result = ClassifyAttempt(proxy.UpdateDeployJobStatus(&request));
    proxy.destroy();
    return result;
}
