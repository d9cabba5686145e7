// Which hosts the TLS client takes for an address, which for a DNS name, and
// which it refuses to check because a resolver could read them as another
// address than the one checked.
#include <gtest/gtest.h>

#include <array>

#include "status/server_host.h"

namespace {

using Form = ServerHost::Form;

TEST(ServerHostTest, FourDecimalNumbersWithoutLeadingZerosAreAnAddress) {
    const ServerHost loopback = ReadServerHost("127.0.0.1");
    EXPECT_EQ(loopback.form, Form::Address);
    EXPECT_EQ(loopback.address, (std::array<unsigned char, 4>{127, 0, 0, 1}));
    EXPECT_EQ(ReadServerHost("255.255.255.255").address, (std::array<unsigned char, 4>{255, 255, 255, 255}));
    EXPECT_EQ(ReadServerHost("0.0.0.0").form, Form::Address);
}

TEST(ServerHostTest, NumbersInAnotherFormAreNeitherAnAddressNorAName) {
    for (const char* host : {"127.0.0.010", "127.0.0.01", "127.1", "2130706433", "0x7f000001", "0x7f.0.0.1",
                             "0X7F.0.0.1", "127.0.0.1.", "1.2.3.256", "1.2.3.4.5", "0x", "1.0x.2.3", "0"})
        EXPECT_EQ(ReadServerHost(host).form, Form::OtherAddressForm) << host;
}

TEST(ServerHostTest, AnythingElseIsADnsName) {
    for (const char* host : {"localhost", "status.example", "deadbeef", "1.2.3.example", "example.123", "1.2.3.4a",
                             "1..2.3", ".1.2.3", "1.2.3.4..", "0xg.1.2.3", "-1.2.3.4", "+1.2.3.4", ""})
        EXPECT_EQ(ReadServerHost(host).form, Form::DnsName) << host;
}

}  // namespace
