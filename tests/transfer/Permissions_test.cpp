#include "transfer/Permissions.h"

#include <functional>
#include <gtest/gtest.h>

namespace transfer {
namespace {

TEST(Permissions, ParseModeReadsTheNineLetters) {
    const struct {
        const char* name;
        const char* attributes;
        Mode mode;
    } rows[] = {
        {"plain file", "-rw-r--r--", 644},
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
    EXPECT_TRUE(ManualKeyAccepted(U'7'));
    EXPECT_TRUE(ManualKeyAccepted(U'\b'));
    EXPECT_FALSE(ManualKeyAccepted(U'8'));
    EXPECT_FALSE(ManualKeyAccepted(U'a'));
}

TEST(Permissions, FormRules) {
    using B = PermissionForm::Box;
    constexpr B C = B::Checked, U = B::Unchecked, G = B::Grayed;
    struct Row {
        const char* name;
        std::vector<PermissionEntry> entries;
        std::function<void(PermissionForm&)> act;
        std::array<B, 9> boxes;
        const char* manual;
        std::vector<PermissionEntry> changes;
    };
    const auto none = [](PermissionForm&) {};
    const Row rows[] = {
        {"one file opens with its value; 755 typed goes out",
         {{"f", 644}},
         [](PermissionForm& f) { f.TypeManual("755"); },
         {C, C, C, C, U, C, C, U, C},
         "755",
         {{"f", 755}}},
        {"a box differing between entries starts grayed; Ok alone changes nothing",
         {{"a", 644}, {"b", 664}},
         none,
         {C, C, U, C, G, U, C, U, U},
         "644",
         {}},
        {"a click on another box keeps each entry's grayed bit",
         {{"a", 644}, {"b", 664}},
         [](PermissionForm& f) { f.ClickBox(2); },
         {C, C, C, C, G, U, C, U, U},
         "744",
         {{"a", 744}, {"b", 764}}},
        {"a clicked grayed box applies to all",
         {{"a", 644}, {"b", 664}},
         [](PermissionForm& f) { f.ClickBox(4); },
         {C, C, U, C, C, U, C, U, U},
         "664",
         {{"a", 664}}},
        {"a typed value applies to every entry",
         {{"a", 644}, {"b", 664}},
         [](PermissionForm& f) { f.TypeManual("7"); },
         {U, U, U, U, U, U, C, C, C},
         "7",
         {{"a", 7}, {"b", 7}}},
        {"an empty text clears the boxes and changes nothing",
         {{"a", 644}},
         [](PermissionForm& f) { f.TypeManual(""); },
         {U, U, U, U, U, U, U, U, U},
         "",
         {}},
        {"a click after clearing the text rebuilds it from the boxes",
         {{"a", 644}},
         [](PermissionForm& f) {
             f.TypeManual("");
             f.ClickBox(0);
         },
         {C, U, U, U, U, U, U, U, U},
         "400",
         {{"a", 400}}},
        {"text that is no number leaves the boxes and changes nothing",
         {{"a", 644}},
         [](PermissionForm& f) { f.TypeManual("x"); },
         {C, C, U, C, U, U, C, U, U},
         "x",
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PermissionForm form(row.entries);
        row.act(form);
        EXPECT_EQ(form.Boxes(), row.boxes);
        EXPECT_EQ(form.Manual(), row.manual);
        const std::vector<PermissionEntry> changes = form.Changes();
        ASSERT_EQ(changes.size(), row.changes.size());
        for (std::size_t i = 0; i < changes.size(); ++i) {
            EXPECT_EQ(changes[i].Name, row.changes[i].Name);
            EXPECT_EQ(changes[i].Value, row.changes[i].Value);
        }
    }
}

} // namespace
} // namespace transfer
