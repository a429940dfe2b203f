#include "net/WSockbuf.h"

#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

namespace {

std::string Unread(const TBuffer& b) {
    const auto part = b.Peek();
    return {part.begin(), part.end()};
}

std::vector<char> Pattern(int n) {
    std::vector<char> v(static_cast<std::size_t>(n));
    std::iota(v.begin(), v.end(), 'A');
    return v;
}

TEST(TBuffer, SizeZeroOrLessGivesTheStandardBlock) {
    for (int size : {0, -1, -1514})
        EXPECT_EQ(TBuffer(size).Size(), 1514) << "size " << size;
    EXPECT_EQ(TBuffer().Size(), 1514);
    EXPECT_EQ(TBuffer(1).Size(), 1);
    EXPECT_EQ(TBuffer(4096).Size(), 4096);
}

TEST(TBuffer, WriteCopiesWhatFitsAndReturnsZeroWhenFull) {
    TBuffer b(10);
    const auto data = Pattern(16);
    EXPECT_EQ(b.Write(data.data(), 4), 4);
    EXPECT_EQ(b.Write(data.data() + 4, 12), 6);
    EXPECT_EQ(b.Write(data.data() + 10, 6), 0);
    EXPECT_EQ(b.Room(), 0);
    EXPECT_EQ(Unread(b), std::string(data.begin(), data.begin() + 10));
    EXPECT_EQ(b.Write(data.data(), 0), 0);
    EXPECT_EQ(b.Write(data.data(), -5), 0);
    EXPECT_EQ(b.Unread(), 10);
}

TEST(TBuffer, PeekAndRemoveDrainFromTheFront) {
    TBuffer b(8);
    b.Write("abcdef", 6);
    b.Remove(2);
    EXPECT_EQ(Unread(b), "cdef");
    // Room counts from the write end: a partly drained block is not compacted.
    EXPECT_EQ(b.Room(), 2);
    b.Remove(0);
    b.Remove(-3);
    EXPECT_EQ(Unread(b), "cdef");
    b.Remove(3);
    EXPECT_EQ(Unread(b), "f");
}

TEST(TBuffer, RemovingMoreThanUnreadStopsAtTheEndAndRewinds) {
    TBuffer b(8);
    b.Write("abc", 3);
    b.Remove(100);
    EXPECT_EQ(b.Unread(), 0);
    EXPECT_TRUE(b.Peek().empty());
    EXPECT_EQ(b.Room(), 8);
}

TEST(TBuffer, DrainedBlockCanBeFilledToFullSizeAgain) {
    TBuffer b(6);
    const auto data = Pattern(12);
    ASSERT_EQ(b.Write(data.data(), 6), 6);
    b.Remove(4);
    EXPECT_EQ(b.Write(data.data(), 6), 0) << "not drained yet, so no room";
    b.Remove(2);
    EXPECT_EQ(b.Write(data.data() + 6, 6), 6);
    EXPECT_EQ(Unread(b), std::string(data.begin() + 6, data.end()));
}

} // namespace
