#pragma once

#include <cstddef>
#include <span>
#include <vector>

// One fixed-size block of the socket's send queue. Written at the end, drained
// from the front; once drained it rewinds so the block can be filled again.
class SendBuffer {
public:
    static constexpr int DefaultSize = 1514;

    explicit SendBuffer(int size = DefaultSize);

    // Copies as much as fits; returns the count copied (0 when full).
    int Write(const void* data, int len);
    // The part written but not yet removed.
    std::span<const char> Peek() const;
    // Advances past at most the unread length.
    void Remove(int count);

    int Size() const { return static_cast<int>(buf_.size()); }
    int Unread() const { return wr_ - rd_; }
    int Room() const { return Size() - wr_; }

private:
    std::vector<char> buf_;
    int wr_ = 0;
    int rd_ = 0;
};
