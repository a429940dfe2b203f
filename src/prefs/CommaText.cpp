#include "prefs/CommaText.h"

#include "text/TextFields.h"

namespace {

constexpr char Quote = '"';
constexpr char Comma = ',';

void SkipBlanks(std::string_view text, std::size_t& i) {
    while (i < text.size() && text::IsBlank(text[i]))
        ++i;
}

// The quoted item that starts at text[i]; doubled quotes stand for one, and
// a missing closing quote ends the item at the end of the text.
std::string QuotedItem(std::string_view text, std::size_t& i) {
    std::string item;
    for (++i; i < text.size(); ++i) {
        if (text[i] != Quote) {
            item += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == Quote) {
            item += Quote;
            ++i;
        } else {
            ++i;
            break;
        }
    }
    return item;
}

} // namespace

std::vector<std::string> SplitCommaText(std::string_view text) {
    std::vector<std::string> items;
    std::size_t i = 0;
    SkipBlanks(text, i);
    while (i < text.size()) {
        if (text[i] == Quote) {
            items.push_back(QuotedItem(text, i));
        } else {
            const std::size_t start = i;
            while (i < text.size() && !text::IsBlank(text[i]) && text[i] != Comma)
                ++i;
            items.emplace_back(text.substr(start, i - start));
        }
        SkipBlanks(text, i);
        if (i < text.size() && text[i] == Comma) {
            if (i + 1 == text.size())
                items.emplace_back(); // a comma at the very end closes an empty item
            ++i;
            SkipBlanks(text, i);
        }
    }
    return items;
}

std::string JoinCommaText(const std::vector<std::string>& items) {
    if (items.size() == 1 && items.front().empty())
        return std::string(2, Quote);
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& item = items[i];
        if (i > 0)
            text += Comma;
        bool quote = false;
        for (const char c : item)
            quote = quote || text::IsBlank(c) || c == Quote || c == Comma;
        if (!quote) {
            text += item;
            continue;
        }
        text += Quote;
        for (const char c : item) {
            text += c;
            if (c == Quote)
                text += Quote;
        }
        text += Quote;
    }
    return text;
}
