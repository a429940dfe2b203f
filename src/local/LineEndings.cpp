#include "local/LineEndings.h"

#include "local/LocalFiles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace local {

namespace {

constexpr std::size_t BlockSize = 1 << 18;
constexpr off_t FlushStep = 8 << 20;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            close(fd_);
    }
    int get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

private:
    int fd_;
};

// Removes the temporary file unless it was renamed into place.
struct TempFile {
    std::string path;
    bool kept = false;
    ~TempFile() {
        if (!kept && !path.empty())
            unlink(path.c_str());
    }
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t wrote = write(fd, data.data(), data.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

// The file a link names, so that the link stays a link.
std::string RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : path;
}

} // namespace

std::string_view EndOfLine(int code) {
    switch (code) {
    case 1:
        return "\r";
    case 2:
        return "\n";
    default:
        return "\r\n";
    }
}

LineEndingConverter::LineEndingConverter(int source, int target)
    : from_(EndOfLine(source)), to_(EndOfLine(target)) {}

void LineEndingConverter::Convert(std::string_view block, std::string& out) {
    if (held_) {
        held_ = false;
        if (!block.empty() && block.front() == from_[1]) {
            out += to_;
            block.remove_prefix(1);
        } else {
            out += from_[0];
        }
    }
    const char first = from_[0];
    while (!block.empty()) {
        const void* hit = std::memchr(block.data(), first, block.size());
        if (hit == nullptr) {
            out += block;
            return;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - block.data());
        out.append(block.data(), at);
        block.remove_prefix(at);
        if (from_.size() == 1) {
            out += to_;
            block.remove_prefix(1);
        } else if (block.size() == 1) {
            held_ = true;
            return;
        } else if (block[1] == from_[1]) {
            out += to_;
            block.remove_prefix(2);
        } else {
            out += first;
            block.remove_prefix(1);
        }
    }
}

void LineEndingConverter::Finish(std::string& out) {
    if (held_)
        out += from_[0];
    held_ = false;
}

ConversionResult ConvertFile(const std::string& path, int source, int target,
                             const ConversionLog& log) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return ConversionResult::Missing;
    const std::string shown = "Converting file: " + path + " ...";
    const std::size_t line = log.add(shown);
    const auto outcome = [&](ConversionResult result, const char* text) {
        log.replace(line, shown + text);
        return result;
    };

    const std::string real = RealPath(path);
    // Opened for writing too, so a read-only file is refused as before.
    Fd in(open(real.c_str(), O_RDWR | O_CLOEXEC));
    if (in.get() < 0 || fstat(in.get(), &info) != 0)
        return outcome(ConversionResult::OpenError, " Open file error!");
    if (info.st_size == 0)
        return ConversionResult::Empty;

    TempFile temp{WithSlash(ParentFolder(real)) + "." + std::string(FileNamePart(real)) +
                  ".XXXXXX"};
    Fd out(mkostemp(temp.path.data(), O_CLOEXEC));
    if (out.get() < 0) {
        temp.path.clear();
        return outcome(ConversionResult::WriteError, " Write file error!");
    }
    LineEndingConverter converter(source, target);
    std::string block(BlockSize, '\0');
    std::string converted;
    converted.reserve(2 * BlockSize);
    off_t written = 0;
    off_t flushed = 0;
    for (;;) {
        const ssize_t got = read(in.get(), block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return outcome(ConversionResult::ReadError, " Read file error!");
        converted.clear();
        if (got == 0)
            converter.Finish(converted);
        else
            converter.Convert(std::string_view(block.data(), static_cast<std::size_t>(got)),
                              converted);
        if (!WriteAll(out.get(), converted))
            return outcome(ConversionResult::WriteError, " Write file error!");
        written += static_cast<off_t>(converted.size());
        // Starts the disk writes on the way, so the final fsync waits less.
        if (written - flushed >= FlushStep) {
            sync_file_range(out.get(), flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
            flushed = written;
        }
        if (got == 0)
            break;
    }
    // Owner and permissions as before; a change of owner needs privileges.
    if (fchown(out.get(), info.st_uid, info.st_gid) != 0 && errno != EPERM)
        return outcome(ConversionResult::WriteError, " Write file error!");
    if (fchmod(out.get(), info.st_mode & 07777) != 0 || fsync(out.get()) != 0 || !out.Close() ||
        rename(temp.path.c_str(), real.c_str()) != 0)
        return outcome(ConversionResult::WriteError, " Write file error!");
    temp.kept = true;
    return outcome(ConversionResult::Ok, " Ok!");
}

} // namespace local
