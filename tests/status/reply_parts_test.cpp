// The parts of the reply reader that judge what a server sent, one routine
// at a time: the status line, the Content-Length fields, the waits of an
// attempt's reads and the reading of a Fault.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "status/attempt_clock.h"
#include "status/content_length.h"
#include "status/reply_content.h"
#include "status/reply_status_line.h"
#include "status/status_proxy.h"

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ReplyStatusLine, OnlyHttp1SpeltAsRfc9112SpellsIt) {
    for (const char* line : {"HTTP/1.1 202 Accepted", "HTTP/1.0 500 Internal Server Error", "HTTP/1.1 202", "HTTP/1.1 202 "})
        EXPECT_TRUE(IsHttpStatusLine(line)) << line;
    for (const char* line : {"ICY 200 OK", "http/1.1 202 Accepted", "HTTP/2 202 Accepted", "HTTP/1.2 202 Accepted",
                             "HTTP/1.1  202 Accepted", "HTTP/1.1 20 Accepted", "HTTP/1.1 2020 Accepted",
                             "HTTP/1.1 2x2 Accepted", "HTTP/1.1\t202 Accepted", " HTTP/1.1 202 Accepted", "", "HTTP/1.1"})
        EXPECT_FALSE(IsHttpStatusLine(line)) << line;
}

TEST(ContentLengthFields, PlainDigitsTheSameInEveryField) {
    ContentLengthFields fields;
    fields.Note("0", false);
    fields.Note("000", false);
    EXPECT_FALSE(fields.Invalid());
    fields.Note("5", false);
    EXPECT_TRUE(fields.Invalid()) << "fields that differ";
    fields.Clear();
    EXPECT_FALSE(fields.Invalid()) << "a new reply's fields";
    fields.Note("12", false);
    fields.Note("0012", false);
    EXPECT_FALSE(fields.Invalid());
    for (const char* value : {"0x10", "+5", "-0", "5 5", "0, 0", "", "1e3"}) {
        ContentLengthFields one;
        one.Note(value, false);
        EXPECT_TRUE(one.Invalid()) << value;
    }
    ContentLengthFields quoted;
    quoted.Note("5", true);
    EXPECT_TRUE(quoted.Invalid()) << "a quoted value";
}

TEST(AttemptClock, AReadWaitsUntilTheDeadlineWithinTheSilenceLimit) {
    EXPECT_EQ(SilenceLimit(0), microseconds(0));
    EXPECT_EQ(SilenceLimit(120), seconds(120));
    EXPECT_EQ(SilenceLimit(-1500), microseconds(1500));
    // Until the deadline when no silence limit is shorter, in whole
    // milliseconds rounded up.
    EXPECT_EQ(ReadWait(milliseconds(3200), 0), milliseconds(3200));
    EXPECT_EQ(ReadWait(milliseconds(3200), 120), milliseconds(3200));
    EXPECT_EQ(ReadWait(microseconds(1), 0), milliseconds(1));
    EXPECT_EQ(ReadWait(microseconds(1001), 0), milliseconds(2));
    // The silence limit, when shorter, in either of the runtime's units.
    EXPECT_EQ(ReadWait(seconds(100), 2), seconds(2));
    EXPECT_EQ(ReadWait(seconds(100), -2500), milliseconds(3));
    // Never more than the runtime's limit can hold as microseconds.
    EXPECT_EQ(ReadWait(std::chrono::hours(24), 0), seconds(2000));
}

TEST(AttemptClock, AWaitRanOutOnlyOnceItsTimeHasGone) {
    EXPECT_TRUE(WaitRanOut(seconds(2), seconds(2)));
    EXPECT_TRUE(WaitRanOut(milliseconds(1990), seconds(2))) << "a timer may wake a little early";
    EXPECT_FALSE(WaitRanOut(milliseconds(100), seconds(2))) << "an end of the connection comes at once";
}

// Reads content as a 500 reply's, in a context of the status client.
int Fault(const std::string& content, std::string& faultString) {
    veltwuaPortBindingProxy proxy("agent", "secret");
    const int rc = ReadFault(&proxy, content);
    const char* text = rc != SOAP_OK ? *soap_faultstring(&proxy) : nullptr;
    faultString = text ? text : "";
    return rc;
}

TEST(ReplyContent, AFaultGivesItsFaultStringAndNothingElseIsOne) {
    const std::string soap11 =
        "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
        "<faultstring>Job table is locked</faultstring></SOAP-ENV:Fault></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    std::string text;
    EXPECT_NE(Fault(soap11, text), SOAP_OK);
    EXPECT_EQ(text, "Job table is locked");
    const std::string soap12 =
        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body><env:Fault>"
        "<env:Code><env:Value>env:Receiver</env:Value></env:Code>"
        "<env:Reason><env:Text xml:lang=\"en\">Database down</env:Text></env:Reason></env:Fault></env:Body></env:Envelope>";
    EXPECT_NE(Fault(soap12, text), SOAP_OK);
    EXPECT_EQ(text, "Database down");
    // XML of another kind, an envelope in no SOAP namespace, an HTML page.
    for (const std::string& other :
         {std::string("<html><body>Down for maintenance</body></html>"), std::string("<Envelope><Body><Fault>"
                                                                                     "<faultstring>x</faultstring>"
                                                                                     "</Fault></Body></Envelope>"),
          std::string("not XML at all")})
        EXPECT_EQ(Fault(other, text), SOAP_OK) << other;
}

}  // namespace
