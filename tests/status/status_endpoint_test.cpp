// The endpoint that a job's host and port make: exactly the URL the runtime
// is given, or none; the longest one that the runtime keeps whole.
#include <gtest/gtest.h>

#include <string>

#include "status/status_endpoint.h"

namespace {

constexpr std::size_t kLongestEndpoint = 1023;

std::u16string Repeated(char16_t c, std::size_t count) {
    return std::u16string(count, c);
}

TEST(StatusEndpointTest, HostAndPortMakeTheUrl) {
    EXPECT_EQ(MakeStatusEndpoint(u"status.example", u"8443", true), "https://status.example:8443/VeltraneWS/veltwua");
    EXPECT_EQ(MakeStatusEndpoint(u"10.0.0.1", u"00080", false), "http://10.0.0.1:00080/VeltraneWS/veltwua");
    // The host in the code page (UTF-8 here), byte for byte.
    EXPECT_EQ(MakeStatusEndpoint(u"b\u00fccher", u"1", false),
              "http://b\xc3\xbc"
              "cher:1/VeltraneWS/veltwua");
}

TEST(StatusEndpointTest, PortIsOneToFiveAsciiDigitsUpTo65535) {
    for (const char16_t* port : {u"1", u"65535", u"00001", u"80"}) EXPECT_TRUE(IsStatusPort(port));
    for (const char16_t* port :
         {u"", u"0", u"00000", u"65536", u"000080", u"101419", u"-29653", u"+80", u"80 ", u"\uff18\uff10", u"8\u0660"})
        EXPECT_FALSE(IsStatusPort(port)) << std::u16string(port).size();
    EXPECT_FALSE(IsStatusPort(nullptr));
}

TEST(StatusEndpointTest, HostThatWouldNameAnotherServerOrPortGivesNone) {
    for (const char16_t* host : {u"", u"a:1", u"a@b", u"a/b", u"a\\b", u"a?b", u"a#b", u"a b", u"a\u3000b", u"a\u0085"})
        EXPECT_FALSE(MakeStatusEndpoint(host, u"80", false)) << std::u16string(host).size();
    // An unpaired surrogate does not convert to the code page unchanged.
    const char16_t unpaired[] = {u'a', 0xD800, 0};
    EXPECT_FALSE(MakeStatusEndpoint(unpaired, u"80", false));
    EXPECT_FALSE(MakeStatusEndpoint(nullptr, u"80", false));
    EXPECT_FALSE(MakeStatusEndpoint(u"host", u"65536", false));
}

TEST(StatusEndpointTest, EndpointLongerThanTheRuntimeKeepsGivesNone) {
    const std::size_t frame = std::string("https://:65535/VeltraneWS/veltwua").size();
    const std::u16string fits = Repeated(u'a', kLongestEndpoint - frame);
    ASSERT_TRUE(MakeStatusEndpoint(fits.c_str(), u"65535", true));
    EXPECT_EQ(MakeStatusEndpoint(fits.c_str(), u"65535", true)->size(), kLongestEndpoint);
    EXPECT_FALSE(MakeStatusEndpoint((fits + u"a").c_str(), u"65535", true));
    // Counted in the bytes the runtime is given: three for each of these.
    const std::u16string wide = Repeated(u'\u20ac', (kLongestEndpoint - frame) / 3 + 1);
    EXPECT_FALSE(MakeStatusEndpoint(wide.c_str(), u"65535", true));
}

}  // namespace
