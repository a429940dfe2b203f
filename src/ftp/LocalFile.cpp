#include "ftp/LocalFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Large enough that the disk sees few writes however small the network reads.
constexpr std::size_t kWriteBlock = 256 * 1024;
// A block this large is worth a system call of its own: gathering it would
// only copy it once more.
constexpr std::size_t kDirectWrite = 64 * 1024;
} // namespace

LocalFile::~LocalFile() {
    Close();
}

bool LocalFile::Open(const std::string& path, Mode mode, std::int64_t position,
                     unsigned permissions) {
    Close();
    failed_ = false;
    begun_ = true;
    created_ = false;
    path_ = path;
    switch (mode) {
    case Mode::Read:
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        break;
    case Mode::Replace:
        // Whether this open made the file decides what a refusal leaves behind.
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions);
        created_ = fd_ >= 0;
        if (fd_ < 0 && errno == EEXIST)
            fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        begun_ = false;
        break;
    case Mode::WriteAt:
        fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC); // resuming needs the file that is there
        break;
    }
    if (fd_ < 0)
        return false;
    if (position > 0 && ::lseek(fd_, position, SEEK_SET) != position) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

bool LocalFile::Begin() {
    if (fd_ < 0 || begun_)
        return fd_ >= 0 && !failed_;
    begun_ = true;
    // A device (/dev/null, /dev/stdout) has nothing to cut.
    struct stat info {};
    if (!created_ && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(fd_, 0) != 0)
        failed_ = true;
    return !failed_;
}

int LocalFile::Read(char* buffer, int len) {
    if (fd_ < 0)
        return -1;
    ssize_t n;
    do
        n = ::read(fd_, buffer, static_cast<std::size_t>(len));
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

bool LocalFile::Write(const char* data, int len) {
    if (!Begin())
        return false;
    const auto size = static_cast<std::size_t>(std::max(len, 0));
    if (pending_.empty() && size >= kDirectWrite)
        return WriteAll(data, size);
    pending_.insert(pending_.end(), data, data + size);
    return pending_.size() < kWriteBlock || Flush();
}

bool LocalFile::WriteAll(const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size && !failed_) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failed_ = true;
        else
            done += static_cast<std::size_t>(n);
    }
    return !failed_;
}

bool LocalFile::Flush() {
    const bool written = pending_.empty() || WriteAll(pending_.data(), pending_.size());
    pending_.clear();
    return written && !failed_;
}

bool LocalFile::Close() {
    if (fd_ < 0)
        return true;
    const bool flushed = Flush();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!begun_ && created_)
        ::unlink(path_.c_str());
    return flushed && closed;
}
