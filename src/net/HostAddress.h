#pragma once

#include <optional>
#include <string>
#include <string_view>

// What a user types as a server address: a host name, an IPv4 address, or an
// IPv6 literal, bare ("::1") or in brackets with a port after it ("[::1]:2121").
namespace net {

struct HostAndPort {
    std::string host; // without brackets
    std::string port; // empty when none was typed

    bool operator==(const HostAndPort&) const = default;
};

// Nothing for text that cannot be an address: blanks or control bytes inside,
// an unclosed bracket, brackets around something that is no IPv6 address, or a
// port that is not 1 to 65535.
std::optional<HostAndPort> SplitHostAndPort(std::string_view typed);

bool IsIpv6Literal(std::string_view text);

} // namespace net
