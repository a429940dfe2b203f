#pragma once

#include "sites/Site.h"

#include <string>

struct Options;

// What the quick-connect bar holds: a one-off session without a saved site.
struct QuickConnectEntries {
    std::string Host; // a name or address; "ftp://user:pw@host:port/dir" works too
    std::string User; // empty: anonymous
    std::string Password;
    std::string Port; // empty: 21
    bool RememberPassword = false;

    bool operator==(const QuickConnectEntries&) const = default;
};

// Why the entries cannot be used, in the user's words; empty when they can.
std::string QuickConnectProblem(const QuickConnectEntries& entries);

// The site the session connects to, made as a new site is (passive): named
// after the host; anonymous without a user, the typed password or the
// settings' address then its e-mail; without a password the session asks.
Site QuickConnectSite(const QuickConnectEntries& entries, const Options& options);

// The bar's last entries, in their own section of "options.ftp", which older
// versions ignore. The password is kept (scrambled) only when the user asks.
QuickConnectEntries LoadQuickConnect(const std::string& programFolder);
bool SaveQuickConnect(const std::string& programFolder, const QuickConnectEntries& entries);

inline constexpr const char* QuickConnectSection = "Quick Connect";
