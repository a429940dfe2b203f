#include "net/SendBuffer.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string Unread(const SendBuffer& b) {
    const auto part = b.Peek();
    return {part.begin(), part.end()};
}

TEST(SendBuffer, SizeZeroOrLessGivesTheStandardBlock) {
    for (int size : {0, -1514})
        EXPECT_EQ(SendBuffer(size).Size(), SendBuffer::DefaultSize) << "size " << size;
    EXPECT_EQ(SendBuffer(1).Size(), 1);
}

// The send queue relies on three things: a write takes only what fits, a
// partly drained block gains no room, and a drained block is whole again.
TEST(SendBuffer, FillsOnceThenRefillsOnlyWhenDrained) {
    const std::string data = "ABCDEFGHIJKLMNOP";
    SendBuffer b(12);
    EXPECT_EQ(b.Write(data.data(), 0), 0);
    EXPECT_EQ(b.Write(data.data(), -5), 0);
    EXPECT_EQ(b.Write(data.data(), 4), 4);
    EXPECT_EQ(b.Write(data.data() + 4, 6), 6);

    b.Remove(2);
    b.Remove(0);
    b.Remove(-3);
    EXPECT_EQ(Unread(b), "CDEFGHIJ");
    EXPECT_EQ(b.Room(), 2) << "a partly drained block is not compacted";
    EXPECT_EQ(b.Write(data.data() + 10, 6), 2);
    EXPECT_EQ(b.Write(data.data(), 1), 0);
    EXPECT_EQ(Unread(b), "CDEFGHIJKL");

    b.Remove(100);
    EXPECT_EQ(b.Unread(), 0);
    EXPECT_TRUE(b.Peek().empty());
    EXPECT_EQ(b.Write(data.data() + 4, 12), 12);
    EXPECT_EQ(Unread(b), "EFGHIJKLMNOP");
}

} // namespace
