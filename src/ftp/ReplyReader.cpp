#include "ftp/ReplyReader.h"

#include <algorithm>
#include <cstdint>

namespace ftpreply {

int ReplyBuffer::Append(std::string_view bytes) {
    const auto n =
        std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(std::max(Room(), 0)));
    held_.append(bytes.substr(0, n));
    return static_cast<int>(n);
}

std::optional<std::string> ReplyBuffer::TakeLine(bool acceptLF) {
    const std::size_t lf = acceptLF ? held_.find('\n') : held_.find("\r\n");
    if (lf == std::string::npos)
        return std::nullopt;
    const std::size_t consumed = lf + (acceptLF ? 1 : 2);
    std::string line = held_.substr(0, consumed);
    held_.erase(0, consumed);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

std::int64_t ReadNumber(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    constexpr std::int64_t kLimit = INT64_MAX / 10 - 1;
    std::int64_t value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos)
        value = value > kLimit ? INT64_MAX : value * 10 + (text[pos] - '0');
    return negative ? -value : value;
}

std::string ReadQuotedName(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    std::string name;
    if (pos >= text.size() || text[pos] != '"')
        return name;
    ++pos;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c != '"') {
            name += c;
            continue;
        }
        if (pos < text.size() && text[pos] == '"') {
            name += '"';
            ++pos;
            continue;
        }
        break;
    }
    return name;
}

int ReplyCode(std::string_view line) {
    if (line.size() < 3 || line[0] < '1' || line[0] > '5' || line[1] < '0' || line[1] > '5' ||
        !IsDigit(line[2]))
        return 0;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

// pure-ftpd ends the reply to a download the client cut short with a
// preliminary line of another code:
//     226-File successfully transferred
//     226-0.001 seconds
//     150 Aborted
bool IsAbortTrailer(int openCode, std::string_view line) {
    const int code = ReplyCode(line);
    return openCode == 226 && code >= 100 && code < 200 && line.size() > 3 && line[3] == ' ';
}

ReplyAssembler::Verdict ReplyAssembler::Feed(std::string_view line) {
    if (++lines_ > kMaxLines)
        return {Kind::TooLong, open_};
    if (open_ != 0) {
        if ((ReplyCode(line) == open_ && (line.size() == 3 || line[3] == ' ')) ||
            IsAbortTrailer(open_, line)) {
            const int code = ReplyCode(line);
            Reset();
            return {Kind::Final, code};
        }
        return {Kind::Continuation, open_};
    }
    if (line.empty() || !IsDigit(line.front()))
        return {Kind::Outside, 0};
    const int code = ReplyCode(line);
    if (code == 0)
        return {Kind::ProtocolError, 0};
    if (line.size() > 3 && line[3] == '-') {
        open_ = code;
        return {Kind::Continuation, code};
    }
    Reset();
    return {Kind::Final, code};
}

int Judge(int code, std::span<const int> accepted) {
    if (accepted.empty() || accepted.front() == 0)
        return code >= 500 ? code : 0;
    for (const int ok : accepted) {
        if (ok == 0)
            break;
        if (ok == code)
            return 0;
    }
    return code;
}

} // namespace ftpreply
