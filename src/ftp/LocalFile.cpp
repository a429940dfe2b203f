#include "ftp/LocalFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Large enough that the disk sees few writes however small the network reads.
constexpr std::size_t kWriteBlock = 256 * 1024;
} // namespace

LocalFile::~LocalFile() {
    Close();
}

bool LocalFile::Open(const std::string& path, Mode mode, std::int64_t position) {
    Close();
    failed_ = false;
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::Create:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case Mode::WriteAt:
        flags |= O_WRONLY; // resuming needs the file that is there
        break;
    }
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0)
        return false;
    if (position > 0 && ::lseek(fd_, position, SEEK_SET) != position) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
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
    if (fd_ < 0 || failed_)
        return false;
    pending_.insert(pending_.end(), data, data + len);
    return pending_.size() < kWriteBlock || Flush();
}

bool LocalFile::Flush() {
    std::size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed_ = true;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    pending_.clear();
    return !failed_;
}

bool LocalFile::Close() {
    if (fd_ < 0)
        return true;
    const bool flushed = Flush();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return flushed && closed;
}
