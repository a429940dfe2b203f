#include "compare/DirectoryCompare.h"

#include <gtest/gtest.h>

namespace {

using compare::CompareEntry;
using Entries = std::vector<CompareEntry>;
using Flags = std::vector<bool>;

// The rule as described: for each entry, scan the other side for the first
// entry of equal name and size text.
Flags FirstMatchRule(const Entries& side, const Entries& other) {
    Flags selected;
    for (const CompareEntry& a : side) {
        bool found = false;
        for (const CompareEntry& b : other) {
            if (b.name == a.name && b.size == a.size) {
                found = true;
                break;
            }
        }
        selected.push_back(!found);
    }
    return selected;
}

TEST(DirectoryCompareTest, MatchesTheFirstMatchRuleTable) {
    struct Row {
        const char* name;
        Entries local;
        Entries remote;
        Flags localSelected;
        Flags remoteSelected;
    };
    const Row rows[] = {
        {"same-name-other-case-both-selected",
         {{"Read.me", "10"}},
         {{"read.me", "10"}},
         {true},
         {true}},
        {"same-name-same-size-unselected", {{"a", "10"}}, {{"a", "10"}}, {false}, {false}},
        {"different-size-selected-both-sides", {{"a", "10"}}, {{"a", "11"}}, {true}, {true}},
        {"empty-remote-selects-all-local", {{"a", "1"}, {"b", ""}}, {}, {true, true}, {}},
        {"one-side-only",
         {{"a", "1"}, {"b", "2"}},
         {{"b", "2"}, {"c", "3"}},
         {true, false},
         {false, true}},
        {"folders-by-name-and-empty-size",
         {{"dir", ""}, {"..", ""}},
         {{"..", ""}, {"dir", "4096"}},
         {true, false},
         {false, true}},
        {"no-trimming", {{"a ", "1"}}, {{"a", "1"}}, {true}, {true}},
        {"name-size-boundary-not-blurred", {{"ab", "1"}}, {{"a", "b1"}}, {true}, {true}},
        {"duplicates-on-one-side", {{"a", "1"}, {"a", "1"}}, {{"a", "1"}}, {false, false}, {false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const compare::CompareResult result = compare::CompareDirectories(row.local, row.remote);
        EXPECT_EQ(result.localSelected, row.localSelected);
        EXPECT_EQ(result.remoteSelected, row.remoteSelected);
        EXPECT_EQ(result.localSelected, FirstMatchRule(row.local, row.remote));
        EXPECT_EQ(result.remoteSelected, FirstMatchRule(row.remote, row.local));
        // Twice in a row: the same selection.
        const compare::CompareResult again = compare::CompareDirectories(row.local, row.remote);
        EXPECT_EQ(again.localSelected, result.localSelected);
    }
}

} // namespace
