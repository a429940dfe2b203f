#include "ftp/NetworkText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using ftptransfer::TextFromNetwork;
using ftptransfer::TextToNetwork;

// Every row is fed whole and then cut at every position: a line end split
// between two blocks must come out as if it had come in one.
TEST(NetworkText, LineEndsChangeWhereverTheBlocksAreCut) {
    struct Row {
        const char* name;
        std::string wire;
        std::string local;
    };
    const Row fromNetwork[] = {
        {"crlf-becomes-lf", "a\r\nb\r\n", "a\nb\n"},
        {"lone-cr-stays", "a\rb\r", "a\rb\r"},
        {"cr-cr-lf-keeps-the-first-cr", "a\r\r\nb", "a\r\nb"},
        {"bare-lf-stays", "a\nb", "a\nb"},
        {"binary-bytes-pass", std::string("\0\xff\r\n\x80", 5), std::string("\0\xff\n\x80", 4)},
    };
    for (const Row& row : fromNetwork) {
        SCOPED_TRACE(row.name);
        for (std::size_t cut = 0; cut <= row.wire.size(); ++cut) {
            SCOPED_TRACE(cut);
            TextFromNetwork text;
            std::string out;
            text.Convert(std::string_view(row.wire).substr(0, cut), out);
            text.Convert(std::string_view(row.wire).substr(cut), out);
            text.Finish(out);
            EXPECT_EQ(out, row.local);
        }
    }
    const Row toNetwork[] = {
        {"lf-becomes-crlf", "a\r\nb\r\n", "a\nb\n"},
        {"crlf-is-not-doubled", "a\r\nb", "a\r\nb"},
        {"lone-cr-stays", "a\rb", "a\rb"},
        {"leading-lf", "\r\n\r\n", "\n\n"},
    };
    for (const Row& row : toNetwork) {
        SCOPED_TRACE(row.name);
        for (std::size_t cut = 0; cut <= row.local.size(); ++cut) {
            SCOPED_TRACE(cut);
            TextToNetwork text;
            std::string out;
            text.Convert(std::string_view(row.local).substr(0, cut), out);
            text.Convert(std::string_view(row.local).substr(cut), out);
            EXPECT_EQ(out, row.wire);
        }
    }
}

} // namespace
