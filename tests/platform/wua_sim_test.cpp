// The simulated update agent, driven through its COM interfaces as the
// worker drives the real one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/scoped_com.h"
#include "platform/wua_sim/wua_sim.h"

namespace {

namespace fs = std::filesystem;

const char* const kUpdateId = "5a1b2c3d-0000-4e5f-8a9b-0c1d2e3f4a5b";
const char16_t* const kPackage = u"C:\\ORV\\PatchDeploy\\wsusscn2.cab";

// Releases an interface reference at scope exit.
template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    void** Out() { return reinterpret_cast<void**>(&p); }
    void Reset() {
        if (p) p->Release();
        p = nullptr;
    }
};

template <class T>
HRESULT Create(REFCLSID clsid, REFIID iid, Ref<T>& object) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.Out());
}

std::u16string Text(BSTR text) {
    return std::u16string(text, SysStringLen(text));
}

// What the worker holds while it searches the scan package: the session, the
// package's service (registered while it lives) and a searcher aimed at it.
struct ScanSession {
    Ref<IUpdateSession> session;
    Ref<IUpdateService> service;
    Ref<IUpdateSearcher> searcher;
};

// A scan session that has searched for kUpdateId, and the first update found.
struct FoundUpdate {
    ScanSession scan;
    Ref<IUpdateCollection> updates;
    Ref<IUpdate> update;
};

class WuaSim : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("wua_sim_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "C" / "ORV" / "PatchDeploy");
        journal_ = root_ / "journal.txt";
        setenv("WORKER_DRIVE_ROOT", root_.c_str(), 1);
        setenv("WUA_SIM_JOURNAL", journal_.c_str(), 1);
        unsetenv("WUA_SIM_FAULTS");
        unsetenv("WUA_SIM_ONLINE_CATALOG");
        WuaSimReset();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(WuaSimLiveObjects(), 0);
        unsetenv("WUA_SIM_FAULTS");
        unsetenv("WUA_SIM_ONLINE_CATALOG");
        unsetenv("WUA_SIM_JOURNAL");
        fs::remove_all(root_);
    }

    void WritePackage(const std::string& json) { std::ofstream(root_ / "C/ORV/PatchDeploy/wsusscn2.cab") << json; }

    static void Faults(const char* faults) {
        setenv("WUA_SIM_FAULTS", faults, 1);
        WuaSimReset();
    }

    std::vector<std::string> JournalLines() const {
        std::ifstream input(journal_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(input, line);) lines.push_back(line);
        return lines;
    }
    bool Journaled(const std::string& line) const {
        for (const std::string& entry : JournalLines()) {
            if (entry == line) return true;
        }
        return false;
    }

    // Session, scan-package service and a searcher aimed at it, as the
    // worker sets them up when the package is present.
    static HRESULT OpenScanPackage(ScanSession& scan, LONG flags = 0) {
        Ref<IUpdateServiceManager> manager;
        EXPECT_EQ(Create(CLSID_UpdateSession, IID_IUpdateSession, scan.session), S_OK);
        EXPECT_EQ(Create(CLSID_UpdateServiceManager, IID_IUpdateServiceManager, manager), S_OK);
        scan.session->put_ClientApplicationID(ScopedBstr(TEXT("Veltrane-PostScan")));
        HRESULT hr = manager->AddScanPackageService(ScopedBstr(TEXT("Offline Sync Service")), ScopedBstr(kPackage),
                                                    flags, &scan.service);
        if (hr != S_OK) return hr;
        hr = scan.session->CreateUpdateSearcher(&scan.searcher);
        if (hr != S_OK) return hr;
        ScopedBstr serviceId;
        EXPECT_EQ(scan.service->get_ServiceID(serviceId.Receive()), S_OK);
        scan.searcher->put_ServiceID(serviceId);
        scan.searcher->put_ServerSelection(ssOthers);
        return S_OK;
    }

    static HRESULT Search(IUpdateSearcher* searcher, const std::string& id, Ref<IUpdateCollection>& found) {
        std::u16string criteria = u"Type='Software' and UpdateID='" + std::u16string(id.begin(), id.end()) + u"'";
        Ref<ISearchResult> result;
        HRESULT hr = searcher->Search(ScopedBstr(criteria.c_str()), &result);
        if (hr != S_OK) return hr;
        return result->get_Updates(&found);
    }

    // An installer of the session that is given the found update, as the
    // worker's installation list holds it.
    static HRESULT InstallerFor(FoundUpdate& found, Ref<IUpdateInstaller>& installer) {
        Ref<IUpdateCollection> list;
        EXPECT_EQ(Create(CLSID_UpdateCollection, IID_IUpdateCollection, list), S_OK);
        LONG index = 0;
        list->Add(found.update.p, &index);
        HRESULT hr = found.scan.session->CreateUpdateInstaller(&installer);
        return hr == S_OK ? installer->put_Updates(list.p) : hr;
    }

    // Installs and returns the first update's HResult, with the overall code.
    static LONG FirstUpdateResult(IUpdateInstaller* installer, OperationResultCode& code) {
        Ref<IInstallationResult> result;
        Ref<IUpdateInstallationResult> first;
        LONG hresult = 0;
        EXPECT_EQ(installer->Install(&result), S_OK);
        if (!result.p) return hresult;
        result->get_ResultCode(&code);
        EXPECT_EQ(result->GetUpdateResult(0, &first), S_OK);
        if (first.p) first->get_HResult(&hresult);
        return hresult;
    }

    static HRESULT FindUpdate(FoundUpdate& found) {
        HRESULT hr = OpenScanPackage(found.scan);
        if (hr == S_OK) hr = Search(found.scan.searcher.p, kUpdateId, found.updates);
        if (hr == S_OK) hr = found.updates->get_Item(0, &found.update);
        return hr;
    }

    fs::path root_;
    fs::path journal_;
};

