#pragma once

#include "sites/Site.h"

#include <optional>
#include <string>
#include <string_view>

struct Options;

// What the quick-connect bar holds: a one-off session without a saved site.
struct QuickConnectEntries {
    // A name or address ("::1", "[::1]:2121"); "ftp://user:pw@host:port/dir"
    // works too, with "ftps://" for implicit TLS and "ftpes://" for explicit.
    std::string Host;
    std::string User; // empty: anonymous
    std::string Password;
    std::string Port; // empty: 21
    bool RememberPassword = false;

    bool operator==(const QuickConnectEntries&) const = default;
};

// A scheme an address may start with, and what it means.
struct AddressScheme {
    std::string_view Prefix; // "ftp://", "ftpes://", "ftps://"
    SiteEncryption Encryption;
    const char* Port; // the scheme's own
};
// The scheme `address` starts with, in any case; nothing for a bare host.
const AddressScheme* SchemeOf(std::string_view address);

// What the host box says, taken apart.
struct QuickConnectAddress {
    // "ftps://": implicit TLS on 990; "ftpes://": explicit TLS required;
    // "ftp://" or none: explicit TLS when the server offers it.
    SiteEncryption Encryption = SiteEncryption::ExplicitIfOffered;
    std::string User;
    std::optional<std::string> Password;
    std::string Host; // an IPv6 address without brackets
    std::string Port; // the address's own, else the scheme's
    std::string Dir;  // from the first "/" after the host on
};
// Nothing, with the reason in `problem`, for an address we cannot use.
std::optional<QuickConnectAddress> ReadQuickConnectAddress(std::string_view typed,
                                                           std::string& problem);

// Why the entries cannot be used, in the user's words; empty when they can.
std::string QuickConnectProblem(const QuickConnectEntries& entries);

// The site the session connects to, made as a new site is (passive, TLS when
// offered): named after the host; the port box wins over the address's port;
// a user or password in the address stands in for an empty box; anonymous
// without a user, the typed password or the settings' address then its
// e-mail; without a password the session asks.
Site QuickConnectSite(const QuickConnectEntries& entries, const Options& options);
// The port the session takes while the port box is empty, for the bar's hint.
std::string QuickConnectDefaultPort(std::string_view host);

// The bar's last entries, in their own section of "options.ftp", which older
// versions ignore. The password is kept (scrambled) only when the user asks.
QuickConnectEntries LoadQuickConnect(const std::string& programFolder);
bool SaveQuickConnect(const std::string& programFolder, const QuickConnectEntries& entries);

inline constexpr const char* QuickConnectSection = "Quick Connect";
