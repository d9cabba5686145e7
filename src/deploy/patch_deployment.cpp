#include "deploy/patch_deployment.h"

#include "deploy/release_pointers.h"
#include "platform/console.h"
#include "platform/scoped_com.h"
#include "platform/text_format.h"

// Reads the HResult of the first update's installation result and releases
// that result at once. Returns what GetUpdateResult returned (E_POINTER when
// it claimed success without a result).
HRESULT PatchDeployment::ReadFirstUpdateHResult(LONG& updateHResult) {
    IUpdateInstallationResult* updateResult = nullptr;
    HRESULT hr = IResult->GetUpdateResult(0, &updateResult);
    if (updateResult == nullptr) {
        hr = FailedCallCode(hr);
    }
    if (hr == S_OK) {
        updateResult->get_HResult(&updateHResult);
    }
    if (updateResult != nullptr) {
        updateResult->Release();
    }
    return hr;
}

// The code that describes an installation that ran but did not succeed: the
// first update's own result, or the failure to read it.
HRESULT PatchDeployment::InstallationFailureCode() {
    LONG updateHResult = 0;
    const HRESULT hr = ReadFirstUpdateHResult(updateHResult);
    return hr == S_OK ? updateHResult : hr;
}

// 1 when the installation result asks for a restart, else 0. The flag is
// read the way OLE automation turns a VARIANT_BOOL into text (-1 for true);
// a failed conversion raises an exception.
int PatchDeployment::RestartFlag() {
    VARIANT_BOOL rebootRequired = VARIANT_FALSE;
    IResult->get_RebootRequired(&rebootRequired);
    ScopedVariant flag;
    flag->vt = VT_I2;
    flag->iVal = rebootRequired;
    flag.ChangeType(VT_BSTR);
    return _wtoi(flag->bstrVal) == -1 ? 1 : 0;
}

void PatchDeployment::ReleaseFor(ExitRelease release) {
    if (release == ExitRelease::None) {
        return;
    }
    // The release routines take their references by value; the references
    // they were given are cleared so that nothing is released twice.
    auto forget = [](auto*&... references) { ((references = nullptr), ...); };
    if (release != ExitRelease::Quiet) {
        std::apply(ReleasePatchScanPointers, ScanPhase());
        std::apply(forget, ScanPhase());
    }
    if (release == ExitRelease::Both) {
        std::apply(ReleasePatchDeployPointers, DeployPhase());
        std::apply(forget, DeployPhase());
    }
    auto releaseQuietly = [](auto*&... references) { ReleaseQuietly(references...); };
    std::apply(releaseQuietly, std::tuple_cat(ScanPhase(), DeployPhase()));
}