const std::string kCatalog = R"({
  "updates": [
    {"id": "5A1B2C3D-0000-4E5F-8A9B-0C1D2E3F4A5B", "title": "Security Update for Office",
     "eula_required": true,
     "bundled": [
       {"id": "11111111-0000-4000-8000-000000000001", "contents": ["http://dl.example/a/office-kb1.cab"]},
       {"id": "11111111-0000-4000-8000-000000000002", "contents": []}
     ],
     "install": {"result_code": 2, "hresult": 0, "reboot_required": true}},
    {"id": "22222222-0000-4000-8000-000000000000", "title": "Installed one", "installed": true}
  ]
})";

TEST_F(WuaSim, ScanPackageSearchMatchesTheIdInAnyLetterCase) {
    WritePackage(kCatalog);
    FoundUpdate found;
    ASSERT_EQ(FindUpdate(found), S_OK);
    LONG count = 0;
    EXPECT_EQ(found.updates->get_Count(&count), S_OK);
    ASSERT_EQ(count, 1);

    Ref<IUpdate>& update = found.update;
    IUpdateSearcher* searcher = found.scan.searcher.p;
    Ref<IUpdate2> update2;
    ASSERT_EQ(update->QueryInterface(IID_IUpdate2, update2.Out()), S_OK);
    Ref<IUpdateIdentity> identity;
    ASSERT_EQ(update2->get_Identity(&identity), S_OK);
    ScopedBstr id;
    EXPECT_EQ(identity->get_UpdateID(id.Receive()), S_OK);
    EXPECT_EQ(Text(id), u"5A1B2C3D-0000-4E5F-8A9B-0C1D2E3F4A5B");
    VARIANT_BOOL installed = VARIANT_TRUE;
    EXPECT_EQ(update->get_IsInstalled(&installed), S_OK);
    EXPECT_EQ(installed, VARIANT_FALSE);
    ScopedBstr title;
    EXPECT_EQ(update->get_Title(title.Receive()), S_OK);
    EXPECT_EQ(Text(title), u"Security Update for Office");

    Ref<IUpdateCollection> none;
    EXPECT_EQ(Search(searcher, "99999999-0000-4000-8000-000000000000", none), S_OK);
    EXPECT_EQ(none->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
    Ref<ISearchResult> refused;
    EXPECT_EQ(searcher->Search(ScopedBstr(TEXT("UpdateID='not-a-guid'")), &refused), static_cast<HRESULT>(0x80240032));
    EXPECT_EQ(searcher->Search(ScopedBstr(TEXT("Type='Software' or IsInstalled=0")), &refused),
              static_cast<HRESULT>(0x80240032));
    EXPECT_EQ(refused.p, nullptr);
}

TEST_F(WuaSim, PackageAndOnlineCatalogFailuresAreTheAgentsCodes) {
    ScanSession scan;
    EXPECT_EQ(OpenScanPackage(scan), static_cast<HRESULT>(0x80070002));  // no package file
    WritePackage("{ not json");
    ScanSession notCatalog;
    EXPECT_EQ(OpenScanPackage(notCatalog), static_cast<HRESULT>(0x80247001));
    IUpdateSession* session = scan.session.p;

    // Aimed at Microsoft Update without an online catalog: not reachable.
    Ref<IUpdateSearcher> online;
    ASSERT_EQ(session->CreateUpdateSearcher(&online), S_OK);
    online->put_ServiceID(ScopedBstr(TEXT("7971f918-a847-4430-9279-4a52d1efe18d")));
    online->put_ServerSelection(ssOthers);
    Ref<IUpdateCollection> found;
    EXPECT_EQ(Search(online.p, kUpdateId, found), static_cast<HRESULT>(0x8024402C));

    std::ofstream(root_ / "online.json") << kCatalog;
    setenv("WUA_SIM_ONLINE_CATALOG", (root_ / "online.json").c_str(), 1);
    WuaSimReset();
    ASSERT_EQ(Search(online.p, kUpdateId, found), S_OK);
    LONG count = 0;
    found->get_Count(&count);
    EXPECT_EQ(count, 1);

    Ref<IUpdateSearcher> unknown;
    session->CreateUpdateSearcher(&unknown);
    unknown->put_ServiceID(ScopedBstr(TEXT("00000000-1111-2222-3333-444444444444")));
    unknown->put_ServerSelection(ssOthers);
    Ref<IUpdateCollection> nothing;
    EXPECT_EQ(Search(unknown.p, kUpdateId, nothing), static_cast<HRESULT>(0x80240001));
}

TEST_F(WuaSim, MalformedCatalogsAreInvalidScanPackages) {
    for (const char* catalog : {
             R"({"updates": {}})",
             R"({"updates": [{"title": "no id"}]})",
             R"({"updates": [{"id": 7}]})",
             R"({"updates": [{"id": "a", "bundled": [{"id": "b", "contents": "not a list"}]}]})",
             R"({"updates": [{"id": "a", "install": {"hresult": "0xZZ"}}]})",
             R"({"service_id": 1, "updates": []})",
             R"([1, 2])",
         }) {
        WritePackage(catalog);
        ScanSession scan;
        EXPECT_EQ(OpenScanPackage(scan), static_cast<HRESULT>(0x80247001)) << catalog;
    }
}

TEST_F(WuaSim, UnreadableFaultEntriesAreIgnored) {
    WritePackage(kCatalog);
    Faults(" IUpdateSession::CreateUpdateSearcher = 0x80240016 ,garbage,=0x1,IUpdate::AcceptEula=soon,");
    ScanSession scan;
    EXPECT_EQ(OpenScanPackage(scan), static_cast<HRESULT>(0x80240016));
    EXPECT_FALSE(Journaled("IUpdateSession::CreateUpdateSearcher {} -> 0x00000000"));
}

TEST_F(WuaSim, InjectedFaultsReplaceCallsOrHandOutNullObjects) {
    WritePackage(kCatalog);
    Faults(
        "IUpdateSearcher::Search#2=0x80240024, IUpdateCollection::get_Item=null,"
        "IUpdateServiceManager::AddScanPackageService=0x1,CoCreateInstance:StringCollection=0x80004005");
    ScanSession scan;
    EXPECT_EQ(OpenScanPackage(scan), S_FALSE);  // S_FALSE still hands out the service
    ASSERT_NE(scan.service.p, nullptr);
    IUpdateSession* session = scan.session.p;
    Ref<IUpdateSearcher>& searcher = scan.searcher;

    Ref<IUpdateServiceManager> manager;
    ASSERT_EQ(Create(CLSID_UpdateServiceManager, IID_IUpdateServiceManager, manager), S_OK);
    Ref<IUpdateService> service;
    EXPECT_EQ(
        manager->AddScanPackageService(ScopedBstr(TEXT("Offline Sync Service")), ScopedBstr(kPackage), 0, &service),
        S_FALSE);
    ASSERT_NE(service.p, nullptr);
    ScopedBstr serviceId;
    service->get_ServiceID(serviceId.Receive());
    ASSERT_EQ(session->CreateUpdateSearcher(&searcher), S_OK);
    searcher->put_ServiceID(serviceId);
    searcher->put_ServerSelection(ssOthers);

    Ref<IUpdateCollection> found;
    EXPECT_EQ(Search(searcher.p, kUpdateId, found), S_OK);  // first search: no fault
    Ref<IUpdateCollection> second;
    EXPECT_EQ(Search(searcher.p, kUpdateId, second), static_cast<HRESULT>(0x80240024));
    Ref<IUpdate> update;
    EXPECT_EQ(found->get_Item(0, &update), S_OK);
    EXPECT_EQ(update.p, nullptr);

    Ref<IStringCollection> strings;
    EXPECT_EQ(Create(CLSID_StringCollection, IID_IStringCollection, strings), E_FAIL);
    EXPECT_EQ(strings.p, nullptr);
    EXPECT_TRUE(Journaled("IUpdateCollection::get_Item {\"index\":0} -> 0x00000000 null"));
}

TEST_F(WuaSim, CatalogFaultsApplyOnceTheCatalogIsRead) {
    WritePackage(R"({"updates": [], "faults": {"IUpdateSession::CreateUpdateSearcher": "0x8024001E"}})");
    ScanSession scan;
    // The package is read before the searcher is asked for.
    EXPECT_EQ(OpenScanPackage(scan), static_cast<HRESULT>(0x8024001E));
    EXPECT_EQ(scan.searcher.p, nullptr);
}

TEST_F(WuaSim, ClassesOutsideTheAgentOrOutOfProcessAreNotRegistered) {
    const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    Ref<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.Out()), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_UpdateSession, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.Out()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Create(CLSID_UpdateSession, IID_IUpdateSearcher, object), E_NOINTERFACE);
    EXPECT_EQ(object.p, nullptr);
}

