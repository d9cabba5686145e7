// The deployment job's driver in process: the report's retries and pauses,
// the COM start-up failure and the catch-all path, against a real loopback
// server with the pauses recorded instead of waited.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "driver/deploy_job.h"
#include "platform/test_seams.h"
#include "standins/test_programs.h"
#include "support/console_capture.h"
#include "support/loopback_server.h"

namespace {

std::vector<DWORD> g_pauses;
void RecordPause(DWORD milliseconds) {
    g_pauses.push_back(milliseconds);
}

int g_deployCalls;
int DeploySucceedsWithRestart(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, WCHAR*) {
    ++g_deployCalls;
    return 1;
}
int DeployThrows(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, WCHAR*) {
    ++g_deployCalls;
    throw std::bad_alloc();
}
int DeployFailsWithText(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                        WCHAR* description) {
    ++g_deployCalls;
    const WCHAR text[] = TEXT("bad \x01 byte & <tag>");
    for (std::size_t i = 0; i < sizeof(text) / sizeof(text[0]); ++i) description[i] = text[i];
    return -1;
}

// A deployment job's command line aimed at the server's port.
class JobCommandLine {
public:
    explicit JobCommandLine(int port, std::u16string host = u"127.0.0.1") {
        std::string portText = std::to_string(port);
        texts_ = {u"worker", u"{00000000-0000-0000-0000-000000000001}",        u"42", u"C", u"agent", u"secret",
                  host,      std::u16string(portText.begin(), portText.end()), u"7",  u"9", u"0"};
        for (auto& t : texts_) argv_.push_back(reinterpret_cast<WCHAR*>(t.data()));
    }
    WCHAR** Argv() { return argv_.data(); }

private:
    std::vector<std::u16string> texts_;
    std::vector<WCHAR*> argv_;
};

class DeployJobTest : public testing::Test {
protected:
    void SetUp() override {
        g_pauses.clear();
        g_deployCalls = 0;
        seams_->pause = RecordPause;
    }
    // Runs the job with deploy as its deployment routine.
    int Run(JobCommandLine& job, DeployRoutine deploy) {
        seams_->deploy = deploy;
        return RunDeployJob(job.Argv());
    }
    ScopedTestSeams seams_;
};

const std::string kUnavailable = LoopbackServer::Reply("503 Service Unavailable");

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(DeployJobTest, SecondAttemptAcceptedAfterExactlyOnePause) {
    LoopbackServer server({kUnavailable});
    JobCommandLine job(server.Port());
    ConsoleCapture console;
    EXPECT_EQ(Run(job, DeploySucceedsWithRestart), 0);
    EXPECT_EQ(console.Text(), "Soap failure. HTTP ErrorSuccess");
    EXPECT_EQ(g_pauses, std::vector<DWORD>{60000});
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(Contains(requests[1],
                         "<nStatus>6</nStatus><nRebootRequired>1</nRebootRequired>"
                         "<strErrorDescription></strErrorDescription>") ||
                Contains(requests[1],
                         "<nStatus>6</nStatus><nRebootRequired>1</nRebootRequired>"
                         "<strErrorDescription/>"));
}

TEST_F(DeployJobTest, FiveFailuresFivePauses) {
    LoopbackServer server(std::vector<std::string>(5, kUnavailable));
    JobCommandLine job(server.Port());
    ConsoleCapture console;
    Run(job, DeploySucceedsWithRestart);
    std::string expected;
    for (int i = 0; i < 5; ++i) expected += "Soap failure. HTTP Error";
    EXPECT_EQ(console.Text(), expected);
    EXPECT_EQ(g_pauses, std::vector<DWORD>(5, 60000));
    EXPECT_EQ(server.Requests().size(), 5u);
}

TEST_F(DeployJobTest, CatchAllReportsOnceWithoutPause) {
    LoopbackServer server(std::vector<std::string>(5, kUnavailable));
    JobCommandLine job(server.Port());
    ConsoleCapture console;
    EXPECT_EQ(Run(job, DeployThrows), 0);
    EXPECT_EQ(console.Text(), "Exception caught in mainSoap failure. HTTP Error");
    EXPECT_TRUE(g_pauses.empty());
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(Contains(requests[0],
                         "<nJobID>42</nJobID><nStatus>-6</nStatus><nRebootRequired>0</nRebootRequired>"
                         "<strErrorDescription>Unknown error.</strErrorDescription>"));
}

TEST_F(DeployJobTest, ComFailureSkipsTheDeploymentAndDescribesTheCode) {
    test_programs::ScopedVariable comResult("WORKER_COINIT_RESULT", "0x8001010E");
    LoopbackServer server;
    JobCommandLine job(server.Port());
    ConsoleCapture console;
    Run(job, DeploySucceedsWithRestart);
    EXPECT_EQ(g_deployCalls, 0);
    EXPECT_EQ(console.Text(), "Failed to initialize COM.\r\nSuccess");
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(Contains(requests[0],
                         "<nStatus>-6</nStatus><nRebootRequired>0</nRebootRequired>"
                         "<strErrorDescription>Failed to initialize COM library. Error "));
    EXPECT_TRUE(Contains(requests[0], "8001010E"));
}

TEST_F(DeployJobTest, DescriptionIsMadeSafeForXml) {
    LoopbackServer server;
    JobCommandLine job(server.Port());
    ConsoleCapture console;
    Run(job, DeployFailsWithText);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(
        Contains(requests[0], "<strErrorDescription>bad \xEF\xBF\xBD byte &amp; &lt;tag&gt;</strErrorDescription>"))
        << requests[0];
}

TEST_F(DeployJobTest, OverlongHostIsRefusedAndTheJobStillEnds) {
    // A host of 2000 characters: the endpoint would not fit whole, so no
    // attempt is made and nothing waits.
    JobCommandLine job(1, std::u16string(2000, u'a'));
    ConsoleCapture console;
    EXPECT_EQ(Run(job, DeploySucceedsWithRestart), 0);
    EXPECT_EQ(console.Text(), "Soap failure. The status server's host or port is not valid.");
    EXPECT_TRUE(g_pauses.empty());
}

}  // namespace
