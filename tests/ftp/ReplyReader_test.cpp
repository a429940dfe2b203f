#include "ftp/ReplyReader.h"

#include <gtest/gtest.h>
#include <map>
#include <vector>

using namespace ftpreply;

namespace {

std::vector<std::string> FeedAndTake(const std::string& bytes, std::size_t chunk, bool acceptLF) {
    ReplyBuffer buffer;
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        buffer.Append(std::string_view(bytes).substr(i, chunk));
        while (auto line = buffer.TakeLine(acceptLF))
            lines.push_back(*line);
    }
    return lines;
}

struct SplitRow {
    const char* name;
    std::string bytes;
    bool acceptLF;
    std::vector<std::string> lines;
};

TEST(ReplyBuffer, CutsLinesWhateverTheSplit) {
    const std::vector<SplitRow> rows{
        {"bare-lf-accepted", "220 Ready\n", true, {"220 Ready"}},
        {"bare-lf-waits-without-acceptlf", "220 Ready\n", false, {}},
        {"two-replies",
         "331 Password\r\n230 Logged in\r\n",
         true,
         {"331 Password", "230 Logged in"}},
        {"multi-line",
         "230-Welcome\r\n230-Rules\r\n230 Done\r\n",
         true,
         {"230-Welcome", "230-Rules", "230 Done"}},
        {"empty-line", "\r\n200 OK\r\n", true, {"", "200 OK"}},
        {"trailing-crs-stripped", "200 OK\r\r\n", false, {"200 OK"}},
        {"incomplete-tail-kept", "200 OK\r\n150 Open", true, {"200 OK"}},
        {"nul-inside-line", std::string("200 a\0b\r\n", 9), true, {std::string("200 a\0b", 7)}},
    };
    for (const SplitRow& row : rows) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, row.bytes.size()}) {
            SCOPED_TRACE(std::string(row.name) + " chunk " + std::to_string(chunk));
            EXPECT_EQ(FeedAndTake(row.bytes, chunk, row.acceptLF), row.lines);
        }
    }
}

TEST(ReplyBuffer, LongLineWithoutEndFillsTheBuffer) {
    ReplyBuffer buffer;
    EXPECT_EQ(buffer.Room(), 4095);
    EXPECT_EQ(buffer.Append(std::string(5000, 'x')), 4095);
    EXPECT_EQ(buffer.Room(), 0);
    EXPECT_FALSE(buffer.TakeLine(true));
    EXPECT_EQ(buffer.Append("\n"), 0);
}

TEST(ReplyNumbers, ReadNumber) {
    struct Row {
        const char* text;
        std::size_t start;
        std::int64_t value;
        std::size_t end;
    };
    const Row rows[]{
        {"213 1024", 0, 213, 3},
        {"  \t\r\n42x", 0, 42, 7},
        {"+7", 0, 7, 2},
        {"-15 bytes", 0, -15, 3},
        {"", 0, 0, 0},
        {"abc", 0, 0, 0},
        {"99999999999999 big", 0, 99999999999999, 14},
        {"213 99999999999999999999999", 0, 213, 3},
        {"213 3000000000", 3, 3000000000, 14},             // beyond 2 GiB, read whole
        {"213 99999999999999999999999", 3, INT64_MAX, 27}, // saturates instead of wrapping
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::size_t pos = row.start;
        EXPECT_EQ(ReadNumber(row.text, pos), row.value);
        EXPECT_EQ(pos, row.end);
    }
}

TEST(ReplyNumbers, ReadQuotedName) {
    const std::vector<std::pair<const char*, const char*>> rows{
        {R"(257 "/home/user" is current directory.)", "/home/user"},
        {R"(257 "/a ""quoted"" dir" created)", R"(/a "quoted" dir)"},
        {R"(257 "" is current)", ""},
        {"250 CWD command successful.", ""},
        {R"(257 "/unterminated)", "/unterminated"},
        {R"(257 "/ends-with-quote""")", R"(/ends-with-quote")"},
    };
    for (const auto& [text, name] : rows) {
        SCOPED_TRACE(text);
        std::size_t pos = 0;
        ReadNumber(text, pos);
        EXPECT_EQ(ReadQuotedName(text, pos), name);
    }
}

// Lines fed one after another, and what each one is: "-" between replies,
// "c" inside a multi-line reply, "F<code>" its end, "E" a protocol error.
TEST(ReplyAssembler, EndsRepliesOnlyAtTheirOwnCode) {
    struct Row {
        const char* name;
        std::vector<std::string> lines;
        const char* verdicts;
    };
    const std::vector<Row> rows{
        {"single-line", {"200 OK"}, "F200"},
        {"code-alone", {"226"}, "F226"},
        {"multi-line-ends-at-code-and-blank", {"220-Welcome", "220-more", "220 Ready"}, "c c F220"},
        {"year-inside-a-257-is-no-end",
         {"257-\"/a\" is current", "2023 was a good year", "257 end"},
         "c c F257"},
        {"other-code-inside-is-no-end",
         {"211-Features:", "200 not the end", "211 End"},
         "c c F211"},
        {"same-code-hyphen-inside-continues", {"211-a", "211-b", "211 c"}, "c c F211"},
        {"empty-and-text-lines-between-replies", {"", "hello", "200 OK"}, "- - F200"},
        {"65536-is-no-code", {"65536 Permission denied"}, "E"},
        {"000-is-no-code", {"000 hello"}, "E"},
        {"four-digits", {"2000 OK"}, "E"},
        {"two-digits", {"20 OK"}, "E"},
        {"first-digit-6", {"600 OK"}, "E"},
        {"second-digit-6", {"260 OK"}, "E"},
        {"multi-line-with-bad-code", {"2a0-x"}, "E"},
        {"pure-ftpd-aborted-download-ends-at-150",
         {"226-File successfully transferred", "226-0.001 seconds", "150 Aborted"},
         "c c F150"},
        {"state-cleared-after-the-end", {"230-a", "230 b", "331 c"}, "c F230 F331"},
    };
    using enum ReplyAssembler::Kind;
    const std::map<ReplyAssembler::Kind, std::string> tokens{
        {Outside, "-"}, {Continuation, "c"}, {Final, "F"}, {ProtocolError, "E"}, {TooLong, "L"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReplyAssembler assembler;
        std::string verdicts;
        for (const std::string& line : row.lines) {
            const ReplyAssembler::Verdict v = assembler.Feed(line);
            verdicts += (verdicts.empty() ? "" : " ") + tokens.at(v.kind) +
                        (v.kind == Final ? std::to_string(v.code) : "");
        }
        EXPECT_EQ(verdicts, row.verdicts);
    }
}

TEST(ReplyJudge, AcceptedListsAndAnyBelow500) {
    struct Row {
        std::vector<int> accepted;
        int code;
        int result;
    };
    const std::vector<Row> rows{
        {{331, 230, 0}, 331, 0},
        {{331, 230, 0}, 530, 530},
        {{230, 0}, 202, 202},
        {{0}, 221, 0},
        {{0}, 421, 0},
        {{0}, 500, 500},
        {{213, 0, 500}, 500, 500}, // nothing after the closing 0 counts
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(Judge(row.code, row.accepted), row.result);
    }
}

} // namespace