// The cached-content way of the worker: content files into the cache, then
// the update installed.
TEST_F(WuaSim, CopyToCacheNeedsTheFileAndInstallationNeedsTheCache) {
    WritePackage(kCatalog);
    FoundUpdate found;
    ASSERT_EQ(FindUpdate(found), S_OK);
    Ref<IUpdate>& update = found.update;
    Ref<IUpdateCollection> bundled;
    ASSERT_EQ(update->get_BundledUpdates(&bundled), S_OK);
    Ref<IUpdate> first;
    ASSERT_EQ(bundled->get_Item(0, &first), S_OK);
    Ref<IUpdateDownloadContentCollection> contents;
    ASSERT_EQ(first->get_DownloadContents(&contents), S_OK);
    Ref<IUpdateDownloadContent> content;
    ASSERT_EQ(contents->get_Item(0, &content), S_OK);
    ScopedBstr url;
    content->get_DownloadUrl(url.Receive());
    EXPECT_EQ(Text(url), u"http://dl.example/a/office-kb1.cab");
    Ref<IUpdate> second;
    ASSERT_EQ(bundled->get_Item(1, &second), S_OK);
    Ref<IUpdateDownloadContentCollection> noContents;
    ASSERT_EQ(second->get_DownloadContents(&noContents), S_OK);
    Ref<IUpdateDownloadContent> missing;
    EXPECT_NE(noContents->get_Item(0, &missing), S_OK);

    update->AcceptEula();
    Ref<IUpdateInstaller> installer;
    ASSERT_EQ(InstallerFor(found, installer), S_OK);
    OperationResultCode resultCode = orcNotStarted;
    EXPECT_EQ(static_cast<uint32_t>(FirstUpdateResult(installer.p, resultCode)), 0x8024002Du);  // not in the cache
    EXPECT_EQ(resultCode, orcFailed);

    Ref<IStringCollection> files;
    ASSERT_EQ(Create(CLSID_StringCollection, IID_IStringCollection, files), S_OK);
    LONG index = 0;
    files->Add(ScopedBstr(TEXT("C:\\ORV\\17\\office-kb1.cab")), &index);
    Ref<IUpdate2> first2;
    ASSERT_EQ(first->QueryInterface(IID_IUpdate2, first2.Out()), S_OK);
    EXPECT_EQ(first2->CopyToCache(files.p), static_cast<HRESULT>(0x80070002));
    fs::create_directories(root_ / "C/ORV/17");
    std::ofstream(root_ / "C/ORV/17/office-kb1.cab") << "content";
    EXPECT_EQ(first2->CopyToCache(files.p), S_OK);

    Ref<IInstallationResult> result;
    ASSERT_EQ(installer->Install(&result), S_OK);
    result->get_ResultCode(&resultCode);
    EXPECT_EQ(resultCode, orcSucceeded);
    VARIANT_BOOL reboot = VARIANT_FALSE;
    result->get_RebootRequired(&reboot);
    EXPECT_EQ(reboot, VARIANT_TRUE);
    VARIANT_BOOL installed = VARIANT_FALSE;
    update->get_IsInstalled(&installed);
    EXPECT_EQ(installed, VARIANT_TRUE);
    EXPECT_TRUE(
        Journaled("IUpdate::CopyToCache {\"files\":[\"C:\\\\ORV\\\\17\\\\office-kb1.cab\"],"
                  "\"update\":\"11111111-0000-4000-8000-000000000001\"} -> 0x00000000"));
}

