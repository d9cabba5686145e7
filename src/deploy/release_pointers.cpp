#include "deploy/release_pointers.h"

#include <initializer_list>

#include "platform/console.h"

namespace {

// A reference as a release routine hands it over: the object, and the name
// that its exception line gives it (null for none).
struct NamedReference {
    NamedReference(IUnknown* object, const WCHAR* objectName) : reference(object), name(objectName) {}
    IUnknown* reference;
    const WCHAR* name;
};

// The reference under the name of the parameter that holds it.
#define NAMED(reference) NamedReference(reference, TEXT(#reference))

// Releases one reference under its own guard; a release that raises an
// exception is reported by the reference's own line, and the routine goes on.
void ReleaseGuarded(const WCHAR* routine, const NamedReference& named) {
    if (named.reference == nullptr) {
        return;
    }
    try {
        named.reference->Release();
    } catch (...) {
        if (named.name != nullptr) {
            ConsolePrint(TEXT("Exception in %s :: %s->Release()"), routine, named.name);
        }
    }
}

// A release routine: its entry line, each reference in order, its exit line.
void ReleaseInOrder(const WCHAR* routine, std::initializer_list<NamedReference> references) {
    ConsolePrint(TEXT("%s - Entry"), routine);
    for (const NamedReference& named : references) {
        ReleaseGuarded(routine, named);
    }
    ConsolePrint(TEXT("%s - Exit"), routine);
}

}  // namespace

void ReleasePatchScanPointers(IUpdateSession* lpUpdateSession, IUpdateSearcher* lpUpdateSearcher,
                              IUpdateServiceManager* lpUpdateServiceManager, IUpdateService* pService,
                              IUpdateCollection* pUpdateCollection1, IUpdateCollection* pUpdateCollection2,
                              IUpdateCollection* pUpdateCollection3, ISearchResult* pSearchResult) {
    ReleaseInOrder(
        TEXT("ReleasePatchScanPointers"),
        {NAMED(lpUpdateSession), NAMED(lpUpdateSearcher), NAMED(lpUpdateServiceManager), NAMED(pService),
         NAMED(pUpdateCollection1), NAMED(pUpdateCollection2), NAMED(pUpdateCollection3), NAMED(pSearchResult)});
}

void ReleasePatchDeployPointers(IUpdate* lpUpdate, IUpdate2* lpUpdate2, IUpdateIdentity* pUpdateIdentity,
                                IUpdateDownloadContentCollection* pUpdateDownloadContentCollection,
                                IStringCollection* lpString, IUpdateDownloadContent* pUpdateDownloadContent,
                                IUpdateInstaller* lpUpdateInstaller, IInstallationResult* IResult,
                                IUpdateDownloader* lpUpdateDownloader, IDownloadResult* lpDownloadResult,
                                IUpdate* pUpdate, IUpdate2* pUpdate2) {
    // The update identity has no exception line of its own.
    ReleaseInOrder(TEXT("ReleasePatchDeployPointers"),
                   {NAMED(lpUpdate), NAMED(lpUpdate2), NamedReference{pUpdateIdentity, nullptr},
                    NAMED(pUpdateDownloadContentCollection), NAMED(lpString), NAMED(pUpdateDownloadContent),
                    NAMED(lpUpdateInstaller), NAMED(IResult), NAMED(lpUpdateDownloader), NAMED(lpDownloadResult),
                    NAMED(pUpdate), NAMED(pUpdate2)});
}

#undef NAMED
