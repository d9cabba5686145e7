#include "deploy/release_pointers.h"

#include <initializer_list>

#include "platform/console.h"

namespace {

// A reference as a release routine hands it over: the object, and the name
// that its exception line gives it (null for none). The names are the texts
// that support staff know from the console, whatever the variables are called.
struct NamedReference {
    NamedReference(IUnknown* object, const WCHAR* objectName) : reference(object), name(objectName) {}
    IUnknown* reference;
    const WCHAR* name;
};

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
    ReleaseInOrder(TEXT("ReleasePatchScanPointers"), {{lpUpdateSession, TEXT("lpUpdateSession")},
                                                      {lpUpdateSearcher, TEXT("lpUpdateSearcher")},
                                                      {lpUpdateServiceManager, TEXT("lpUpdateServiceManager")},
                                                      {pService, TEXT("pService")},
                                                      {pUpdateCollection1, TEXT("pUpdateCollection1")},
                                                      {pUpdateCollection2, TEXT("pUpdateCollection2")},
                                                      {pUpdateCollection3, TEXT("pUpdateCollection3")},
                                                      {pSearchResult, TEXT("pSearchResult")}});
}

void ReleasePatchDeployPointers(IUpdate* lpUpdate, IUpdate2* lpUpdate2, IUpdateIdentity* pUpdateIdentity,
                                IUpdateDownloadContentCollection* pUpdateDownloadContentCollection,
                                IStringCollection* lpString, IUpdateDownloadContent* pUpdateDownloadContent,
                                IUpdateInstaller* lpUpdateInstaller, IInstallationResult* IResult,
                                IUpdateDownloader* lpUpdateDownloader, IDownloadResult* lpDownloadResult,
                                IUpdate* pUpdate, IUpdate2* pUpdate2) {
    // The update identity has no exception line of its own.
    ReleaseInOrder(TEXT("ReleasePatchDeployPointers"),
                   {{lpUpdate, TEXT("lpUpdate")},
                    {lpUpdate2, TEXT("lpUpdate2")},
                    {pUpdateIdentity, nullptr},
                    {pUpdateDownloadContentCollection, TEXT("pUpdateDownloadContentCollection")},
                    {lpString, TEXT("lpString")},
                    {pUpdateDownloadContent, TEXT("pUpdateDownloadContent")},
                    {lpUpdateInstaller, TEXT("lpUpdateInstaller")},
                    {IResult, TEXT("IResult")},
                    {lpUpdateDownloader, TEXT("lpUpdateDownloader")},
                    {lpDownloadResult, TEXT("lpDownloadResult")},
                    {pUpdate, TEXT("pUpdate")},
                    {pUpdate2, TEXT("pUpdate2")}});
}