// The online way: the agent downloads the found updates and installs them.
TEST_F(WuaSim, DownloadOutcomeComesFromTheCatalogAndEnablesInstallation) {
    WritePackage(R"({"updates": [
        {"id": "5a1b2c3d-0000-4e5f-8a9b-0c1d2e3f4a5b",
         "install": {"result_code": 3, "hresult": "0x80070643"}},
        {"id": "33333333-0000-4000-8000-000000000000", "found_by": ["5a1b2c3d-0000-4e5f-8a9b-0c1d2e3f4a5b"],
         "download": {"result_code": 4, "hresult": "0x80246008"}}]})");
    FoundUpdate search;
    ASSERT_EQ(FindUpdate(search), S_OK);
    IUpdateSession* session = search.scan.session.p;
    Ref<IUpdateCollection>& found = search.updates;
    LONG count = 0;
    found->get_Count(&count);
    EXPECT_EQ(count, 2);  // the second one found by an alias

    Ref<IUpdateDownloader> downloader;
    ASSERT_EQ(session->CreateUpdateDownloader(&downloader), S_OK);
    ASSERT_EQ(downloader->put_Updates(found.p), S_OK);
    Ref<IDownloadResult> downloaded;
    ASSERT_EQ(downloader->Download(&downloaded), S_OK);
    OperationResultCode code = orcNotStarted;
    downloaded->get_ResultCode(&code);
    EXPECT_EQ(code, orcSucceededWithErrors);

    Ref<IUpdateInstaller> installer;
    ASSERT_EQ(session->CreateUpdateInstaller(&installer), S_OK);
    ASSERT_EQ(installer->put_Updates(found.p), S_OK);
    Ref<IInstallationResult> result;
    ASSERT_EQ(installer->Install(&result), S_OK);
    result->get_ResultCode(&code);
    EXPECT_EQ(code, orcSucceededWithErrors);  // one succeeded with errors, one not downloaded
    Ref<IUpdateInstallationResult> first;
    ASSERT_EQ(result->GetUpdateResult(0, &first), S_OK);
    LONG hresult = 0;
    first->get_HResult(&hresult);
    EXPECT_EQ(static_cast<uint32_t>(hresult), 0x80070643u);
    Ref<IUpdateInstallationResult> beyond;
    EXPECT_EQ(result->GetUpdateResult(2, &beyond), E_INVALIDARG);
}

