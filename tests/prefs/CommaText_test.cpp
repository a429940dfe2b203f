#include "prefs/CommaText.h"

#include <gtest/gtest.h>

namespace {

using Items = std::vector<std::string>;

TEST(CommaTextTest, Splits) {
    const std::pair<const char*, Items> rows[] = {
        {"", {}},
        {"   ", {}},
        {"txt", {"txt"}},
        {"html,txt,pl", {"html", "txt", "pl"}},
        {" html , txt ", {"html", "txt"}},
        {"NOOP PWD", {"NOOP", "PWD"}}, // a blank cuts an unquoted item
        {"\"SITE IDLE\",NOOP", {"SITE IDLE", "NOOP"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"open quote", {"open quote"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a", ""}},
        {"a, ", {"a"}},
        {",a", {"", "a"}},
        {"\"\"", {""}},
    };
    for (const auto& [text, items] : rows)
        EXPECT_EQ(SplitCommaText(text), items) << text;
}

TEST(CommaTextTest, JoinsSoThatSplittingGivesTheItemsBack) {
    const std::pair<Items, const char*> rows[] = {
        {{}, ""},
        {{"html", "txt"}, "html,txt"},
        {{"SITE IDLE", "NOOP"}, "\"SITE IDLE\",NOOP"},
        {{"a,b"}, "\"a,b\""},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        {{""}, "\"\""},
        {{"a", "", "b"}, "a,,b"},
    };
    for (const auto& [items, text] : rows) {
        EXPECT_EQ(JoinCommaText(items), text);
        EXPECT_EQ(SplitCommaText(JoinCommaText(items)), items) << text;
    }
}

} // namespace
