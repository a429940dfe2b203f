#include "text/TextFields.h"

#include <algorithm>
#include <limits>

namespace text {

std::string_view TrimBlanks(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

void SplitFields(char separator, std::string_view text, std::vector<std::string_view>& list) {
    list.clear();
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t p = rest.find(separator);
        list.push_back(TrimBlanks(rest.substr(0, p)));
        const bool more = p != std::string_view::npos && p + 1 < rest.size();
        rest = more ? TrimBlanks(rest.substr(p + 1)) : std::string_view{};
    }
}

std::string AsciiLowerCopy(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
    return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[i]) != AsciiLower(prefix[i]))
            return false;
    }
    return true;
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Digits {
    std::int64_t value = 0;
    std::size_t end = 0; // position after the last digit
    bool overflow = false;
};

// Reads an optional sign and the digits after it, from the start of `text`.
Digits ReadDigits(std::string_view text) {
    Digits d;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        d.end = 1;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; d.end < text.size() && IsDigit(text[d.end]); ++d.end) {
        const int digit = text[d.end] - '0';
        if (d.value > (kMax - digit) / 10) {
            d.overflow = true;
            d.value = kMax;
        } else if (!d.overflow) {
            d.value = d.value * 10 + digit;
        }
    }
    if (negative)
        d.value = -d.value;
    return d;
}

} // namespace

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    const Digits d = ReadDigits(text);
    const std::size_t signLength = !text.empty() && !IsDigit(text[0]) ? 1 : 0;
    if (d.overflow || d.end != text.size() || d.end == signLength)
        return std::nullopt;
    return d.value;
}

std::int64_t LeadingInteger(std::string_view text) {
    return ReadDigits(text).value;
}

std::optional<int> MonthFromWord(std::string_view word) {
    constexpr std::string_view kMonths = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (word.empty() || word.size() > kMonths.size())
        return std::nullopt;
    char lower[kMonths.size()] = {};
    std::transform(word.begin(), word.end(), lower, AsciiLower);
    const std::size_t p = kMonths.find(std::string_view(lower, word.size()));
    if (p == std::string_view::npos)
        return std::nullopt;
    return static_cast<int>(p / 3) + 1;
}

std::string_view Mid(std::string_view text, std::size_t from, std::size_t count) {
    if (from == 0 || from > text.size())
        return {};
    return text.substr(from - 1, count);
}

} // namespace text
