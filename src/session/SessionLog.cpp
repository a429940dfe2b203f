#include "session/SessionLog.h"

#include "net/UniqueFd.h"
#include "prefs/Options.h"
#include "prefs/TextFile.h"
#include "text/TextFields.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace session {

namespace {

constexpr std::size_t LineEndLength = 2; // CR LF

std::size_t ShownLength(std::string_view line) {
    return CharacterCount(line) + LineEndLength;
}

// The length of the valid UTF-8 character that `text` starts with; 0 when it
// starts with a byte that begins none.
std::size_t Utf8CharacterLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text.front());
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || length > text.size() || !IsValidUtf8(text.substr(0, length)))
        return 0;
    return length;
}

bool IsControlCharacter(std::string_view character) {
    const auto first = static_cast<unsigned char>(character.front());
    if (character.size() == 1)
        return (first < 0x20 && first != '\t') || first == 0x7F;
    // U+0080 to U+009F: some terminals take U+009B as the start of a sequence.
    return character.size() == 2 && first == 0xC2 &&
           static_cast<unsigned char>(character[1]) < 0xA0;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
    constexpr std::string_view Hex = "0123456789abcdef";
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        out += "\\x";
        out += Hex[b >> 4];
        out += Hex[b & 0x0F];
    }
}

int OpenForAppending(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
}

// Writes all of `bytes`; the errno when that fails.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

} // namespace

LogPane::LogPane(QObject* parent) : QObject(parent) {}

std::size_t LogPane::Add(std::string text) {
    const std::size_t added = ShownLength(text);
    int removed = 0;
    while (textLength_ + added >= capacity_ && !lines_.empty()) {
        textLength_ -= ShownLength(lines_.front());
        lines_.pop_front();
        ++firstNumber_;
        ++removed;
    }
    if (removed > 0)
        emit LinesRemoved(removed);
    lines_.push_back(std::move(text));
    textLength_ += added;
    emit LineAdded(static_cast<int>(lines_.size() - 1));
    return firstNumber_ + lines_.size() - 1;
}

bool LogPane::Replace(std::size_t number, std::string text) {
    if (number < firstNumber_ || number - firstNumber_ >= lines_.size())
        return false;
    const std::size_t row = number - firstNumber_;
    textLength_ = textLength_ - ShownLength(lines_[row]) + ShownLength(text);
    lines_[row] = std::move(text);
    emit LineChanged(static_cast<int>(row));
    return true;
}

std::string LogPane::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        // Continuation bytes of a UTF-8 sequence do not start a character.
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

std::string DisplayLine(std::string_view message) {
    if (message.find("PASS ") != std::string_view::npos)
        return "> PASS ****";
    return std::string(message);
}

std::string LogFileText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = Utf8CharacterLength(text);
        const std::string_view character = text.substr(0, length == 0 ? 1 : length);
        if (length == 0 || IsControlCharacter(character))
            AppendEscaped(out, character);
        else
            out += character;
        text.remove_prefix(character.size());
    }
    return out;
}

int AppendLogLine(const std::string& path, std::string_view text, std::int64_t limit) {
    const std::string line = LogFileText(text) + "\r\n";
    UniqueFd file(OpenForAppending(path));
    if (!file.valid())
        return errno;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return errno;
    const bool regular = S_ISREG(info.st_mode);
    if (regular && info.st_size > 0 &&
        info.st_size + static_cast<std::int64_t>(line.size()) > limit) {
        if (::rename(path.c_str(), (path + ".1").c_str()) != 0)
            return errno;
        file = UniqueFd(OpenForAppending(path));
        if (!file.valid())
            return errno;
        info.st_size = 0;
    }
    const int error = WriteAll(file.get(), line);
    if (error != 0 && regular) {
        // Best effort: a line cut short would run into the next one.
        [[maybe_unused]] const int ignored = ::ftruncate(file.get(), info.st_size);
    }
    return error;
}

std::string LogFileFailureLine(const std::string& path, int error) {
    return "! Can not write the log file " + path + ": " + std::strerror(error);
}

SessionLog::SessionLog(std::string programFolder) : programFolder_(std::move(programFolder)) {}

std::size_t SessionLog::AddLog(std::string_view text) {
    const std::size_t number = pane_.Add(std::string(text));
    if (logging_ && !logFile_.empty())
        WriteToFile(text);
    return number;
}

void SessionLog::WriteToFile(std::string_view text) {
    const int error = AppendLogLine(logFile_, text, fileLimit_);
    if (error == 0) {
        failureShown_ = false;
        return;
    }
    if (failureShown_)
        return;
    failureShown_ = true;
    pane_.Add(LogFileFailureLine(logFile_, error));
}

void SessionLog::ReplaceLine(std::size_t number, std::string_view text) {
    pane_.Replace(number, std::string(text));
}

void SessionLog::ApplyOptions(const Options& options) {
    pane_.SetCapacity(options.LogSize > 0 ? static_cast<std::size_t>(options.LogSize) : 0);
    fileLimit_ = options.LogFileSize;
    logging_ = options.Log;
    if (!options.Log)
        return;
    if (assigned_ && text::EqualsNoCase(options.LogFile, rememberedLogFile_))
        return;
    rememberedLogFile_ = options.LogFile;
    logFile_ = LogFilePath(options, programFolder_);
    assigned_ = true;
    failureShown_ = false;
}

} // namespace session
