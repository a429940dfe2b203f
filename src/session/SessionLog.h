#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

struct Options;

// The session log: every command sent, every reply and the program's own
// notes, shown in a bounded pane and, while logging is on, appended to a file.
namespace session {

// What the log pane holds: its lines, oldest first. A line added to a full
// pane pushes the oldest ones out. Widgets render it from the signals.
class LogPane : public QObject {
    Q_OBJECT

public:
    explicit LogPane(QObject* parent = nullptr);

    // Characters of the pane's whole text, each line counted with its CR LF.
    void SetCapacity(std::size_t characters) { capacity_ = characters; }
    std::size_t Capacity() const { return capacity_; }

    // Removes the oldest lines while the text with `text` added would reach
    // the capacity, then adds it (even a line longer than the capacity).
    // Returns the line's number, which stays the same while older lines go.
    std::size_t Add(std::string text);
    // Changes the line numbered `number`; false when it has left the pane.
    bool Replace(std::size_t number, std::string text);

    std::size_t Count() const { return lines_.size(); }
    // The line at `row` (0 is the oldest still shown).
    const std::string& Line(std::size_t row) const { return lines_[row]; }
    // Number (as returned by Add) of the line at row 0.
    std::size_t FirstNumber() const { return firstNumber_; }
    std::size_t TextLength() const { return textLength_; }
    // The pane's text: every line followed by CR LF.
    std::string Text() const;

signals:
    // The `count` oldest lines were Removed (rows 0 to count - 1).
    void LinesRemoved(int count);
    // A line was added as the last row.
    void LineAdded(int row);
    void LineChanged(int row);

private:
    std::deque<std::string> lines_;
    std::size_t capacity_ = 10000;
    std::size_t firstNumber_ = 0;
    std::size_t textLength_ = 0;
};

// Characters of UTF-8 text, as the pane counts them.
std::size_t CharacterCount(std::string_view text);

// The line the log shows for a message of the engine: a message with "PASS "
// anywhere in it (a command sent or a reply asking for one) becomes
// "> PASS ****", so no password reaches the pane or the file.
std::string DisplayLine(std::string_view message);

// The text as the log file takes it: control bytes (C0, DEL, and C1 written
// in UTF-8) and bytes that are not UTF-8 become escapes such as "\x1b", so no
// server can write terminal sequences, raw bytes or extra lines into it.
// Valid UTF-8 text and tabs stay as they are.
std::string LogFileText(std::string_view text);

// Appends one line (LogFileText of `text`, then CR LF) to a file, opening and
// closing it for every line so the file can be read or moved while the
// program runs. A file that does not exist yet is created readable by its
// owner only. Before a line that would take the file past `limit` bytes, the
// file becomes `path` + ".1" (replacing an older one) and a new file starts.
// A line that could not be written whole is taken out again, so no torn line
// stays. Returns 0, or the errno of what failed.
int AppendLogLine(const std::string& path, std::string_view text, std::int64_t limit);

// The pane's line telling that the log file failed.
std::string LogFileFailureLine(const std::string& path, int error);

// The pane and the file together, as the options configure them.
class SessionLog {
public:
    // `programFolder` ends in "/"; a log file name without a folder goes there.
    explicit SessionLog(std::string programFolder);

    LogPane& Pane() { return pane_; }
    const LogPane& Pane() const { return pane_; }

    // Adds `text` to the pane and, while logging is on, to the log file. The
    // first of a run of failed writes adds LogFileFailureLine to the pane.
    // Returns the number to give ReplaceLine.
    std::size_t AddLog(std::string_view text);
    // Changes a line in the pane only; the file keeps what was written first.
    void ReplaceLine(std::size_t number, std::string_view text);

    // On every application of the options: takes the pane's capacity, the
    // file's size limit and the logging switch; while logging is on and LogFile is not the one
    // taken last (letter case ignored), the file switches to it. With logging off no file is
    // assigned or touched.
    void ApplyOptions(const Options& options);

    bool Logging() const { return logging_; }
    // The file lines go to; empty before one was assigned.
    const std::string& LogFile() const { return logFile_; }

private:
    void WriteToFile(std::string_view text);

    LogPane pane_;
    std::string programFolder_;
    std::string rememberedLogFile_; // the LogFile value the file was assigned for
    bool assigned_ = false;
    std::string logFile_;
    bool logging_ = false;
    std::int64_t fileLimit_ = 10 * 1024 * 1024;
    bool failureShown_ = false; // since the last line written or file assigned
};

} // namespace session
