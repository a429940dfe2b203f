#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Rewriting the line endings of local files: CR, LF or CR LF into one of the
// other two.
namespace local {

// Line-ending codes: 1 CR, 2 LF, anything else CR LF.
std::string_view EndOfLine(int code);

// A conversion code is source * 16 + target; these are the window's choices.
inline constexpr int NoConversion = 0;
inline constexpr int CrLfToCr = 0x31;
inline constexpr int CrLfToLf = 0x32;
inline constexpr int CrToCrLf = 0x13;
inline constexpr int CrToLf = 0x12;
inline constexpr int LfToCr = 0x21;
inline constexpr int LfToCrLf = 0x23;

// Replaces every `from` by `to`, scanning left to right; inserted text is
// never examined again. Fed in blocks of any size: a CR LF split between two
// blocks is still found.
class LineEndingConverter {
public:
    LineEndingConverter(int source, int target);

    // Appends the converted form of `block` to `out`; a final byte that may
    // start `from` is held back until the next block or Finish.
    void Convert(std::string_view block, std::string& out);
    void Finish(std::string& out);

private:
    std::string_view from_;
    std::string_view to_;
    bool held_ = false; // the first byte of a two-byte `from` ended the last block
};

// The log lines of a conversion: AddLog returns the number ReplaceLine takes.
struct ConversionLog {
    std::function<std::size_t(std::string_view)> add;
    std::function<void(std::size_t, std::string_view)> replace;
};

enum class ConversionResult { Missing, Empty, Ok, OpenError, ReadError, WriteError };

// Converts one file: logs "Converting file: <path> ..." and appends " Ok!",
// " Open file error!", " Read file error!" or " Write file error!" (nothing
// for an empty file; no line for a file that does not exist). The converted
// bytes go to a new file in the same folder, renamed over the original with
// its permissions, so a failure leaves the original as it was.
ConversionResult ConvertFile(const std::string& path, int source, int target,
                             const ConversionLog& log);

} // namespace local
