#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Pure pieces of reading and judging FTP control replies; the engine wires
// them to its socket.
namespace ftpreply {

// Size of the receive buffer; one byte of it is kept free, so a line of
// kBufferSize - 1 bytes without a line end leaves no room for more.
inline constexpr int kBufferSize = 4096;
// At most this many accepted codes per command, plus the closing 0.
inline constexpr std::size_t kMaxAcceptedCodes = 15;

// Bytes received on the control connection, cut into lines.
class ReplyBuffer {
public:
    int Room() const { return kBufferSize - 1 - static_cast<int>(held_.size()); }
    int Held() const { return static_cast<int>(held_.size()); }
    // Appends at most Room() bytes; returns the count taken.
    int Append(std::string_view bytes);
    // The next complete line without its trailing CR and LF characters, or
    // nothing while the line end has not arrived. With acceptLF a bare LF ends
    // a line; without it only CR LF does.
    std::optional<std::string> TakeLine(bool acceptLF);
    void Clear() { held_.clear(); }

private:
    std::string held_;
};

// Skips blanks (space, tab, CR, LF), one optional sign, then decimal digits.
// `pos` ends after the digits. Sizes beyond 2 GiB are ordinary, so the value
// is 64-bit; beyond that it saturates.
std::int64_t ReadNumber(std::string_view text, std::size_t& pos);

// After blanks, a text in double quotes where "" stands for one quote; empty
// when no opening quote follows.
std::string ReadQuotedName(std::string_view text, std::size_t& pos);

// Follows the lines of the control connection from reply to reply. A reply
// code is exactly three digits, 1-5, 0-5, 0-9; a line "ddd-" opens a
// multi-line reply that only "ddd " (or "ddd" alone) with the same code
// closes.
class ReplyAssembler {
public:
    // Greetings and replies beyond this many lines are a flood, not a reply.
    static constexpr int kMaxLines = 500;

    enum class Kind {
        Outside,       // an empty or text line between replies: shown, not a reply
        Continuation,  // a line of a multi-line reply that has not ended
        Final,         // the line that ends a reply; `code` is the reply's
        ProtocolError, // a line that begins with digits but no valid code
        TooLong,       // more than kMaxLines lines without a final one
    };
    struct Verdict {
        Kind kind = Kind::Outside;
        int code = 0;
    };

    Verdict Feed(std::string_view line);
    void Reset() { *this = ReplyAssembler(); }

private:
    int open_ = 0; // the code of the multi-line reply being read; 0: none
    int lines_ = 0;
};

// The code at the start of `line` when it is a valid three-digit reply code
// followed by the end, a blank or a hyphen; 0 otherwise.
int ReplyCode(std::string_view line);

// Whether `line` ends a multi-line reply opened with `openCode` although its
// code differs: a server's odd end of an aborted transfer.
bool IsAbortTrailer(int openCode, std::string_view line);

// The engine's verdict on a final reply code: 0 when accepted, else the code.
// An accepted list whose first entry is 0 accepts any code below 500.
int Judge(int code, std::span<const int> accepted);

} // namespace ftpreply
