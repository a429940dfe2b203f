#include "session/SessionLog.h"

#include "net/UniqueFd.h"
#include "prefs/Options.h"
#include "text/TextFields.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace session {

namespace {

constexpr std::size_t LineEndLength = 2; // CR LF

std::size_t ShownLength(std::string_view line) {
    return CharacterCount(line) + LineEndLength;
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

void AppendLogLine(const std::string& path, std::string_view text) {
    const UniqueFd file(
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    if (file.get() < 0)
        return;
    std::string line(text);
    line += "\r\n";
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t written = ::write(file.get(), rest.data(), rest.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

SessionLog::SessionLog(std::string programFolder) : programFolder_(std::move(programFolder)) {}

std::size_t SessionLog::AddLog(std::string_view text) {
    const std::size_t number = pane_.Add(std::string(text));
    if (logging_ && !logFile_.empty())
        AppendLogLine(logFile_, text);
    return number;
}

void SessionLog::ReplaceLine(std::size_t number, std::string_view text) {
    pane_.Replace(number, std::string(text));
}

void SessionLog::ApplyOptions(const Options& options) {
    pane_.SetCapacity(options.LogSize > 0 ? static_cast<std::size_t>(options.LogSize) : 0);
    logging_ = options.Log;
    if (!options.Log)
        return;
    if (assigned_ && text::EqualsNoCase(options.LogFile, rememberedLogFile_))
        return;
    rememberedLogFile_ = options.LogFile;
    logFile_ = LogFilePath(options, programFolder_);
    assigned_ = true;
}

} // namespace session
