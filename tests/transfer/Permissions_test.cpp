#include "transfer/Permissions.h"

#include <array>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace transfer {
namespace {

TEST(Permissions, ParseModeReadsTheNineLetters) {
    const struct {
        const char* name;
        const char* attributes;
        Mode mode;
    } rows[] = {
        {"folder", "drwxr-x--x", 751},
        {"upper case letters count", "-RWXRWXRWX", 777},
        {"set-id and sticky letters count as 0", "-rwsr-Sr-t", 644},
        {"short text: missing positions are absent", "-rw", 600},
        {"no UNIX text (a DOS listing)", "", 0},
        {"letters in the wrong place", "-wrxwrxwrx", 111},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ParseMode(row.attributes), row.mode);
    }
}

TEST(Permissions, ManualTextAndKeys) {
    EXPECT_EQ(ParseManual(" 755 "), 755u);
    EXPECT_EQ(ParseManual("7"), 7u);
    EXPECT_EQ(ParseManual(""), std::nullopt);
    EXPECT_EQ(ParseManual("789"), std::nullopt) << "8 and 9 are no octal digits";
    EXPECT_EQ(ParseManual("7777"), std::nullopt);
    EXPECT_EQ(ParseManual("7a"), std::nullopt);
    EXPECT_TRUE(ManualKeyAccepted(U'\b'));
}

// The boxes as the nine letters of "ls -l": a letter checked, "-" not, "?" grayed.
std::string BoxText(const std::array<PermissionForm::Box, 9>& boxes) {
    std::string text;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const bool grayed = boxes[i] == PermissionForm::Box::Grayed;
        text += grayed ? '?' : boxes[i] == PermissionForm::Box::Checked ? "rwx"[i % 3] : '-';
    }
    return text;
}

// "a=644 b=664" and back.
std::vector<PermissionEntry> Entries(const char* text) {
    std::vector<PermissionEntry> entries;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        const std::size_t eq = word.find('=');
        entries.push_back({word.substr(0, eq), static_cast<Mode>(std::stoi(word.substr(eq + 1)))});
    }
    return entries;
}
std::string EntriesText(const std::vector<PermissionEntry>& entries) {
    std::string text;
    for (const PermissionEntry& entry : entries)
        text += (text.empty() ? "" : " ") + entry.Name + "=" + std::to_string(entry.Value);
    return text;
}

TEST(Permissions, FormRules) {
    struct Row {
        const char* name;
        const char* entries;
        const char* typed; // into the manual field first; null: nothing
        int click;         // then this box; -1: none
        const char* boxes;
        const char* manual;
        const char* changes;
    };
    const Row rows[] = {
        {"one file opens with its value; 755 typed goes out", "f=644", "755", -1, "rwxr-xr-x",
         "755", "f=755"},
        {"a box differing between entries starts grayed; Ok alone changes nothing", "a=644 b=664",
         nullptr, -1, "rw-r?-r--", "644", ""},
        {"a click on another box keeps each entry's grayed bit", "a=644 b=664", nullptr, 2,
         "rwxr?-r--", "744", "a=744 b=764"},
        {"a clicked grayed box applies to all", "a=644 b=664", nullptr, 4, "rw-rw-r--", "664",
         "a=664"},
        {"a typed value applies to every entry", "a=644 b=664", "7", -1, "------rwx", "7",
         "a=7 b=7"},
        {"an empty text clears the boxes and changes nothing", "a=644", "", -1, "---------", "",
         ""},
        {"a click after clearing the text rebuilds it from the boxes", "a=644", "", 0, "r--------",
         "400", "a=400"},
        {"text that is no number leaves the boxes and changes nothing", "a=644", "x", -1,
         "rw-r--r--", "x", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PermissionForm form(Entries(row.entries));
        if (row.typed != nullptr)
            form.TypeManual(row.typed);
        if (row.click >= 0)
            form.ClickBox(row.click);
        EXPECT_EQ(BoxText(form.Boxes()), row.boxes);
        EXPECT_EQ(form.Manual(), row.manual);
        EXPECT_EQ(EntriesText(form.Changes()), row.changes);
    }
}

} // namespace
} // namespace transfer
