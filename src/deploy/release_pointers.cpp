#include "deploy/release_pointers.h"

#include "platform/console.h"

namespace {

// Releases one reference under its own guard. failureLine is printed when the
// release raises an exception; null means the reference has no line of its own.
void ReleaseGuarded(IUnknown* reference, const WCHAR* failureLine) {
    if (reference == nullptr) {
        return;
    }
    try {
        reference->Release();
    } catch (...) {
        if (failureLine != nullptr) {
            ConsolePrint(TEXT("%s"), failureLine);
        }
    }
}

}  // namespace

void ReleasePatchScanPointers(IUpdateSession* lpUpdateSession, IUpdateSearcher* lpUpdateSearcher,
                              IUpdateServiceManager* lpUpdateServiceManager, IUpdateService* pService,
                              IUpdateCollection* pUpdateCollection1, IUpdateCollection* pUpdateCollection2,
                              IUpdateCollection* pUpdateCollection3, ISearchResult* pSearchResult) {
    ConsolePrint(TEXT("ReleasePatchScanPointers - Entry"));
    ReleaseGuarded(lpUpdateSession, TEXT("Exception in ReleasePatchScanPointers :: lpUpdateSession->Release()"));
    ReleaseGuarded(lpUpdateSearcher, TEXT("Exception in ReleasePatchScanPointers :: lpUpdateSearcher->Release()"));
    ReleaseGuarded(lpUpdateServiceManager,
                   TEXT("Exception in ReleasePatchScanPointers :: lpUpdateServiceManager->Release()"));
    ReleaseGuarded(pService, TEXT("Exception in ReleasePatchScanPointers :: pService->Release()"));
    ReleaseGuarded(pUpdateCollection1,
                   TEXT("Exception in ReleasePatchScanPointers :: pUpdateCollection1->Release()"));
    ReleaseGuarded(pUpdateCollection2,
                   TEXT("Exception in ReleasePatchScanPointers :: pUpdateCollection2->Release()"));
    ReleaseGuarded(pUpdateCollection3,
                   TEXT("Exception in ReleasePatchScanPointers :: pUpdateCollection3->Release()"));
    ReleaseGuarded(pSearchResult, TEXT("Exception in ReleasePatchScanPointers :: pSearchResult->Release()"));
    ConsolePrint(TEXT("ReleasePatchScanPointers - Exit"));
}

void ReleasePatchDeployPointers(IUpdate* lpUpdate, IUpdate2* lpUpdate2, IUpdateIdentity* pUpdateIdentity,
                                IUpdateDownloadContentCollection* pUpdateDownloadContentCollection,
                                IStringCollection* lpString, IUpdateDownloadContent* pUpdateDownloadContent,
                                IUpdateInstaller* lpUpdateInstaller, IInstallationResult* IResult,
                                IUpdateDownloader* lpUpdateDownloader, IDownloadResult* lpDownloadResult,
                                IUpdate* pUpdate, IUpdate2* pUpdate2) {
    ConsolePrint(TEXT("ReleasePatchDeployPointers - Entry"));
    ReleaseGuarded(lpUpdate, TEXT("Exception in ReleasePatchDeployPointers :: lpUpdate->Release()"));
    ReleaseGuarded(lpUpdate2, TEXT("Exception in ReleasePatchDeployPointers :: lpUpdate2->Release()"));
    ReleaseGuarded(pUpdateIdentity, nullptr);
    ReleaseGuarded(pUpdateDownloadContentCollection,
                   TEXT("Exception in ReleasePatchDeployPointers :: pUpdateDownloadContentCollection->Release()"));
    ReleaseGuarded(lpString, TEXT("Exception in ReleasePatchDeployPointers :: lpString->Release()"));
    ReleaseGuarded(pUpdateDownloadContent,
                   TEXT("Exception in ReleasePatchDeployPointers :: pUpdateDownloadContent->Release()"));
    ReleaseGuarded(lpUpdateInstaller,
                   TEXT("Exception in ReleasePatchDeployPointers :: lpUpdateInstaller->Release()"));
    ReleaseGuarded(IResult, TEXT("Exception in ReleasePatchDeployPointers :: IResult->Release()"));
    ReleaseGuarded(lpUpdateDownloader,
                   TEXT("Exception in ReleasePatchDeployPointers :: lpUpdateDownloader->Release()"));
    ReleaseGuarded(lpDownloadResult, TEXT("Exception in ReleasePatchDeployPointers :: lpDownloadResult->Release()"));
    ReleaseGuarded(pUpdate, TEXT("Exception in ReleasePatchDeployPointers :: pUpdate->Release()"));
    ReleaseGuarded(pUpdate2, TEXT("Exception in ReleasePatchDeployPointers :: pUpdate2->Release()"));
    ConsolePrint(TEXT("ReleasePatchDeployPointers - Exit"));
}
