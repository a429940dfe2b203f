#include "prefs/CommaText.h"

#include <gtest/gtest.h>

namespace {

using Items = std::vector<std::string>;

// Each row: a text, its items, and whether joining the items writes that text
// back (so that splitting a joined list gives its items again).
TEST(CommaTextTest, SplitsAndJoins) {
    const struct {
        const char* text;
        Items items;
        bool joinsBack;
    } rows[] = {
        {"", {}, true},
        {"   ", {}, false},
        {"html,txt,pl", {"html", "txt", "pl"}, true},
        {" html , txt ", {"html", "txt"}, false},
        {"NOOP PWD", {"NOOP", "PWD"}, false}, // a blank cuts an unquoted item
        {"\"SITE IDLE\",NOOP", {"SITE IDLE", "NOOP"}, true},
        {"\"a,b\"", {"a,b"}, true},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}, true},
        {"\"open quote", {"open quote"}, false},
        {"a,,b", {"a", "", "b"}, true},
        {"a,", {"a", ""}, true},
        {"a, ", {"a"}, false},
        {"\"\"", {""}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(SplitCommaText(row.text), row.items);
        if (row.joinsBack) {
            EXPECT_EQ(JoinCommaText(row.items), row.text);
        }
    }
}

} // namespace
