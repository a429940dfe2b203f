#include "local/LineEndings.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>

namespace {

using namespace local;
namespace fs = std::filesystem;

std::string Convert(std::string_view input, int code, std::size_t blockSize) {
    LineEndingConverter converter(code / 16, code % 16);
    std::string out;
    for (std::size_t at = 0; at < input.size(); at += blockSize)
        converter.Convert(input.substr(at, blockSize), out);
    converter.Finish(out);
    return out;
}

using testsupport::ReadFile;

TEST(LineEndingsTest, ConversionTableInAnyBlockSplit) {
    struct Row {
        const char* name;
        int code;
        std::string input;
        std::string output;
    };
    const Row rows[] = {
        {"lf-to-crlf-final-ending-too", LfToCrLf, "a\nb\n", "a\r\nb\r\n"},
        {"crlf-to-lf", CrLfToLf, "a\r\nb\r\n", "a\nb\n"},
        {"cr-to-crlf-every-cr-gains-lf", CrToCrLf, "a\r\nb\r\n", "a\r\n\nb\r\n\n"},
        {"crlf-to-cr-bare-lf-stays", CrLfToCr, "\r\n\n", "\r\n"},
        {"cr-to-lf", CrToLf, "a\rb\r\nc", "a\nb\n\nc"},
        {"lf-to-cr", LfToCr, "a\nb\r\n", "a\rb\r\r"},
        {"crlf-lone-cr-kept", CrLfToLf, "a\rb\r\r\n\r", "a\rb\r\n\r"},
        {"inserted-text-not-rescanned", CrLfToLf, "\r\r\n\n", "\r\n\n"},
        {"no-endings", CrLfToLf, "plain", "plain"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const std::size_t block :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{64}}) {
            SCOPED_TRACE(block);
            EXPECT_EQ(Convert(row.input, row.code, block), row.output);
        }
    }
}

struct Logged {
    std::vector<std::string> lines;
    ConversionLog Log() {
        return {[this](std::string_view text) {
                    lines.emplace_back(text);
                    return lines.size() - 1;
                },
                [this](std::size_t line, std::string_view text) { lines.at(line) = text; }};
    }
};

TEST(LineEndingsTest, ConvertFileOutcomesTable) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    struct Row {
        const char* name;
        std::string content; // "" with `missing` for no file
        bool missing;
        fs::perms perms;
        ConversionResult result;
        const char* outcome; // appended to the line; null: no line
        std::string after;
        bool viaLink = false; // the path is a link to the file
    };
    const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write;
    const fs::perms rwx = rw | fs::perms::owner_exec | fs::perms::group_read;
    const Row rows[] = {
        {"converted-permissions-kept", "a\nb\n", false, rwx, ConversionResult::Ok, " Ok!",
         "a\r\nb\r\n"},
        {"empty-file-no-outcome", "", false, rw, ConversionResult::Empty, "", ""},
        {"missing-no-line", "", true, rw, ConversionResult::Missing, nullptr, ""},
        {"linked-file-converted-link-kept", "x\n", false, rw, ConversionResult::Ok, " Ok!", "x\r\n",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = root + "/" + row.name;
        if (!row.missing) {
            const std::string file = row.viaLink ? path + ".target" : path;
            std::ofstream(file, std::ios::binary) << row.content;
            fs::permissions(file, row.perms);
            if (row.viaLink)
                fs::create_symlink(file, path);
        }
        Logged logged;
        EXPECT_EQ(ConvertFile(path, 2, 3, logged.Log()), row.result);
        if (row.outcome == nullptr) {
            EXPECT_TRUE(logged.lines.empty());
            continue;
        }
        ASSERT_EQ(logged.lines.size(), 1u);
        EXPECT_EQ(logged.lines[0], "Converting file: " + path + " ..." + row.outcome);
        EXPECT_EQ(ReadFile(path), row.after);
        EXPECT_EQ(fs::status(path).permissions(), row.perms);
        EXPECT_EQ(fs::is_symlink(path), row.viaLink);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 4)
        << "no temporary file left";
}

TEST(LineEndingsTest, FailedWriteLeavesTheOriginalByteIdentical) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/text";
    std::string original;
    for (int i = 0; i < 20000; ++i)
        original += "line " + std::to_string(i) + "\n";
    std::ofstream(path, std::ios::binary) << original;

    // A file-size limit makes the write fail as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    Logged logged;
    const ConversionResult result = ConvertFile(path, 2, 3, logged.Log());
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(result, ConversionResult::WriteError);
    ASSERT_EQ(logged.lines.size(), 1u);
    EXPECT_EQ(logged.lines[0], "Converting file: " + path + " ... Write file error!");
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(
        std::distance(fs::directory_iterator(dir.path().toStdString()), fs::directory_iterator()),
        1);
}

} // namespace
