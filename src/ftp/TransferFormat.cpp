#include "ftp/TransferFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>

namespace ftptransfer {
namespace {

// Drops everything up to and including the first `c`; nothing when absent.
void CutThrough(std::string_view& text, char c) {
    const std::size_t at = text.find(c);
    if (at != std::string_view::npos)
        text.remove_prefix(at + 1);
}

// The text before the first `c`; empty when there is none.
std::string_view Before(std::string_view text, char c) {
    const std::size_t at = text.find(c);
    return at == std::string_view::npos ? std::string_view{} : text.substr(0, at);
}

std::optional<std::int64_t> ToInteger(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::uint16_t> ParsePassivePort(std::string_view reply) {
    if (reply.find('(') != std::string_view::npos) {
        CutThrough(reply, '(');
    } else {
        // "227 =127,0,0,1,0,21)": the numbers start at the first digit after the code.
        CutThrough(reply, ' ');
        const std::size_t digit = reply.find_first_of("0123456789");
        reply.remove_prefix(digit == std::string_view::npos ? reply.size() : digit);
    }
    // Six numbers of 0 to 255, the last one before ")"; anything else would
    // wrap to some port nobody named.
    std::array<std::int64_t, 6> n{};
    for (std::size_t i = 0; i < n.size(); ++i) {
        const char end = i + 1 < n.size() ? ',' : ')';
        const std::optional<std::int64_t> value = ToInteger(Before(reply, end));
        if (!value || *value < 0 || *value > 255)
            return std::nullopt;
        n[i] = *value;
        CutThrough(reply, end);
    }
    const std::int64_t port = n[4] * 256 + n[5];
    if (port == 0)
        return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

std::optional<std::uint16_t> ParseExtendedPassivePort(std::string_view reply) {
    const std::size_t open = reply.find('(');
    const std::size_t close = reply.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open + 6)
        return std::nullopt;
    const std::string_view fields = reply.substr(open + 1, close - open - 1);
    const char delimiter = fields.front();
    if (delimiter < 33 || delimiter > 126 || (delimiter >= '0' && delimiter <= '9') ||
        fields.back() != delimiter || std::count(fields.begin(), fields.end(), delimiter) != 4)
        return std::nullopt;
    const std::string_view port = fields.substr(fields.rfind(delimiter, fields.size() - 2) + 1);
    const std::optional<std::int64_t> value = ToInteger(port.substr(0, port.size() - 1));
    if (!value || *value < 1 || *value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::string ExtendedPortCommand(std::string_view localAddress, std::uint16_t port) {
    const bool v6 = localAddress.find(':') != std::string_view::npos;
    return std::string("EPRT |") + (v6 ? "2" : "1") + "|" + std::string(localAddress) + "|" +
           std::to_string(port) + "|";
}

std::int64_t AnnouncedSize(std::string_view reply) {
    constexpr std::string_view unit = " bytes)";
    const std::size_t end = reply.rfind(unit);
    if (end == std::string_view::npos)
        return -1;
    const std::size_t open = reply.rfind('(', end);
    if (open == std::string_view::npos)
        return -1;
    const std::optional<std::int64_t> size = ToInteger(reply.substr(open + 1, end - open - 1));
    return size && *size >= 0 ? *size : -1;
}

std::string PortCommand(std::string_view localAddress, std::uint16_t port) {
    std::string command = "PORT ";
    for (const char c : localAddress)
        command += c == '.' ? ',' : c;
    return command + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff);
}

std::optional<std::int64_t> ParseFactTime(std::string_view text) {
    if (const std::size_t dot = text.find('.'); dot != std::string_view::npos) {
        const std::string_view fraction = text.substr(dot + 1);
        if (fraction.empty() || fraction.find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
        text = text.substr(0, dot);
    }
    if (text.size() != 14 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const auto field = [&](std::size_t at, std::size_t length) {
        return static_cast<int>(*ToInteger(text.substr(at, length)));
    };
    using namespace std::chrono;
    const year_month_day date{year{field(0, 4)}, month{unsigned(field(4, 2))},
                              day{unsigned(field(6, 2))}};
    const int hour = field(8, 2), minute = field(10, 2), second = field(12, 2);
    // 60 for a leap second, which the clock folds into the next minute.
    if (!date.ok() || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    return (sys_days{date}.time_since_epoch() + hours{hour} + minutes{minute} + seconds{second}) /
           seconds{1};
}

std::string FactTime(std::int64_t utcSeconds) {
    using namespace std::chrono;
    const sys_seconds at{seconds{utcSeconds}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{at - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u%02d%02d%02d", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    return text;
}

std::string StatisticsLine(std::int64_t bytes, std::int64_t milliseconds) {
    std::string line = std::to_string(bytes) + " bytes received/sent in " +
                       std::to_string(milliseconds / 1000) + " seconds";
    if (milliseconds != 0) {
        // Small counts multiply first to keep precision; large ones divide
        // first, as the rate has always been computed.
        const std::int64_t rate =
            bytes < 32768 ? bytes * 1000 / milliseconds : bytes / milliseconds * 1000;
        line += " (" + std::to_string(rate) + " Bytes/sec)";
    }
    return line;
}

} // namespace ftptransfer
