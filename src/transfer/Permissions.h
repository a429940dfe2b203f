#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace transfer {

// A permission value keeps the three octal digits as decimal digits: 644 is
// rw-r--r--, 7 is ------rwx.
using Mode = unsigned;

// The bits of an attribute text such as "-rwxr-x---"; letters other than r,
// w and x (set-id, sticky) and a missing position count as 0.
Mode ParseMode(std::string_view attributes);
// The nine bits, owner read first.
std::array<bool, 9> ModeBits(Mode mode);
Mode ModeFromBits(const std::array<bool, 9>& bits);
// "Manual" text as a value: one to three octal digits, blanks around ignored.
std::optional<Mode> ParseManual(std::string_view text);
// The "Manual" field takes only octal digits; control keys pass.
bool ManualKeyAccepted(char32_t key);

struct PermissionEntry {
    std::string Name;
    Mode Value = 0;
};

// The "Change File Attributes" window's state. A box that differs among the
// entries starts grayed; a click makes it checked or unchecked. The last
// thing the user touched decides: a value typed into "Manual" applies to
// every entry; otherwise each box applies, and a box left grayed keeps each
// entry's own bit.
class PermissionForm {
public:
    enum class Box { Unchecked, Checked, Grayed };

    explicit PermissionForm(std::vector<PermissionEntry> entries);

    const std::array<Box, 9>& Boxes() const { return boxes_; }
    const std::string& Manual() const { return manual_; }
    const std::vector<PermissionEntry>& Entries() const { return entries_; }

    // A click on box `index` (0 to 8): the box toggles, the text follows the
    // boxes (a grayed box counts as unchecked).
    void ClickBox(int index);
    // The user's text in "Manual": a number sets the boxes, an empty text
    // clears them, anything else changes nothing.
    void TypeManual(std::string text);

    // "Ok": the entries whose value changes, with their new value.
    std::vector<PermissionEntry> Changes() const;

private:
    std::vector<PermissionEntry> entries_;
    std::array<Box, 9> boxes_{};
    std::string manual_;
    bool typed_ = false; // the text, not the boxes, was touched last
};

// Asks the user for the new permissions: the program's window, a script in tests.
class PermissionEditor {
public:
    virtual ~PermissionEditor() = default;
    // True for "Ok"; the form then holds what the window showed.
    virtual bool Edit(PermissionForm& form) = 0;
};

} // namespace transfer
