#include "deploy/release_pointers.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/console_capture.h"

namespace {

// Stands for any update agent object: counts its releases and, when told,
// fails its release with an exception.
struct FakeObject : public IUnknown {
    int releases = 0;
    bool throwOnRelease = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        ++releases;
        if (throwOnRelease) {
            throw std::runtime_error("release failed");
        }
        return 0;
    }
};

// The release routines reach each object only through IUnknown, so a fake
// may stand in for any interface.
template <typename Interface>
Interface* As(FakeObject& fake) {
    return reinterpret_cast<Interface*>(static_cast<IUnknown*>(&fake));
}

struct ScanObjects {
    FakeObject session, searcher, serviceManager, service, collection1, collection2, collection3, searchResult;

    void Release() {
        ReleasePatchScanPointers(As<IUpdateSession>(session), As<IUpdateSearcher>(searcher),
                                 As<IUpdateServiceManager>(serviceManager), As<IUpdateService>(service),
                                 As<IUpdateCollection>(collection1), As<IUpdateCollection>(collection2),
                                 As<IUpdateCollection>(collection3), As<ISearchResult>(searchResult));
    }
    FakeObject* all[8] = {&session, &searcher, &serviceManager, &service,
                          &collection1, &collection2, &collection3, &searchResult};
};

struct DeployObjects {
    FakeObject update, update2, identity, contentCollection, strings, content, installer, installResult, downloader,
        downloadResult, bundledUpdate, bundledUpdate2;

    void Release() {
        ReleasePatchDeployPointers(
            As<IUpdate>(update), As<IUpdate2>(update2), As<IUpdateIdentity>(identity),
            As<IUpdateDownloadContentCollection>(contentCollection), As<IStringCollection>(strings),
            As<IUpdateDownloadContent>(content), As<IUpdateInstaller>(installer),
            As<IInstallationResult>(installResult), As<IUpdateDownloader>(downloader),
            As<IDownloadResult>(downloadResult), As<IUpdate>(bundledUpdate), As<IUpdate2>(bundledUpdate2));
    }
    FakeObject* all[12] = {&update, &update2, &identity, &contentCollection, &strings, &content,
                           &installer, &installResult, &downloader, &downloadResult, &bundledUpdate, &bundledUpdate2};
};

TEST(ReleasePatchScanPointers, ReleasesEachReferenceOnceBetweenEntryAndExitLines) {
    ScanObjects objects;
    ConsoleCapture console;
    objects.Release();
    EXPECT_EQ(console.Text(), "ReleasePatchScanPointers - EntryReleasePatchScanPointers - Exit");
    for (FakeObject* object : objects.all) {
        EXPECT_EQ(object->releases, 1);
    }
}

TEST(ReleasePatchScanPointers, SkipsNullReferences) {
    FakeObject searchResult;
    ConsoleCapture console;
    ReleasePatchScanPointers(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             As<ISearchResult>(searchResult));
    EXPECT_EQ(console.Text(), "ReleasePatchScanPointers - EntryReleasePatchScanPointers - Exit");
    EXPECT_EQ(searchResult.releases, 1);
}

TEST(ReleasePatchScanPointers, FailedReleaseIsReportedAndTheOthersStillReleased) {
    ScanObjects objects;
    objects.serviceManager.throwOnRelease = true;
    objects.searchResult.throwOnRelease = true;
    ConsoleCapture console;
    objects.Release();
    EXPECT_EQ(console.Text(),
              "ReleasePatchScanPointers - Entry"
              "Exception in ReleasePatchScanPointers :: lpUpdateServiceManager->Release()"
              "Exception in ReleasePatchScanPointers :: pSearchResult->Release()"
              "ReleasePatchScanPointers - Exit");
    for (FakeObject* object : objects.all) {
        EXPECT_EQ(object->releases, 1);
    }
}

TEST(ReleasePatchDeployPointers, ReleasesEachReferenceOnceBetweenEntryAndExitLines) {
    DeployObjects objects;
    ConsoleCapture console;
    objects.Release();
    EXPECT_EQ(console.Text(), "ReleasePatchDeployPointers - EntryReleasePatchDeployPointers - Exit");
    for (FakeObject* object : objects.all) {
        EXPECT_EQ(object->releases, 1);
    }

    ConsoleCapture nullsConsole;
    ReleasePatchDeployPointers(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
    EXPECT_EQ(nullsConsole.Text(), "ReleasePatchDeployPointers - EntryReleasePatchDeployPointers - Exit");
}

TEST(ReleasePatchDeployPointers, EveryFailedReleaseIsReportedByItsReferenceName) {
    DeployObjects objects;
    for (FakeObject* object : objects.all) {
        object->throwOnRelease = true;
    }
    ConsoleCapture console;
    objects.Release();
    // The update identity has no line of its own.
    EXPECT_EQ(console.Text(),
              "ReleasePatchDeployPointers - Entry"
              "Exception in ReleasePatchDeployPointers :: lpUpdate->Release()"
              "Exception in ReleasePatchDeployPointers :: lpUpdate2->Release()"
              "Exception in ReleasePatchDeployPointers :: pUpdateDownloadContentCollection->Release()"
              "Exception in ReleasePatchDeployPointers :: lpString->Release()"
              "Exception in ReleasePatchDeployPointers :: pUpdateDownloadContent->Release()"
              "Exception in ReleasePatchDeployPointers :: lpUpdateInstaller->Release()"
              "Exception in ReleasePatchDeployPointers :: IResult->Release()"
              "Exception in ReleasePatchDeployPointers :: lpUpdateDownloader->Release()"
              "Exception in ReleasePatchDeployPointers :: lpDownloadResult->Release()"
              "Exception in ReleasePatchDeployPointers :: pUpdate->Release()"
              "Exception in ReleasePatchDeployPointers :: pUpdate2->Release()"
              "ReleasePatchDeployPointers - Exit");
    for (FakeObject* object : objects.all) {
        EXPECT_EQ(object->releases, 1);
    }
}

}  // namespace
