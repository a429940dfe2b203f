#include "prefs/TextFile.h"

#include <array>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

bool ReadTextLine(std::istream& in, std::string& line, std::string* ending) {
    if (!std::getline(in, line))
        return false;
    const bool ended = !in.eof();
    const bool cr = ended && !line.empty() && line.back() == '\r';
    if (cr)
        line.pop_back();
    if (ending)
        *ending = cr ? "\r\n" : ended ? "\n" : "";
    return true;
}

std::string_view WithoutBom(std::string_view firstLine) {
    constexpr std::string_view Bom = "\xEF\xBB\xBF";
    if (firstLine.substr(0, Bom.size()) == Bom)
        firstLine.remove_prefix(Bom.size());
    return firstLine;
}

std::string ResolveLink(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    // A dangling link is replaced like a missing file.
    return resolved ? std::string(resolved.get()) : path;
}

ReplacementFile::ReplacementFile(std::string target, mode_t mode)
    : target_(std::move(target)), temporary_(target_ + ".XXXXXX") {
    const int fd = ::mkstemp(temporary_.data());
    if (fd < 0)
        return;
    if (::fchmod(fd, mode) != 0) {
        ::close(fd);
        ::unlink(temporary_.c_str());
        return;
    }
    file_.reset(::fdopen(fd, "wb"));
    if (!file_) {
        ::close(fd);
        ::unlink(temporary_.c_str());
    }
}

ReplacementFile::~ReplacementFile() {
    if (file_) {
        file_.reset();
        ::unlink(temporary_.c_str());
    }
}

void ReplacementFile::WriteLine(std::string_view line, std::string_view ending) {
    if (!file_)
        return;
    if (lastLineOpen_)
        std::fwrite("\r\n", 1, 2, file_.get());
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fwrite(ending.data(), 1, ending.size(), file_.get());
    lastLineOpen_ = ending.empty();
    wroteAnything_ = true;
    lastLineBlank_ = line.find_first_not_of(" \t") == std::string_view::npos;
}

bool ReplacementFile::Commit() {
    if (!file_)
        return false;
    const bool written = std::fflush(file_.get()) == 0 && !std::ferror(file_.get()) &&
                         ::fsync(::fileno(file_.get())) == 0;
    const bool closed = std::fclose(file_.release()) == 0;
    if (written && closed && std::rename(temporary_.c_str(), target_.c_str()) == 0)
        return true;
    ::unlink(temporary_.c_str());
    return false;
}

namespace {

// Length of the UTF-8 sequence that starts with `lead`, 0 for a byte that
// cannot start one.
std::size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Windows-1252 bytes 0x80 to 0x9F; the five unassigned ones keep their value.
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = SequenceLength(lead);
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        if (length >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
            if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
                (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
                return false;
        }
        i += length;
    }
    return true;
}

std::string ToUtf8(std::string_view text) {
    if (IsValidUtf8(text))
        return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    for (const char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        AppendUtf8(out, c >= 0x80 && c <= 0x9F ? Windows1252High[c - 0x80] : char32_t{c});
    }
    return out;
}

std::string_view Utf8Left(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < text.size(); ++n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    return text.substr(0, i);
}
