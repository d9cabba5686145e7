#include "status/attempt_result.h"

#include "stdsoap2.h"

AttemptResult ClassifyAttempt(int soapError) {
    constexpr int kFirstHttpStatus = 100;
    constexpr int kLastHttpStatus = 599;
    switch (soapError) {
        case SOAP_OK: return AttemptResult::Acknowledged;
        case SOAP_FAULT:
        case SOAP_CLI_FAULT:
        case SOAP_SVR_FAULT: return AttemptResult::Faulted;
        case SOAP_MUSTUNDERSTAND:
        case SOAP_VERSIONMISMATCH: return AttemptResult::Refused;
        default:
            if (soapError >= kFirstHttpStatus && soapError <= kLastHttpStatus) return AttemptResult::Refused;
            return AttemptResult::Unreachable;
    }
}
