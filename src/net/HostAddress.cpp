#include "net/HostAddress.h"

#include <arpa/inet.h>
#include <charconv>
#include <netinet/in.h>

namespace net {
namespace {

bool IsPort(std::string_view text) {
    int port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size() && port >= 1 &&
           port <= 65535;
}

std::string_view TrimmedBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

bool IsIpv6Literal(std::string_view text) {
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN)
        return false;
    const std::string copy(text);
    in6_addr address{};
    return inet_pton(AF_INET6, copy.c_str(), &address) == 1;
}

std::optional<HostAndPort> SplitHostAndPort(std::string_view typed) {
    typed = TrimmedBlanks(typed);
    for (const char c : typed)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
            return std::nullopt;
    if (typed.empty())
        return std::nullopt;
    if (typed.front() == '[') {
        const std::size_t close = typed.find(']');
        if (close == std::string_view::npos || !IsIpv6Literal(typed.substr(1, close - 1)))
            return std::nullopt;
        const std::string_view rest = typed.substr(close + 1);
        if (rest.empty())
            return HostAndPort{std::string(typed.substr(1, close - 1)), {}};
        if (rest.front() != ':' || !IsPort(rest.substr(1)))
            return std::nullopt;
        return HostAndPort{std::string(typed.substr(1, close - 1)), std::string(rest.substr(1))};
    }
    if (IsIpv6Literal(typed))
        return HostAndPort{std::string(typed), {}};
    if (typed.find(']') != std::string_view::npos)
        return std::nullopt;
    const std::size_t colon = typed.find(':');
    if (colon == std::string_view::npos)
        return HostAndPort{std::string(typed), {}};
    // One colon: a name or IPv4 address and its port; more: nothing we know.
    if (typed.find(':', colon + 1) != std::string_view::npos || colon == 0 ||
        !IsPort(typed.substr(colon + 1)))
        return std::nullopt;
    return HostAndPort{std::string(typed.substr(0, colon)), std::string(typed.substr(colon + 1))};
}

} // namespace net
