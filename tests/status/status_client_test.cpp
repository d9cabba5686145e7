// The status client against a real loopback server: what each request looks
// like on the wire, and what the caller learns from the answer.
#include <gtest/gtest.h>

#include <string>

#include "status/report_text.h"
#include "status/status_proxy.h"
#include "support/loopback_server.h"

namespace {

std::string Endpoint(const LoopbackServer& server) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + "/VeltraneWS/veltwua";
}

std::string Body(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
}

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
    std::size_t start = text.find(from);
    if (start == std::string::npos) return "<missing>";
    start += from.size();
    return text.substr(start, text.find(to, start) - start);
}

const char kPrefix[] = "<SOAP-ENV:Body><ns1:UpdateDeployJobStatus>";

class StatusClientTest : public testing::Test {
protected:
    std::string SendOne(ns1__UpdateDeployJobStatus* request, const char* user = "agent",
                        const char* password = "secret") {
        LoopbackServer server;
        std::string endpoint = Endpoint(server);
        veltwuaPortBindingProxy proxy(user, password);
        proxy.soap_endpoint = endpoint.c_str();
        EXPECT_EQ(proxy.UpdateDeployJobStatus(request), SOAP_OK);
        auto requests = server.Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? "" : requests[0];
    }
};

TEST_F(StatusClientTest, DescriptionAbsentEmptyAndPresent) {
    ns1__UpdateDeployJobStatus request;
    request.nSystemID = 1;
    request.nPatchID = 2;
    request.nJobID = 3;
    request.nStatus = -6;
    EXPECT_EQ(Between(SendOne(&request), kPrefix, "</ns1:UpdateDeployJobStatus>"),
              "<nSystemID>1</nSystemID><nPatchID>2</nPatchID><nJobID>3</nJobID><nStatus>-6</nStatus>"
              "<nRebootRequired>0</nRebootRequired>");

    std::wstring empty;
    request.strErrorDescription = empty.data();
    std::string body = Between(SendOne(&request), "<nRebootRequired>0</nRebootRequired>", "</ns1:");
    EXPECT_TRUE(body == "<strErrorDescription/>" || body == "<strErrorDescription></strErrorDescription>") << body;
}

// The runtime escapes markup and carriage returns; a line feed and a tab go
// out as they are, which an XML reader gives back unchanged.
TEST_F(StatusClientTest, DescriptionTextIsEscapedAndEncoded) {
    std::wstring text = ToReportText(TEXT("a<b & c>\"d\"\te\r\nf \u00E9 \u20AC \U0001F600 \x07 \xD800x"));
    ns1__UpdateDeployJobStatus request;
    request.strErrorDescription = text.data();
    EXPECT_EQ(Between(SendOne(&request), "<strErrorDescription>", "</strErrorDescription>"),
              "a&lt;b &amp; c&gt;\"d\"\te&#xD;\nf \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD \xEF\xBF\xBDx");
}

TEST_F(StatusClientTest, NullRequestWritesAnEmptyBody) {
    std::string body = Body(SendOne(nullptr));
    EXPECT_NE(body.find("<SOAP-ENV:Body></SOAP-ENV:Body>"), std::string::npos) << body;
}

TEST_F(StatusClientTest, CredentialsOnlyWhenBothAreGivenAndShortEnough) {
    ns1__UpdateDeployJobStatus request;
    EXPECT_NE(SendOne(&request).find("Authorization: Basic YWdlbnQ6c2VjcmV0\r\n"), std::string::npos);
    EXPECT_EQ(SendOne(&request, nullptr, "secret").find("Authorization"), std::string::npos);
    EXPECT_EQ(SendOne(&request, "agent", nullptr).find("Authorization"), std::string::npos);
    // 760 bytes together still go out; 761 do not.
    std::string user(759, 'u');
    EXPECT_NE(SendOne(&request, user.c_str(), "p").find("Authorization"), std::string::npos);
    user += 'u';
    EXPECT_EQ(SendOne(&request, user.c_str(), "p").find("Authorization"), std::string::npos);
}

TEST_F(StatusClientTest, EndpointGivenToOneCallStaysForTheNext) {
    LoopbackServer server;
    std::string endpoint = Endpoint(server);
    veltwuaPortBindingProxy proxy("agent", "secret");
    ns1__UpdateDeployJobStatus request;
    EXPECT_EQ(proxy.UpdateDeployJobStatus(endpoint.c_str(), nullptr, &request), SOAP_OK);
    EXPECT_EQ(proxy.UpdateDeployJobStatus(&request), SOAP_OK);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find("Authorization: Basic"), std::string::npos);
}

TEST_F(StatusClientTest, OtherOperationsUseTheirElementAndAction) {
    LoopbackServer server;
    std::string endpoint = Endpoint(server);
    veltwuaPortBindingProxy proxy("agent", "secret");
    proxy.soap_endpoint = endpoint.c_str();
    ns1__InsertReboot reboot;
    reboot.reboot = 1;
    reboot.systemid = 5;
    EXPECT_EQ(proxy.InsertReboot(&reboot), SOAP_OK);
    ns1__InsertDeployStatus status;
    status.systemid = 5;
    EXPECT_EQ(proxy.InsertDeployStatus(&status), SOAP_OK);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].find("SOAPAction: \"http://service.veltrane.ws/veltwuaPort/InsertReboot\""),
              std::string::npos);
    EXPECT_NE(requests[0].find("<ns1:InsertReboot><reboot>1</reboot><systemid>5</systemid></ns1:InsertReboot>"),
              std::string::npos);
    EXPECT_NE(requests[1].find("<ns1:InsertDeployStatus><systemid>5</systemid></ns1:InsertDeployStatus>"),
              std::string::npos);
}

TEST_F(StatusClientTest, Soap12FaultGivesItsReasonText) {
    std::string fault =
        "<?xml version=\"1.0\"?><env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body>"
        "<env:Fault><env:Code><env:Value>env:Receiver</env:Value></env:Code><env:Reason><env:Text xml:lang=\"en\">"
        "Store offline</env:Text></env:Reason></env:Fault></env:Body></env:Envelope>";
    LoopbackServer server({LoopbackServer::Reply("500 Internal Server Error", fault)});
    std::string endpoint = Endpoint(server);
    veltwuaPortBindingProxy proxy("agent", "secret");
    proxy.soap_endpoint = endpoint.c_str();
    ns1__UpdateDeployJobStatus request;
    EXPECT_NE(proxy.UpdateDeployJobStatus(&request), SOAP_OK);
    ASSERT_NE(proxy.soap_fault_string(), nullptr);
    EXPECT_STREQ(proxy.soap_fault_string(), "Store offline");
}

}  // namespace
