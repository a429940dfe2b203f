#include "net/WSockbuf.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int size) : buf_(static_cast<std::size_t>(size > 0 ? size : DefaultSize)) {}

int TBuffer::Write(const void* data, int len) {
    const int n = std::clamp(len, 0, Room());
    if (n > 0) {
        std::memcpy(buf_.data() + wr_, data, static_cast<std::size_t>(n));
        wr_ += n;
    }
    return n;
}

std::span<const char> TBuffer::Peek() const {
    return {buf_.data() + rd_, static_cast<std::size_t>(Unread())};
}

void TBuffer::Remove(int count) {
    rd_ += std::clamp(count, 0, Unread());
    if (rd_ == wr_) {
        rd_ = 0;
        wr_ = 0;
    }
}
