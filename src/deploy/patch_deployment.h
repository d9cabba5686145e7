// One run of the deployment of an update through the update agent: the
// objects it holds and the steps that ScanAndDownload takes. The steps live in
// files of their own: the search (update_search.cpp), the choice of the way
// and the cached-content installation (cached_content_install.cpp), the
// online installation (online_install.cpp).
#pragma once

#include <tuple>

#include "deploy/step_exit.h"
#include "platform/platform.h"

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

// One call of the online way that may fail: the console line of its failure
// (with the code) and the release routines that the failure runs.
struct OnlineCall {
    const WCHAR* failureLine;
    ExitRelease release;
};

// One run of the deployment: the WUA objects it holds, and the steps of the
// search, the choice of the way and the three ways of installing. Every step
// that ends the run returns through Fail or Finish, which run the release
// routines that the exit calls for.
class PatchDeployment {
public:
    PatchDeployment(const WCHAR* updateId, const WCHAR* jobId, const WCHAR* driveLetter, WCHAR* description)
        : updateId_(updateId), jobId_(jobId), driveLetter_(driveLetter), description_(description) {}

    int Run() {
        if (const StepResult searched = Search()) {
            return *searched;
        }
        return Deploy();
    }

    // Ends an interrupted run: the exit's lines and description, then
    // whatever the run still holds goes back without the release routines'
    // lines.
    template <typename... What>
    int Abandon(const What&... what) {
        return Fail(ExitRelease::Quiet, what...);
    }

private:
    // The search, step by step; each goes on only when the update is found
    // and not installed yet.
    StepResult Search();
    StepResult OpenSession(bool packagePresent, const WCHAR* scanPackagePath);
    StepResult CreateSearcher(bool packagePresent);
    StepResult FindUpdates();
    StepResult CheckFoundUpdate();

    int Deploy();
    StepResult CacheBundledContent(LONG bundledCount);
    StepResult CacheBundledUpdate(LONG index);
    HRESULT CopyContentToCache(const WCHAR* fileName, const WCHAR* filePath);
    int InstallCachedUpdate();
    int InstallOnline();
    template <typename Agent, typename Result, typename Create, typename Start>
    StepResult RunOnlineAgent(const WCHAR* step, Create create, Agent*& agent, Start start, Result*& result,
                              const OnlineCall (&calls)[3], OperationResultCode& resultCode);
    HRESULT InstallationFailureCode();
    HRESULT ReadFirstUpdateHResult(LONG& updateHResult);
    int RestartFlag();

    // Ends the run with result: prints the exit's lines and writes its
    // description in the order given, then releases as the exit calls for.
    template <typename... What>
    int Finish(ExitRelease release, int result, const What&... what) {
        EndStep(description_, result, what...);
        ReleaseFor(release);
        return result;
    }

    // A failing step: its lines, its description (none when no text is
    // given), its release routines, and -1.
    template <typename... What>
    int Fail(ExitRelease release, const What&... what) {
        return Finish(release, -1, what...);
    }

    void ReleaseFor(ExitRelease release);

    // The references of each phase, in the order of its release routine's
    // parameters.
    auto ScanPhase() {
        return std::tie(lpUpdateSession, lpUpdateSearcher, lpUpdateServiceManager, pService, pUpdateCollection1,
                        pUpdateCollection2, pUpdateCollection3, pSearchResult);
    }
    auto DeployPhase() {
        return std::tie(lpUpdate, lpUpdate2, pUpdateIdentity, pUpdateDownloadContentCollection, lpString,
                        pUpdateDownloadContent, lpUpdateInstaller, IResult, lpUpdateDownloader, lpDownloadResult,
                        pUpdate, pUpdate2);
    }

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
