#include "net/SendBuffer.h"

#include <algorithm>
#include <cstring>

SendBuffer::SendBuffer(int size) : buf_(static_cast<std::size_t>(size > 0 ? size : DefaultSize)) {}

int SendBuffer::Write(const void* data, int len) {
    const int n = std::clamp(len, 0, Room());
    if (n > 0) {
        std::memcpy(buf_.data() + wr_, data, static_cast<std::size_t>(n));
        wr_ += n;
    }
    return n;
}

std::span<const char> SendBuffer::Peek() const {
    return {buf_.data() + rd_, static_cast<std::size_t>(Unread())};
}

void SendBuffer::Remove(int count) {
    rd_ += std::clamp(count, 0, Unread());
    if (rd_ == wr_) {
        rd_ = 0;
        wr_ = 0;
    }
}
