// How one attempt's result is classified, from what a real server does.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "status/attempt_result.h"
#include "status/kept_connection_server.h"
#include "status/loopback_status_service.h"
#include "status/status_proxy.h"
#include "support/loopback_server.h"

namespace {

int ReportTo(int port) {
    std::string endpoint = LoopbackEndpoint(port);
    veltwuaPortBindingProxy proxy("agent", "secret");
    proxy.soap_endpoint = endpoint.c_str();
    SetShortLimits(proxy);
    ns1__UpdateDeployJobStatus request;
    return proxy.UpdateDeployJobStatus(&request);
}

// A loopback port that refuses connections: bound, never listening.
class RefusingPort {
public:
    RefusingPort() : socket_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        bool ready = socket_ >= 0 && bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                     getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        port_ = ready ? ntohs(address.sin_port) : 0;
    }
    ~RefusingPort() {
        if (socket_ >= 0) close(socket_);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int Port() const { return port_; }

private:
    int socket_;
    int port_ = 0;
};

TEST(ClassifyAttemptTest, ServersAnswer) {
    const std::string fault =
        "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>SOAP-ENV:Client</faultcode><faultstring>Unknown job"
        "</faultstring></SOAP-ENV:Fault></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    struct Case {
        std::string reply;
        AttemptResult expected;
    };
    const Case cases[] = {
        {LoopbackServer::Reply("202 Accepted"), AttemptResult::Acknowledged},
        {LoopbackServer::Reply("500 Internal Server Error", fault), AttemptResult::Faulted},
        {LoopbackServer::Reply("503 Service Unavailable"), AttemptResult::Refused},
        {LoopbackServer::Reply("404 Not Found", "<html><body>Not Found</body></html>"), AttemptResult::Refused},
        // "HTTP Error" with the content as detail.
        {LoopbackServer::Reply("200 OK", "<?xml version=\"1.0\"?><status>done</status>"), AttemptResult::Refused},
        {LoopbackServer::Reply("500 Internal Server Error", "<html>busy</html>"), AttemptResult::Refused},
        // A TLS alert, as a TLS endpoint answers a plain request.
        {std::string("\x15\x03\x03\x00\x02\x02\x46", 7), AttemptResult::Unreachable},
    };
    for (const Case& c : cases) {
        LoopbackServer server({c.reply});
        int rc = ReportTo(server.Port());
        EXPECT_EQ(ClassifyAttempt(rc), c.expected) << c.reply << "\nerror " << rc;
    }
}

TEST(ClassifyAttemptTest, NoAnswerIsUnreachable) {
    for (bool closing : {true, false}) {
        // Closed at once, or silent until the time limit.
        KeptConnectionServer server({{"", closing}});
        EXPECT_EQ(ClassifyAttempt(ReportTo(server.Port())), AttemptResult::Unreachable) << closing;
    }
    RefusingPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    EXPECT_EQ(ClassifyAttempt(ReportTo(refusing.Port())), AttemptResult::Unreachable);
}

}  // namespace
