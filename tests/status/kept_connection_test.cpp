// Reports over one kept-alive connection: when it is reused, when the client
// closes it, and how a connection that the server closed is replaced.
#include <gtest/gtest.h>

#include <string>

#include "status/acknowledgement.h"
#include "status/attempt_result.h"
#include "status/kept_connection_server.h"
#include "status/loopback_status_service.h"
#include "status/status_proxy.h"

namespace {

using Step = KeptConnectionServer::Step;

const Step kKeep{KeptConnectionServer::Accepted(false), false};

class KeptConnectionTest : public testing::Test {
protected:
    // A proxy for server's endpoint, kept alive unless told otherwise.
    void Connect(const KeptConnectionServer& server, bool keepAlive = true) {
        endpoint_ = LoopbackEndpoint(server.Port());
        proxy_.soap_endpoint = endpoint_.c_str();
        SetShortLimits(proxy_);
        if (keepAlive) KeepConnectionAlive(&proxy_);
    }

    int Report() {
        int rc = proxy_.UpdateDeployJobStatus(&request_);
        proxy_.destroy();
        return rc;
    }

    std::string endpoint_;
    veltwuaPortBindingProxy proxy_{"agent", "secret"};
    ns1__UpdateDeployJobStatus request_;
};

TEST_F(KeptConnectionTest, ReportsShareOneConnectionWhileTheServerKeepsIt) {
    KeptConnectionServer server;
    Connect(server);
    for (int report = 0; report < 3; ++report) EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_EQ(server.Accepted(), 1);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const std::string& request : requests) {
        EXPECT_NE(request.find("\r\nConnection: keep-alive\r\n"), std::string::npos) << request;
        EXPECT_NE(request.find("\r\nAuthorization: Basic YWdlbnQ6c2VjcmV0\r\n"), std::string::npos) << request;
    }
}

TEST_F(KeptConnectionTest, ChunkedAcknowledgementKeepsTheConnection) {
    KeptConnectionServer server({{"HTTP/1.1 202 Accepted\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", false}});
    Connect(server);
    EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_EQ(server.Accepted(), 1);
}

TEST_F(KeptConnectionTest, WithoutKeepAliveEveryReportHasItsOwnConnection) {
    KeptConnectionServer server;
    Connect(server, false);
    EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_TRUE(server.WaitForEndedConnections(1));
    EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_EQ(server.Accepted(), 2);
    for (const std::string& request : server.Requests())
        EXPECT_NE(request.find("\r\nConnection: close\r\n"), std::string::npos) << request;
}

TEST_F(KeptConnectionTest, ServerAskingToCloseGetsANewConnection) {
    KeptConnectionServer server({kKeep, {KeptConnectionServer::Accepted(true), true}});
    Connect(server);
    for (int report = 0; report < 3; ++report) EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_EQ(server.Accepted(), 2);
}

// The server would keep the connection; the client closes it after any reply
// but an acknowledgement whose end its header marked.
TEST_F(KeptConnectionTest, ClientClosesAfterAnythingButAnAcknowledgement) {
    const std::string fault =
        "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode><faultstring>Store offline"
        "</faultstring></SOAP-ENV:Fault></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    struct Case {
        const char* what;
        std::string reply;
        int expected;
    };
    const Case cases[] = {
        {"500 with a Fault",
         "HTTP/1.1 500 Internal Server Error\r\nContent-Length: " + std::to_string(fault.size()) + "\r\n\r\n" + fault,
         SOAP_SVR_FAULT},
        {"503 without content", "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n", 503},
        {"200 without content", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 200},
        {"202 with content", "HTTP/1.1 202 Accepted\r\nContent-Length: 2\r\n\r\nok", 202},
        {"202 from HTTP/1.0", "HTTP/1.0 202 Accepted\r\nContent-Length: 0\r\n\r\n", SOAP_OK},
        {"202 and more", "HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\nHTTP/1.1 202 Accepted\r\n", SOAP_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeptConnectionServer server({{c.reply, false}});
        Connect(server);
        EXPECT_EQ(Report(), c.expected);
        EXPECT_TRUE(server.WaitForEndedConnections(1));
        EXPECT_EQ(Report(), SOAP_OK);
        EXPECT_EQ(server.Accepted(), 2);
    }
}

TEST_F(KeptConnectionTest, ServerClosingAnIdleConnectionGetsANewConnection) {
    KeptConnectionServer server({{KeptConnectionServer::Accepted(false), true}});
    Connect(server);
    EXPECT_EQ(Report(), SOAP_OK);
    ASSERT_TRUE(server.WaitForEndedConnections(1));
    EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_EQ(server.Requests().size(), 2u);
}

// The server closes the kept connection as the request arrives: the request
// goes again on a new connection, but only once.
TEST_F(KeptConnectionTest, RequestMeetingTheServersCloseGoesAgainOnce) {
    const Step closeUnanswered{"", true};
    KeptConnectionServer server({kKeep, closeUnanswered, kKeep, closeUnanswered, closeUnanswered});
    Connect(server);
    EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_EQ(Report(), SOAP_OK);
    EXPECT_EQ(server.Requests().size(), 3u);
    EXPECT_EQ(server.Accepted(), 2);

    EXPECT_EQ(ClassifyAttempt(Report()), AttemptResult::Unreachable);
    EXPECT_EQ(server.Requests().size(), 5u);
    EXPECT_EQ(server.Accepted(), 3);
}

// Failures that are no close of a kept connection are not sent again: one on
// a new connection, silence until the time limit, a reply cut short.
TEST_F(KeptConnectionTest, OtherFailuresAreNotSentAgain) {
    {
        KeptConnectionServer server({{"", true}});
        Connect(server);
        EXPECT_EQ(ClassifyAttempt(Report()), AttemptResult::Unreachable);
        EXPECT_EQ(server.Requests().size(), 1u);
    }
    {
        KeptConnectionServer server({kKeep, {"", false}});
        Connect(server);
        EXPECT_EQ(Report(), SOAP_OK);
        EXPECT_EQ(ClassifyAttempt(Report()), AttemptResult::Unreachable);
        EXPECT_EQ(server.Requests().size(), 2u);
        EXPECT_EQ(server.Accepted(), 1);
    }
    {
        KeptConnectionServer server({kKeep, {"HTTP/1.1 202 Acc", true}});
        Connect(server);
        EXPECT_EQ(Report(), SOAP_OK);
        EXPECT_EQ(ClassifyAttempt(Report()), AttemptResult::Unreachable);
        EXPECT_EQ(server.Requests().size(), 2u);
    }
}

}  // namespace
