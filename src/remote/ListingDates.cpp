#include "remote/ListingDates.h"

#include "text/TextFields.h"

#include <algorithm>
#include <charconv>

namespace remote::listing {

using namespace text;

namespace {

// Two places, right-aligned, the padding turned into "0" ("05", "-5", "123").
void AppendTwoPlaces(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<std::size_t>(result.ptr - digits);
    if (length < 2)
        out += '0';
    out.append(digits, length);
}

// The value of one to four digits; nothing for anything else.
std::optional<int> SmallNumber(std::string_view text) {
    if (text.size() > 4 || !AllDigits(text))
        return std::nullopt;
    int value = 0;
    for (const char c : text)
        value = value * 10 + (c - '0');
    return value;
}

std::optional<int> DayNumber(std::string_view word) {
    const std::optional<int> day = word.size() <= 2 ? SmallNumber(word) : std::nullopt;
    return day && *day >= 1 && *day <= 31 ? day : std::nullopt;
}

std::optional<int> MonthNumber(std::string_view word) {
    const std::optional<int> month = word.size() <= 2 ? SmallNumber(word) : std::nullopt;
    return month && *month >= 1 && *month <= 12 ? month : std::nullopt;
}

// "Mar", "mar", "MAR": an English three-letter abbreviation, nothing longer.
std::optional<int> MonthAbbreviation(std::string_view word) {
    constexpr auto key = [](char a, char b, char c) {
        return static_cast<unsigned>(static_cast<unsigned char>(AsciiLower(a))) << 16 |
               static_cast<unsigned>(static_cast<unsigned char>(AsciiLower(b))) << 8 |
               static_cast<unsigned char>(AsciiLower(c));
    };
    constexpr unsigned kMonths[] = {key('j', 'a', 'n'), key('f', 'e', 'b'), key('m', 'a', 'r'),
                                    key('a', 'p', 'r'), key('m', 'a', 'y'), key('j', 'u', 'n'),
                                    key('j', 'u', 'l'), key('a', 'u', 'g'), key('s', 'e', 'p'),
                                    key('o', 'c', 't'), key('n', 'o', 'v'), key('d', 'e', 'c')};
    if (word.size() != 3)
        return std::nullopt;
    const unsigned wanted = key(word[0], word[1], word[2]);
    for (int month = 0; month < 12; ++month) {
        if (kMonths[month] == wanted)
            return month + 1;
    }
    return std::nullopt;
}

// "8:05", "08:05", "08:05:59".
bool IsClock(std::string_view word) {
    const std::size_t colon = word.size() > 2 && word[1] == ':' ? 1 : 2;
    if (word.size() <= colon || word[colon] != ':' || !AllDigits(word.substr(0, colon)))
        return false;
    const std::string_view rest = word.substr(colon + 1);
    return (rest.size() == 2 && AllDigits(rest)) ||
           (rest.size() == 5 && rest[2] == ':' && AllDigits(rest.substr(0, 2)) &&
            AllDigits(rest.substr(3)));
}

std::optional<int> FourDigitYear(std::string_view word) {
    return word.size() == 4 ? SmallNumber(word) : std::nullopt;
}

// "2005-06-07" as `ls --time-style=long-iso` prints it.
bool ReadIsoDate(std::string_view word, UnixDate& date) {
    if (word.size() != 10 || word[4] != '-' || word[7] != '-')
        return false;
    const auto year = FourDigitYear(word.substr(0, 4));
    const auto month = MonthNumber(word.substr(5, 2));
    const auto day = DayNumber(word.substr(8, 2));
    if (!year || !month || !day)
        return false;
    date = {UnixDate::Shape::Iso, *day, *month, *year, {}, 0};
    return true;
}

// "07.06.2005" or "7.6.05".
bool ReadDottedDate(std::string_view word, UnixDate& date) {
    if (word.size() < 6 || word.size() > 10)
        return false;
    const std::size_t first = word[1] == '.' ? 1 : 2;
    const std::size_t second = word[first + 2] == '.' ? first + 2 : first + 3;
    if (word[first] != '.' || second + 2 >= word.size() || word[second] != '.')
        return false;
    const auto day = DayNumber(word.substr(0, first));
    const auto month = MonthNumber(word.substr(first + 1, second - first - 1));
    const std::string_view yearText = word.substr(second + 1);
    if (yearText.size() != 2 && yearText.size() != 4)
        return false;
    const int year = SmallNumber(yearText).value_or(-1);
    if (!day || !month || year < 0)
        return false;
    // Two digits: 80 to 99 are the 1900s.
    const int fullYear = yearText.size() == 4 ? year : (year < 80 ? 2000 + year : 1900 + year);
    date = {UnixDate::Shape::Dotted, *day, *month, fullYear, {}, 0};
    return true;
}

} // namespace

std::string FormatShortDate(std::int64_t day, int month, std::int64_t year) {
    std::string date;
    AppendTwoPlaces(date, day);
    date += '.';
    AppendTwoPlaces(date, month);
    date += '.';
    AppendTwoPlaces(date, year % 100);
    return date;
}

int YearOfTimedEntry(int month, int day, std::chrono::year_month_day startDate) {
    const auto startMonth = static_cast<int>(static_cast<unsigned>(startDate.month()));
    const auto startDay = static_cast<int>(static_cast<unsigned>(startDate.day()));
    const int year = static_cast<int>(startDate.year());
    return month > startMonth || (month == startMonth && day > startDay) ? year - 1 : year;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The date whose first word is word n: "Mar 15 12:34", "Mar 15 2003",
// "15 Mar 12:34", "2005-06-07 [21:22]" or "07.06.2005 [21:22]".
bool ReadUnixDateAt(Words& words, std::size_t n, UnixDate& date) {
    const std::string_view first = words.At(n);
    const auto timeOrYear = [&](std::size_t at) {
        const std::string_view word = words.At(at);
        if (IsClock(word)) {
            date.time = word;
            return true;
        }
        date.year = FourDigitYear(word);
        return date.year.has_value();
    };
    if (ReadIsoDate(first, date) || ReadDottedDate(first, date)) {
        date.lastWord = n;
        if (IsClock(words.At(n + 1))) {
            date.time = words.At(n + 1);
            date.lastWord = n + 1;
        }
        return true;
    }
    if (const auto month = MonthAbbreviation(first)) {
        const auto day = DayNumber(words.At(n + 1));
        if (!day || !timeOrYear(n + 2))
            return false;
        date.shape = UnixDate::Shape::MonthDay;
        date.day = *day;
        date.month = *month;
    } else if (const auto day = DayNumber(first)) {
        const auto swapped = MonthAbbreviation(words.At(n + 1));
        if (!swapped || !timeOrYear(n + 2))
            return false;
        date.shape = UnixDate::Shape::DayMonth;
        date.day = *day;
        date.month = *swapped;
    } else {
        return false;
    }
    date.lastWord = n + 2;
    return true;
}

bool DateExists(int year, int month, int day) {
    return std::chrono::year_month_day{std::chrono::year{year},
                                       std::chrono::month{static_cast<unsigned>(month)},
                                       std::chrono::day{static_cast<unsigned>(day)}}
        .ok();
}

// The date text of the UNIX layouts keeps the server's words, except an ISO
// date, which is written day first so the pane reads it as the dotted one.
void AppendUnixDate(std::string& out, Words& words, std::size_t dateWord, const UnixDate& date) {
    switch (date.shape) {
    case UnixDate::Shape::MonthDay:
    case UnixDate::Shape::DayMonth:
        out = words.At(dateWord);
        out += ' ';
        out += words.At(dateWord + 1);
        if (date.time.empty()) {
            out += ' ';
            out += words.At(dateWord + 2);
        }
        return;
    case UnixDate::Shape::Iso:
        AppendTwoPlaces(out, date.day);
        out += '.';
        AppendTwoPlaces(out, date.month);
        out += '.';
        out += words.At(dateWord).substr(0, 4);
        return;
    case UnixDate::Shape::Dotted:
        out = words.At(dateWord);
        return;
    }
}

bool IsDosDate(std::string_view word) {
    return (word.size() == 8 || word.size() == 10) && word[2] == '-' && word[5] == '-' &&
           MonthNumber(word.substr(0, 2)) && DayNumber(word.substr(3, 2)) &&
           AllDigits(word.substr(6));
}

} // namespace remote::listing
