#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The local side of one transfer: a file opened for reading from a position,
// or for writing (created empty, or written from a position). Writes are
// gathered into large blocks; a failure shows at the write or at Close.
class LocalFile {
public:
    enum class Mode { Read, Create, WriteAt };

    LocalFile() = default;
    ~LocalFile();
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    bool Open(const std::string& path, Mode mode, std::int64_t position);
    bool IsOpen() const { return fd_ >= 0; }
    // The count read, 0 at the end, -1 on failure.
    int Read(char* buffer, int len);
    bool Write(const char* data, int len);
    // Flushes and closes; false when data could not be written.
    bool Close();

private:
    bool Flush();

    int fd_ = -1;
    bool failed_ = false;
    std::vector<char> pending_;
};
