// How the TLS client reads the status server's host: a DNS name or an IPv4
// address. A resolver reads an address in more forms than four decimal
// numbers (127.1, 0x7f.0.0.1, 127.0.0.010 whose last part is octal), and
// OpenSSL reads some of those otherwise, so that the address connected to
// and the address a certificate is checked for could differ.
#pragma once

#include <array>
#include <string_view>

struct ServerHost {
    enum class Form {
        // Any other host: sent as the server name, matched against the
        // certificate's DNS names.
        DnsName,
        // Four decimal numbers from 0 to 255 without leading zeros, the one
        // form that every reader takes for the same address.
        Address,
        // Made only of numbers (decimal, octal with a leading 0, hexadecimal
        // with 0x) between dots, perhaps with a dot at its end: what some
        // resolver may read as an address, though not in the form above.
        OtherAddressForm,
    };
    Form form = Form::DnsName;
    // Address: its four bytes, in network order.
    std::array<unsigned char, 4> address{};
};

ServerHost ReadServerHost(std::string_view host);
