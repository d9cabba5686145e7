// ScanAndDownload in-process against the simulated update agent: which
// release routines each exit of the search, of the cached-content way and of
// the online way runs (the end-to-end suites see the description and the step's line, but
// not which routines followed it), and the exception guard, which no agent
// failure reaches from outside.
#include "deploy/scan_and_download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deploy/release_pointers.h"
#include "errors/scan_error_codes.h"
#include "platform/wua_sim/wua_sim.h"
#include "standins/test_programs.h"
#include "support/console_capture.h"

namespace {

using test_programs::ScopedVariable;
using test_programs::TempDrives;
using test_programs::WriteFile;

const char kUpdateId[] = "3f1c9a52-6b0e-4d8a-9f7e-2c5b8d1e4a60";

// The lines of a release routine that has nothing to release.
template <typename Release>
std::string LinesOf(Release release) {
    ConsoleCapture console;
    release();
    return console.Text();
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Which release routines ran at the end of the run: "none", "scan" or "both";
// "other" when their lines stand anywhere else.
std::string ReleaseRoutinesRun(const std::string& console) {
    static const std::string scan = LinesOf(
        [] { ReleasePatchScanPointers(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); });
    static const std::string deploy = LinesOf([] {
        ReleasePatchDeployPointers(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
    });
    const std::size_t scanAt = console.find(scan);
    const std::size_t deployAt = console.find(deploy);
    if (scanAt == std::string::npos && deployAt == std::string::npos) {
        return "none";
    }
    if (scanAt + scan.size() == console.size() && deployAt == std::string::npos) {
        return "scan";
    }
    if (deployAt == scanAt + scan.size() && deployAt + deploy.size() == console.size()) {
        return "both";
    }
    return "other";
}

// One job on drive C: an update with one bundled update whose content file
// is in the job folder (or, for the online way, without bundled updates),
// installed by the agent with the given result code.
class ScanAndDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteCatalog(2);
        WriteFile(drives_ / "C/ORV/42/a.cab", "content");
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }

    void WriteCatalog(int installResultCode, bool bundled = true) {
        const std::string bundledUpdates =
            bundled ? R"("bundled": [{"id": "a1b2c3d4-0000-4000-8000-000000000001", "contents": ["http://x/a.cab"]}],)"
                    : "";
        WriteFile(drives_ / "C/ORV/PatchDeploy/wsusscn2.cab",
                  std::string(R"({"updates": [{"id": ")") + kUpdateId +
                      R"(", "title": "Security Update for Contoso Runtime", )" + bundledUpdates +
                      R"("install": {"result_code": )" + std::to_string(installResultCode) + "}}]}");
    }

    // One exit: the agent's fault, the job's result and the release
    // routines that ran ("none", "scan" or "both").
    struct Exit {
        const char* fault;
        int result;
        const char* released;
    };

    void ExpectReleases(const std::vector<Exit>& exits) {
        for (const Exit& exit : exits) {
            SCOPED_TRACE(exit.fault);
            EXPECT_EQ(Run(exit.fault), exit.result);
            EXPECT_EQ(ReleaseRoutinesRun(console_), exit.released) << console_;
        }
    }

    // Runs the job with the agent's faults; returns its result.
    int Run(const std::string& faults) {
        ScopedVariable injected("WUA_SIM_FAULTS", faults);
        WuaSimReset();
        ConsoleCapture capture;
        description_[0] = 0;
        const std::u16string id(kUpdateId, kUpdateId + sizeof kUpdateId - 1);
        const int result = ScanAndDownload(id.c_str(), u"42", u"C", u"", u"", u"", u"", u"", u"", description_);
        console_ = capture.Text();
        EXPECT_EQ(WuaSimLiveObjects(), 0);
        return result;
    }

    TempDrives drives_;
    ScopedVariable noJournal_{"WUA_SIM_JOURNAL", ""};
    WCHAR description_[kDescriptionCapacity] = {};
    std::string console_;
};

TEST_F(ScanAndDownloadTest, EachExitRunsTheReleaseRoutinesItsStepCallsFor) {
    ExpectReleases({
        {"", 0, "both"},
        // The search.
        {"CoCreateInstance:UpdateSession=null", -1, "none"},
        {"CoCreateInstance:UpdateServiceManager=null", -1, "scan"},
        {"IUpdateServiceManager::AddScanPackageService=1", -1, "scan"},
        {"ISearchResult::get_Updates=null", -1, "scan"},
        {"IUpdateCollection::get_Count#1=0x80004005", -1, "scan"},
        {"CoCreateInstance:UpdateCollection=null", -1, "scan"},
        {"IUpdateCollection::get_Item#1=null", -1, "both"},
        {"IUpdate::QueryInterface#1=null", -1, "both"},
        {"IUpdate::get_Identity=0x80004005", -1, "both"},
        // The cached-content way and its installation.
        {"IUpdate::get_BundledUpdates=0x80004005", -1, "both"},
        {"IUpdateCollection::get_Count#2=0x80004005", -1, "both"},
        {"IUpdateCollection::get_Item#2=null", -1, "both"},
        {"IUpdate::get_DownloadContents=null", -1, "both"},
        {"CoCreateInstance:StringCollection=null", -1, "both"},
        {"IUpdateDownloadContentCollection::get_Item=null", -1, "both"},
        {"IStringCollection::Add=0x80070057", -1, "both"},
        {"IUpdate::QueryInterface#2=null", -1, "both"},
        {"IUpdate::CopyToCache=0x80070002", -1, "both"},
        {"IUpdateSession::CreateUpdateInstaller=null", -1, "both"},
        {"IUpdateInstaller::put_Updates=0x80004005", -1, "both"},
        {"IUpdateInstaller::Install=0x80240022", -1, "both"},
        {"IInstallationResult::get_ResultCode=0x80004005", -1, "both"},
    });
}

TEST_F(ScanAndDownloadTest, EachExitOfTheOnlineWayRunsTheReleaseRoutinesItsStepCallsFor) {
    WriteCatalog(2, false);
    ExpectReleases({
        {"", 0, "both"},
        // The download.
        {"IUpdateSession::CreateUpdateDownloader=null", -1, "both"},
        {"IUpdateDownloader::put_Updates=0x80004005", -1, "both"},
        {"IUpdateDownloader::Download=0x80240022", -1, "scan"},
        {"IDownloadResult::get_ResultCode=0x80004005", -1, "scan"},
        // The installation.
        {"IUpdateSession::CreateUpdateInstaller=null", -1, "scan"},
        {"IUpdateInstaller::put_Updates=0x80004005", -1, "scan"},
        {"IUpdateInstaller::Install=0x80240022", -1, "both"},
        {"IInstallationResult::get_ResultCode=0x80004005", -1, "both"},
    });
}

TEST_F(ScanAndDownloadTest, AnExceptionInAStepIsReportedAndReleasesEverythingWithoutTheRoutines) {
    // The installation fails; reading the update's own result then raises.
    WriteCatalog(3);
    EXPECT_EQ(Run("IUpdateInstallationResult::Release=throw"), -1);
    EXPECT_TRUE(EndsWith(console_, "\r\nException in ScanAndDownload")) << console_;
    EXPECT_EQ(ReleaseRoutinesRun(console_), "none") << console_;
    EXPECT_EQ(std::u16string(description_), u"Unknown error.");
}

}  // namespace
