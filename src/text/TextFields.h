#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Small text operations shared by the listing parser, the pane rules and the
// other areas that cut entry texts, paths and comma lists.
namespace text {

// True for the bytes that trimming removes: every code up to and including
// the space (control characters and NUL as well).
constexpr bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view TrimBlanks(std::string_view text);

// Cuts `text` at `separator` into `list` (views into `text`). Each part is
// trimmed and so is the rest after every cut, so runs of space separators
// collapse, a leading separator gives an empty first field, empty fields in
// the middle stay and a separator that ends the text adds no empty field.
void SplitFields(char separator, std::string_view text, std::vector<std::string_view>& list);

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string AsciiLowerCopy(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// An optional sign and one or more decimal digits, nothing else, within the
// 64-bit range.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// The value of the digits at the start of `text` (after an optional sign);
// 0 when there are none. Saturates instead of overflowing.
std::int64_t LeadingInteger(std::string_view text);

// Month 1 to 12 of a word that occurs, lowercased, anywhere inside
// "janfebmaraprmayjunjulaugsepoctnovdec"; fragments count ("ar" is March).
// Nothing for an empty word or one that does not occur.
std::optional<int> MonthFromWord(std::string_view word);

// Characters `from` (counted from 1) to `from + count - 1`, clipped to the text.
std::string_view Mid(std::string_view text, std::size_t from, std::size_t count);

} // namespace text
