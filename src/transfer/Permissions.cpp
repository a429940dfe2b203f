#include "transfer/Permissions.h"

#include "text/TextFields.h"

#include <cctype>

namespace transfer {

Mode ParseMode(std::string_view attributes) {
    const auto at = [&](std::size_t position, char letter) {
        return position <= attributes.size() &&
               std::tolower(static_cast<unsigned char>(attributes[position - 1])) == letter;
    };
    Mode mode = 0;
    for (std::size_t digit = 0; digit < 3; ++digit) {
        const std::size_t first = 2 + digit * 3;
        const Mode value =
            (at(first, 'r') ? 4 : 0) + (at(first + 1, 'w') ? 2 : 0) + (at(first + 2, 'x') ? 1 : 0);
        mode = mode * 10 + value;
    }
    return mode;
}

std::array<bool, 9> ModeBits(Mode mode) {
    const Mode digits[] = {(mode % 1000) / 100, (mode % 100) / 10, mode % 10};
    std::array<bool, 9> bits{};
    for (std::size_t d = 0; d < 3; ++d) {
        bits[d * 3] = (digits[d] & 4) != 0;
        bits[d * 3 + 1] = (digits[d] & 2) != 0;
        bits[d * 3 + 2] = (digits[d] & 1) != 0;
    }
    return bits;
}

Mode ModeFromBits(const std::array<bool, 9>& bits) {
    Mode mode = 0;
    for (std::size_t d = 0; d < 3; ++d)
        mode = mode * 10 + (bits[d * 3] ? 4 : 0) + (bits[d * 3 + 1] ? 2 : 0) +
               (bits[d * 3 + 2] ? 1 : 0);
    return mode;
}

std::optional<Mode> ParseManual(std::string_view text) {
    text = text::TrimBlanks(text);
    // Digits 8 and 9 would send a mode the server reads as something else.
    if (text.empty() || text.size() > 3 || text.find_first_not_of("01234567") != text.npos)
        return std::nullopt;
    Mode mode = 0;
    for (const char c : text)
        mode = mode * 10 + static_cast<Mode>(c - '0');
    return mode;
}

bool ManualKeyAccepted(char32_t key) {
    return key <= 31 || (key >= U'0' && key <= U'7');
}

PermissionForm::PermissionForm(std::vector<PermissionEntry> entries)
    : entries_(std::move(entries)) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::array<bool, 9> bits = ModeBits(entries_[i].Value);
        for (std::size_t b = 0; b < 9; ++b) {
            if (i == 0)
                boxes_[b] = bits[b] ? Box::Checked : Box::Unchecked;
            else if (boxes_[b] != Box::Grayed && bits[b] != (boxes_[b] == Box::Checked))
                boxes_[b] = Box::Grayed;
        }
    }
    if (!entries_.empty())
        manual_ = std::to_string(entries_.front().Value);
}

void PermissionForm::ClickBox(int index) {
    if (index < 0 || index >= 9)
        return;
    Box& box = boxes_[static_cast<std::size_t>(index)];
    box = box == Box::Checked ? Box::Unchecked : Box::Checked;
    std::array<bool, 9> bits{};
    for (std::size_t b = 0; b < 9; ++b)
        bits[b] = boxes_[b] == Box::Checked;
    manual_ = std::to_string(ModeFromBits(bits));
    typed_ = false;
}

void PermissionForm::TypeManual(std::string text) {
    manual_ = std::move(text);
    typed_ = true;
    if (const std::optional<Mode> mode = ParseManual(manual_)) {
        const std::array<bool, 9> bits = ModeBits(*mode);
        for (std::size_t b = 0; b < 9; ++b)
            boxes_[b] = bits[b] ? Box::Checked : Box::Unchecked;
    } else if (text::TrimBlanks(manual_).empty()) {
        boxes_.fill(Box::Unchecked);
    }
}

std::vector<PermissionEntry> PermissionForm::Changes() const {
    std::vector<PermissionEntry> changed;
    const std::optional<Mode> typed = typed_ ? ParseManual(manual_) : std::nullopt;
    if (typed_ && !typed)
        return changed;
    for (const PermissionEntry& entry : entries_) {
        Mode value = 0;
        if (typed) {
            value = *typed;
        } else {
            std::array<bool, 9> bits = ModeBits(entry.Value);
            for (std::size_t b = 0; b < 9; ++b) {
                if (boxes_[b] != Box::Grayed)
                    bits[b] = boxes_[b] == Box::Checked;
            }
            value = ModeFromBits(bits);
        }
        if (value != entry.Value % 1000)
            changed.push_back({entry.Name, value});
    }
    return changed;
}

} // namespace transfer
