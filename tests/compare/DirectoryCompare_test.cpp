#include "compare/DirectoryCompare.h"

#include <gtest/gtest.h>

namespace {

using compare::CompareEntry;
using Entries = std::vector<CompareEntry>;
using Flags = std::vector<bool>;

// An entry is selected when the other side has no entry of equal name and size text.
TEST(DirectoryCompareTest, SelectsWhatTheOtherSideLacks) {
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
    }
}

} // namespace
