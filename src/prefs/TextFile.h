#pragma once

#include <cstddef>
#include <cstdio>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

// Reading and writing the program's text files: lines end in CR LF when
// written and in LF or CR LF when read; text is UTF-8.

// Reads the next line; the LF and one CR before it are dropped and go to
// `ending` ("\r\n", "\n", or "" for a last line without one). False at the
// end of the file.
bool ReadTextLine(std::istream& in, std::string& line, std::string* ending = nullptr);

// The first line of a file without a UTF-8 byte order mark.
std::string_view WithoutBom(std::string_view firstLine);

// The file a symbolic link leads to (the path itself otherwise), so that
// replacing a file keeps the link.
std::string ResolveLink(const std::string& path);

// A new version of a file, written beside it and put in its place by Commit
// in one step. Until then the old file is untouched; a version that is not
// committed is removed.
class ReplacementFile {
public:
    ReplacementFile(std::string target, mode_t mode);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Writes `line` and its end, CR LF unless a copied line brings its own.
    // A line written after one without an end gets CR LF in between.
    void WriteLine(std::string_view line, std::string_view ending = "\r\n");
    bool WroteAnything() const { return wroteAnything_; }
    bool LastLineBlank() const { return lastLineBlank_; }
    // False when anything could not be written; the old file then stays.
    bool Commit();

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::string target_;
    std::string temporary_;
    std::unique_ptr<std::FILE, Closer> file_;
    bool wroteAnything_ = false;
    bool lastLineBlank_ = false;
    bool lastLineOpen_ = false;
};

bool IsValidUtf8(std::string_view text);
// `text` itself when it is valid UTF-8, otherwise `text` read as Windows-1252
// (the code page of files written by older installations) in UTF-8.
std::string ToUtf8(std::string_view text);
// The first `count` characters of UTF-8 text.
std::string_view Utf8Left(std::string_view text, std::size_t count);