// Each precondition or lifetime that the agent documents for a call of the
// worker, broken as the row says: the call fails as the real agent's does.
TEST_F(WuaSim, EachDocumentedRuleCatchesAWorkerThatBreaksIt) {
    WritePackage(kCatalog);
    auto searchAfter = [&](LONG flags) {
        ScanSession scan;
        EXPECT_EQ(OpenScanPackage(scan, flags), S_OK);
        scan.service.Reset();
        Ref<IUpdateCollection> found;
        return Search(scan.searcher.p, kUpdateId, found);
    };
    // Download or Install of a session's new downloader or installer, given
    // an empty collection, or nothing.
    auto operate = [](bool install, bool emptyList) {
        Ref<IUpdateSession> session;
        Ref<IUpdateCollection> empty;
        Ref<IUpdateDownloader> downloader;
        Ref<IUpdateInstaller> installer;
        Ref<IDownloadResult> downloaded;
        Ref<IInstallationResult> installed;
        Create(CLSID_UpdateSession, IID_IUpdateSession, session);
        if (emptyList) Create(CLSID_UpdateCollection, IID_IUpdateCollection, empty);
        if (install) {
            session->CreateUpdateInstaller(&installer);
            if (emptyList) installer->put_Updates(empty.p);
            return installer->Install(&installed);
        }
        session->CreateUpdateDownloader(&downloader);
        if (emptyList) downloader->put_Updates(empty.p);
        return downloader->Download(&downloaded);
    };
    const HRESULT kNoService = static_cast<HRESULT>(0x80240001);
    const HRESULT kNoUpdate = static_cast<HRESULT>(0x80240024);
    struct Row {
        const char* worker;
        std::function<HRESULT()> run;
        HRESULT expected;
    };
    const std::vector<Row> rows = {
        {"searches a scan package after releasing its service (flags 0)", [&] { return searchAfter(0); }, kNoService},
        {"searches a non-volatile scan package after releasing its service", [&] { return searchAfter(1); }, S_OK},
        {"adds a scan package with flags that are no UpdateServiceOption",
         [] {
             Ref<IUpdateServiceManager> manager;
             Ref<IUpdateService> service;
             Create(CLSID_UpdateServiceManager, IID_IUpdateServiceManager, manager);
             return manager->AddScanPackageService(ScopedBstr(TEXT("Offline Sync Service")), ScopedBstr(kPackage), 2,
                                                   &service);
         },
         E_INVALIDARG},
        {"searches with server selection ssOthers and no service ID",
         [] {
             Ref<IUpdateSession> session;
             Ref<IUpdateSearcher> searcher;
             Create(CLSID_UpdateSession, IID_IUpdateSession, session);
             session->CreateUpdateSearcher(&searcher);
             searcher->put_ServerSelection(ssOthers);
             Ref<IUpdateCollection> found;
             return Search(searcher.p, kUpdateId, found);
         },
         kNoService},
        {"downloads without giving updates", [&] { return operate(false, false); }, kNoUpdate},
        {"downloads an empty collection", [&] { return operate(false, true); }, kNoUpdate},
        {"installs without giving updates", [&] { return operate(true, false); }, kNoUpdate},
        {"installs an empty collection", [&] { return operate(true, true); }, kNoUpdate},
        {"installs an update whose license terms it did not accept (the update's result)",
         [] {
             FoundUpdate found;
             Ref<IUpdateInstaller> installer;
             EXPECT_EQ(FindUpdate(found), S_OK);
             EXPECT_EQ(InstallerFor(found, installer), S_OK);
             OperationResultCode code = orcNotStarted;
             HRESULT hresult = FirstUpdateResult(installer.p, code);
             EXPECT_EQ(code, orcFailed);
             return hresult;
         },
         static_cast<HRESULT>(0x80240023)},
        {"copies a file to the cache by a path that is not full",
         [&] {
             fs::create_directories(root_ / "C/ORV/17");
             std::ofstream(root_ / "C/ORV/17/office-kb1.cab") << "content";
             FoundUpdate found;
             Ref<IUpdate2> update2;
             Ref<IStringCollection> files;
             EXPECT_EQ(FindUpdate(found), S_OK);
             found.update->QueryInterface(IID_IUpdate2, update2.Out());
             Create(CLSID_StringCollection, IID_IStringCollection, files);
             LONG index = 0;
             files->Add(ScopedBstr(TEXT("ORV\\17\\office-kb1.cab")), &index);
             return update2->CopyToCache(files.p);
         },
         E_INVALIDARG},
        {"adds a found update to the search's own collection",
         [] {
             FoundUpdate found;
             EXPECT_EQ(FindUpdate(found), S_OK);
             LONG index = 0;
             return found.updates->Add(found.update.p, &index);
         },
         static_cast<HRESULT>(0x80240037)},
        {"adds a null update to its installation list",
         [] {
             Ref<IUpdateCollection> list;
             Create(CLSID_UpdateCollection, IID_IUpdateCollection, list);
             LONG index = 0;
             return list->Add(nullptr, &index);
         },
         E_POINTER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.worker);
        EXPECT_EQ(row.run(), row.expected);
        EXPECT_EQ(WuaSimLiveObjects(), 0);
    }
}

