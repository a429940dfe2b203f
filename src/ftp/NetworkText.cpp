#include "ftp/NetworkText.h"

#include <utility>

namespace ftptransfer {

void TextFromNetwork::Convert(std::string_view block, std::string& out) {
    if (block.empty())
        return;
    if (heldCR_ && block.front() != '\n')
        out += '\r';
    heldCR_ = false;
    std::size_t from = 0;
    for (;;) {
        const std::size_t cr = block.find('\r', from);
        if (cr == std::string_view::npos) {
            out.append(block.substr(from));
            return;
        }
        out.append(block.substr(from, cr - from));
        if (cr + 1 == block.size()) {
            heldCR_ = true;
            return;
        }
        if (block[cr + 1] != '\n')
            out += '\r';
        from = cr + 1;
    }
}

void TextFromNetwork::Finish(std::string& out) {
    if (std::exchange(heldCR_, false))
        out += '\r';
}

void TextToNetwork::Convert(std::string_view block, std::string& out) {
    out.reserve(out.size() + block.size() + block.size() / 16);
    for (const char c : block) {
        if (c == '\n' && !afterCR_)
            out += '\r';
        out += c;
        afterCR_ = c == '\r';
    }
}

} // namespace ftptransfer
