#include "remote/MachineListing.h"

#include "ftp/TransferFormat.h"
#include "remote/ListingDates.h"
#include "text/TextFields.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace remote {
namespace {

// Digits only: a fact value has no sign.
std::optional<std::int64_t> Number(std::string_view text) {
    if (text.starts_with('+'))
        return std::nullopt;
    const std::optional<std::int64_t> value = text::ParseInteger(text);
    return value && *value >= 0 ? value : std::nullopt;
}

void ReadType(std::string_view value, MachineEntry& entry) {
    if (text::EqualsNoCase(value, "file")) {
        entry.type = MachineType::File;
    } else if (text::EqualsNoCase(value, "dir")) {
        entry.type = MachineType::Directory;
    } else if (text::EqualsNoCase(value, "cdir")) {
        entry.type = MachineType::Current;
    } else if (text::EqualsNoCase(value, "pdir")) {
        entry.type = MachineType::Parent;
    } else if (text::EqualsNoCase(value, "os.unix=symlink")) {
        entry.type = MachineType::Link;
    } else if (text::StartsWithNoCase(value, "os.unix=slink:")) {
        entry.type = MachineType::Link;
        entry.linkTarget = std::string(value.substr(14));
    }
}

void ReadFact(std::string_view name, std::string_view value, MachineEntry& entry) {
    if (text::EqualsNoCase(name, "type")) {
        ReadType(value, entry);
    } else if (text::EqualsNoCase(name, "size") || text::EqualsNoCase(name, "sizd")) {
        entry.size = Number(value);
    } else if (text::EqualsNoCase(name, "modify")) {
        entry.modified = ParseMachineTime(value);
    } else if (text::EqualsNoCase(name, "unix.mode")) {
        const bool octal = !value.empty() && value.size() <= 5 &&
                           value.find_first_not_of("01234567") == std::string_view::npos;
        entry.unixMode = octal ? std::string(value) : std::string();
    } else if (text::EqualsNoCase(name, "perm")) {
        entry.permissions = std::string(value);
    }
}

// "drwxr-xr-x" from the type and the octal mode.
std::string ModeText(const MachineEntry& entry) {
    const char type = entry.type == MachineType::Link        ? 'l'
                      : entry.type == MachineType::Directory ? 'd'
                                                             : '-';
    if (entry.unixMode.empty())
        return type == '-' ? std::string() : std::string(1, type);
    const unsigned mode = static_cast<unsigned>(std::stoul(entry.unixMode, nullptr, 8));
    std::string text(1, type);
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += mode >> (shift + 2) & 1 ? 'r' : '-';
        text += mode >> (shift + 1) & 1 ? 'w' : '-';
        text += mode >> shift & 1 ? 'x' : '-';
    }
    return text;
}

// The mode as "ls -l" shows it; without one, the "perm" letters, which never
// begin like a link's mode unless the entry is one.
std::string AttributeText(const MachineEntry& entry) {
    if (!entry.unixMode.empty() || entry.permissions.empty())
        return ModeText(entry);
    if (entry.type == MachineType::Link)
        return "l " + entry.permissions;
    return entry.permissions.starts_with('l') ? "-" + entry.permissions : entry.permissions;
}

std::string TwoDigits(int value) {
    return {char('0' + value / 10 % 10), char('0' + value % 10)};
}

} // namespace

std::optional<std::int64_t> ParseMachineTime(std::string_view text) {
    return ftptransfer::ParseFactTime(text);
}

std::optional<MachineEntry> ParseMachineLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    std::string_view facts = line.substr(0, blank);
    if (!facts.empty() && facts.back() != ';')
        return std::nullopt;
    MachineEntry entry;
    entry.name = std::string(line.substr(blank + 1));
    while (!facts.empty()) {
        const std::size_t end = facts.find(';');
        const std::string_view fact = facts.substr(0, end);
        const std::size_t equals = fact.find('=');
        if (equals == std::string_view::npos || equals == 0)
            return std::nullopt;
        ReadFact(fact.substr(0, equals), fact.substr(equals + 1), entry);
        facts.remove_prefix(end + 1);
    }
    return entry;
}

LocalClock SystemLocalTime(std::int64_t utcSeconds) {
    const std::time_t time = static_cast<std::time_t>(utcSeconds);
    std::tm local{};
    if (!localtime_r(&time, &local))
        return {};
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

MachineLine ReadMachineEntry(std::string_view line, const LocalTimeOf& localTime,
                             RemoteEntry& entry) {
    std::optional<MachineEntry> machine = ParseMachineLine(line);
    if (!machine)
        return MachineLine::NotUnderstood;
    if (machine->type == MachineType::Current || machine->type == MachineType::Parent ||
        machine->name.empty() || machine->name == "." || machine->name == "..")
        return MachineLine::LeftOut;
    const bool folder =
        machine->type == MachineType::Directory || machine->type == MachineType::Link;
    entry.kind = folder ? EntryKind::Directory : EntryKind::File;
    entry.name = std::move(machine->name);
    entry.size.clear();
    if (machine->size && machine->type != MachineType::Directory)
        entry.size = std::to_string(*machine->size);
    entry.date.clear();
    entry.time.clear();
    if (machine->modified) {
        const LocalClock clock = localTime(*machine->modified);
        entry.date = listing::FormatShortDate(clock.day, clock.month, clock.year);
        entry.time = TwoDigits(clock.hour) + ":" + TwoDigits(clock.minute);
    }
    entry.attributes = AttributeText(*machine);
    entry.linkTarget = std::move(machine->linkTarget);
    return MachineLine::Entry;
}

ParsedListing ParseMachineListing(std::span<const std::string_view> lines,
                                  const LocalTimeOf& localTime) {
    ParsedListing parsed;
    parsed.entries.reserve(lines.size());
    for (const std::string_view line : lines) {
        if (line.empty())
            continue;
        RemoteEntry entry;
        switch (ReadMachineEntry(line, localTime, entry)) {
        case MachineLine::Entry:
            parsed.entries.push_back(std::move(entry));
            break;
        case MachineLine::LeftOut:
            break;
        case MachineLine::NotUnderstood:
            ++parsed.linesNotUnderstood;
            break;
        }
    }
    return parsed;
}

} // namespace remote
