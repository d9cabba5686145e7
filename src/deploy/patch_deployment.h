// One run of the deployment of an update through the update agent: the
// objects it holds and the steps that ScanAndDownload takes. The steps live in
// files of their own: the search (update_search.cpp), the choice of the way
// and the cached-content installation (cached_content_install.cpp), the
// online installation (online_install.cpp).
#pragma once

#include <cstddef>

#include "platform/platform.h"

constexpr std::size_t kDescriptionCapacity = 1024;

// How an exit gives the update agent's objects back: Scan runs the
// scan-phase release routine, Both runs both routines, Quiet runs neither.
// Whatever an exit's routines do not cover is released without a console
// line, so that no exit leaves an object alive.
enum class ExitRelease { None, Scan, Both, Quiet };

// Releases an object that a newer one replaces. The reference is cleared
// first, so that a release that raises an exception is not repeated.
template <typename T>
void ReleaseAndClear(T*& reference) {
    T* held = reference;
    reference = nullptr;
    if (held != nullptr) {
        held->Release();
    }
}

// The same under a guard for each reference, where nothing may stop the
// releases that follow or the run itself: on the way out, and between two
// bundled updates. A release that raises an exception is passed over.
template <typename... T>
void ReleaseQuietly(T*&... references) {
    auto release = [](auto*& reference) {
        try {
            ReleaseAndClear(reference);
        } catch (...) {
        }
    };
    (release(references), ...);
}

// The code that describes a step which ended without the object it was to
// hand back. A step that claimed success has no failure code of its own:
// E_POINTER stands for the missing object, on the console and in the
// description alike.
// For a creation or query, which fails only with a negative result:
inline HRESULT MissingObjectCode(HRESULT hr) {
    return SUCCEEDED(hr) ? E_POINTER : hr;
}
// For a call that fails with anything but S_OK (S_FALSE keeps its own code):
inline HRESULT FailedCallCode(HRESULT hr) {
    return hr == S_OK ? E_POINTER : hr;
}

// One run of the deployment: the WUA objects it holds, and the steps of the
// search, the choice of the way and the three ways of installing. Every step
// that ends the run returns through Fail, FailWithoutText or Finish, which run
// the release routines that the exit calls for.
class PatchDeployment {
public:
    PatchDeployment(const WCHAR* updateId, const WCHAR* jobId, const WCHAR* driveLetter, WCHAR* description)
        : updateId_(updateId), jobId_(jobId), driveLetter_(driveLetter), description_(description) {}

    int Run() {
        const int searchResult = Search();
        if (searchResult != kContinue) {
            return searchResult;
        }
        return Deploy();
    }

    // Releases whatever an interrupted run still holds, without the release
    // routines' lines.
    void ReleaseRemaining() { ReleaseFor(ExitRelease::Quiet); }

private:
    static constexpr int kContinue = 2;

    int Search();
    int Deploy();
    int CacheBundledContent(LONG bundledCount);
    int InstallCachedUpdate();
    int InstallOnline();
    HRESULT InstallationFailureCode();
    HRESULT ReadFirstUpdateHResult(LONG& updateHResult);
    int RestartFlag();

    // The failure-text rule: the code's description from GetScanErrorCodes,
    // or the bare code when there is none.
    void WriteFailureText(HRESULT code);

    int Fail(ExitRelease release, HRESULT code) {
        WriteFailureText(code);
        return FailWithoutText(release);
    }

    int FailWithoutText(ExitRelease release) { return Finish(release, -1); }

    // A content file that did not reach the update agent's cache: the code
    // on the console ("Error %x") and its failure text.
    int FailCachingContent(HRESULT code);

    // A failed step of the online way: its console line, no description.
    int FailOnline(ExitRelease release, const WCHAR* lineFormat, HRESULT code);

    int Finish(ExitRelease release, int result) {
        ReleaseFor(release);
        return result;
    }

    void ReleaseFor(ExitRelease release);
    void ForgetScanPhase();
    void ForgetDeployPhase();

    const WCHAR* updateId_;
    const WCHAR* jobId_;
    const WCHAR* driveLetter_;
    WCHAR* description_;

    // Search phase.
    IUpdateSession* lpUpdateSession = nullptr;
    IUpdateSearcher* lpUpdateSearcher = nullptr;
    IUpdateServiceManager* lpUpdateServiceManager = nullptr;
    IUpdateService* pService = nullptr;
    IUpdateCollection* pUpdateCollection1 = nullptr;
    IUpdateCollection* pUpdateCollection2 = nullptr;
    IUpdateCollection* pUpdateCollection3 = nullptr;
    ISearchResult* pSearchResult = nullptr;
    // Deployment phase.
    IUpdate* lpUpdate = nullptr;
    IUpdate2* lpUpdate2 = nullptr;
    IUpdateIdentity* pUpdateIdentity = nullptr;
    IUpdateDownloadContentCollection* pUpdateDownloadContentCollection = nullptr;
    IStringCollection* lpString = nullptr;
    IUpdateDownloadContent* pUpdateDownloadContent = nullptr;
    IUpdateInstaller* lpUpdateInstaller = nullptr;
    IInstallationResult* IResult = nullptr;
    IUpdateDownloader* lpUpdateDownloader = nullptr;
    IDownloadResult* lpDownloadResult = nullptr;
    IUpdate* pUpdate = nullptr;
    IUpdate2* pUpdate2 = nullptr;
};