TEST_F(WuaSim, JournalRecordsCallsReleasesAndLiveObjects) {
    {
        Ref<IUpdateSession> session;
        ASSERT_EQ(Create(CLSID_UpdateSession, IID_IUpdateSession, session), S_OK);
        session->put_ClientApplicationID(ScopedBstr(TEXT("VeltraneORV")));
        Ref<IUpdateSearcher> searcher;
        session->CreateUpdateSearcher(&searcher);
        searcher->put_ServerSelection(ssOthers);
        EXPECT_EQ(WuaSimLiveObjects(), 2);
    }
    WuaSimJournalLiveObjects();
    std::vector<std::string> expected = {
        R"(CoCreateInstance {"class":"UpdateSession","context":1,"iid":"IUpdateSession"} -> 0x00000000)",
        R"(IUpdateSession::put_ClientApplicationID {"value":"VeltraneORV"} -> 0x00000000)",
        R"(IUpdateSession::CreateUpdateSearcher {} -> 0x00000000)",
        R"(IUpdateSearcher::put_ServerSelection {"value":3} -> 0x00000000)",
        R"(IUpdateSearcher::Release {} -> 0)",
        R"(IUpdateSession::Release {} -> 0)",
        "live-objects 0",
    };
    EXPECT_EQ(JournalLines(), expected);
}

TEST_F(WuaSim, ReleaseCanBeMadeToRaiseAfterDroppingItsReference) {
    Faults("IUpdateSession::Release=throw");
    IUpdateSession* session = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_UpdateSession, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateSession,
                               reinterpret_cast<void**>(&session)),
              S_OK);
    EXPECT_THROW(session->Release(), ComError);
    EXPECT_EQ(WuaSimLiveObjects(), 0);
    EXPECT_TRUE(Journaled("IUpdateSession::Release {} -> 0 throw"));
}

// Run in a fresh process: COM stays entered once a test has entered it.
TEST(ComStartup, CreationBeforeCoInitializeExFailsAsOnWindows) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            void* object = nullptr;
            HRESULT hr =
                CoCreateInstance(CLSID_UpdateSession, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateSession, &object);
            std::exit(hr == CO_E_NOTINITIALIZED && !object ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
