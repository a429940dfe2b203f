#include "ftp/LocalFile.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string Bytes(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
    return bytes;
}

// Small reads are gathered and large ones go straight to the file: whatever
// the mix, the file holds the bytes in the order they were written.
TEST(LocalFileWrite, KeepsTheOrderOfGatheredAndDirectWrites) {
    struct Row {
        const char* name;
        std::vector<std::size_t> writes;
    };
    const Row rows[] = {
        {"small-then-large-waits-behind-the-small", {1000, 70000, 300}},
        {"large-after-large-then-small", {65536, 10, 65536, 200000, 5}},
        {"one-below-the-direct-size", {65535, 65535, 65535, 65535, 65535}},
        {"smalls-past-the-gathering-size", std::vector<std::size_t>(300, 2048)},
    };
    QTemporaryDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.filePath(row.name).toStdString();
        LocalFile file;
        ASSERT_TRUE(file.Open(path, LocalFile::Mode::Replace, 0));
        std::string expected;
        char seed = 1;
        for (const std::size_t size : row.writes) {
            const std::string block = Bytes(size, seed++);
            expected += block;
            ASSERT_TRUE(file.Write(block.data(), static_cast<int>(block.size())));
        }
        ASSERT_TRUE(file.Close());
        std::ifstream in(path, std::ios::binary);
        const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected) << "the file's bytes differ from the writes";
    }
}

} // namespace
