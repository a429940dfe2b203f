// Control-connection bytes in chunks as they may arrive, through the line
// buffer and the reply assembler, and the number and quoted-name readers on
// each line. The first byte picks the chunk size and whether a bare LF ends a
// line.
#include "ftp/ReplyReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const bool acceptLF = data[0] & 1;
    const std::size_t chunk = 1 + data[0] / 2;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    ftpreply::ReplyBuffer buffer;
    ftpreply::ReplyAssembler assembler;
    while (!rest.empty()) {
        const int taken = buffer.Append(rest.substr(0, chunk));
        if (taken < 0 || static_cast<std::size_t>(taken) > chunk)
            std::abort();
        rest.remove_prefix(static_cast<std::size_t>(taken));
        while (const auto line = buffer.TakeLine(acceptLF)) {
            const auto verdict = assembler.Feed(*line);
            if (verdict.kind == ftpreply::ReplyAssembler::Kind::Final &&
                (verdict.code < 100 || verdict.code > 599))
                std::abort();
            std::size_t pos = 0;
            ftpreply::ReadNumber(*line, pos);
            ftpreply::ReadNumber(*line, pos);
            if (pos > line->size())
                std::abort();
            pos = 0;
            ftpreply::ReadQuotedName(*line, pos);
            if (pos > line->size())
                std::abort();
        }
        // A full buffer that holds no line end can take nothing more.
        if (taken == 0) {
            buffer.Clear();
            assembler.Reset();
        }
    }
    return 0;
}
