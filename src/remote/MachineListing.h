#pragma once

#include "remote/ListingParser.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// MLSD listings: one "fact=value;...; name" line per entry, the same on every
// server, with exact names and times in UTC.
namespace remote {

enum class MachineType : unsigned char { File, Directory, Current, Parent, Link, Other };

struct MachineEntry {
    MachineType type = MachineType::Other;
    std::string name;                     // everything after the blank that ends the facts
    std::optional<std::int64_t> size;     // "size", or "sizd" of a directory
    std::optional<std::int64_t> modified; // seconds since 1970, UTC
    std::string unixMode;                 // octal digits, as sent
    std::string permissions;              // the "perm" letters
    std::string linkTarget;               // of "OS.unix=slink:target"

    bool operator==(const MachineEntry&) const = default;
};

// Nothing when the line has no blank ending its facts or a fact without "=";
// a fact whose value makes no sense is passed over.
std::optional<MachineEntry> ParseMachineLine(std::string_view line);

// "YYYYMMDDHHMMSS", optionally with fractions of a second; nothing for a
// date or time that does not exist.
std::optional<std::int64_t> ParseMachineTime(std::string_view text);

struct LocalClock {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0;
};
// The pane shows local times; tests pass a fixed zone.
using LocalTimeOf = std::function<LocalClock(std::int64_t utcSeconds)>;
LocalClock SystemLocalTime(std::int64_t utcSeconds);

enum class MachineLine : unsigned char { Entry, LeftOut, NotUnderstood };

// One MLSD line as the pane shows a parsed entry, into `entry`; "." and ".."
// (cdir, pdir) are left out.
MachineLine ReadMachineEntry(std::string_view line, const LocalTimeOf& localTime,
                             RemoteEntry& entry);

// The entries as the pane shows parsed ones: "." and ".." (cdir, pdir) left
// out, a link taken for a directory so that opening it tries CWD, the
// attributes as "ls -l" shows them when the server sends the mode.
ParsedListing ParseMachineListing(std::span<const std::string_view> lines,
                                  const LocalTimeOf& localTime = SystemLocalTime);

} // namespace remote
