#include "text/TextFields.h"

#include <gtest/gtest.h>

namespace {

using namespace text;
using namespace std::string_literals;
using Fields = std::vector<std::string_view>;

struct SplitRow {
    const char* name;
    char separator;
    std::string text;
    Fields expected;
};

TEST(SplitFields, CutsAndTrimsAsEntryReadersExpect) {
    const std::vector<SplitRow> rows{
        {"space-runs-collapse", ' ', "a   b", {"a", "b"}},
        {"leading-separator-gives-empty-first", ' ', " a", {"", "a"}},
        {"leading-dot-gives-empty-first", '.', ".bashrc", {"", "bashrc"}},
        {"empty-middle-field-stays", '.', "a..b", {"a", "", "b"}},
        {"trailing-separator-adds-nothing", '.', "file.", {"file"}},
        {"trailing-separator-then-blanks", '.', "a. ", {"a"}},
        {"empty-text", ' ', "", {}},
        {"only-blanks", '.', "  ", {""}},
        {"parts-trimmed", '.', " a . b ", {"a", "b"}},
        {"inner-spaces-kept", '.', "my file.tar.gz", {"my file", "tar", "gz"}},
        {"controls-and-nul-trimmed", '.', "\ta\t.\0b"s, {"a", "b"}},
        {"high-bytes-kept", '.', "\xa0x\xa6.y", {"\xa0x\xa6", "y"}},
    };
    Fields fields{"stale"};
    for (const SplitRow& row : rows) {
        SCOPED_TRACE(row.name);
        SplitFields(row.separator, row.text, fields);
        EXPECT_EQ(fields, row.expected);
    }
}

TEST(TextFields, IntegersMonthsAndCase) {
    EXPECT_EQ(ParseInteger("3000000000"), 3000000000);
    EXPECT_EQ(ParseInteger("-12"), -12);
    EXPECT_EQ(ParseInteger("+7"), 7);
    for (const char* notInteger : {"", "-", "12a", " 12", "1,", "99999999999999999999"})
        EXPECT_EQ(ParseInteger(notInteger), std::nullopt) << notInteger;
    EXPECT_EQ(LeadingInteger("2003x"), 2003);
    EXPECT_EQ(LeadingInteger("Mar"), 0);
    EXPECT_EQ(LeadingInteger(std::string(1000, '9')), INT64_MAX);

    EXPECT_EQ(MonthFromWord("Jan"), 1);
    EXPECT_EQ(MonthFromWord("DEC"), 12);
    EXPECT_EQ(MonthFromWord("ov"), 11);  // a fragment of "nov"
    EXPECT_EQ(MonthFromWord("bmar"), 2); // across "feb" and "mar": where it starts counts
    for (const char* noMonth : {"", "Foo", "March", "1,"})
        EXPECT_EQ(MonthFromWord(noMonth), std::nullopt) << noMonth;
    EXPECT_EQ(MonthFromWord(std::string(100, 'a')), std::nullopt);

    EXPECT_TRUE(EqualsNoCase("<DIR>", "<dir>"));
    EXPECT_FALSE(EqualsNoCase("\xc3\xa6", "\xc3\x86")); // only ASCII letters fold
    EXPECT_TRUE(StartsWithNoCase("TOTAL 12", "total "));
    EXPECT_EQ(Mid("01-15-03", 7, 4), "03");
    EXPECT_EQ(Mid("ab", 4, 2), "");
    EXPECT_EQ(Mid("ab", 0, 2), "");
}

} // namespace
