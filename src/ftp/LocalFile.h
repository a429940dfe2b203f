#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The local side of one transfer: a file opened for reading from a position,
// or for writing (replaced, or written from a position). Writes are gathered
// into large blocks; a failure shows at the write or at Close.
class LocalFile {
public:
    // Replace opens without touching the old contents: they go at Begin() or
    // the first Write(). Closed before that, the file is as it was, and a file
    // the open created is removed again.
    enum class Mode { Read, Replace, WriteAt };

    LocalFile() = default;
    ~LocalFile();
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // `permissions` apply to a file the open creates (before the umask).
    bool Open(const std::string& path, Mode mode, std::int64_t position,
              unsigned permissions = 0666);
    bool IsOpen() const { return fd_ >= 0; }
    // The transfer is under way: a replaced file loses its old contents now.
    bool Begin();
    // The count read, 0 at the end, -1 on failure.
    int Read(char* buffer, int len);
    bool Write(const char* data, int len);
    // Flushes and closes; false when data could not be written.
    bool Close();

private:
    bool Flush();
    bool WriteAll(const char* data, std::size_t size);

    int fd_ = -1;
    bool failed_ = false;
    bool begun_ = true;
    bool created_ = false;
    std::string path_;
    std::vector<char> pending_;
};
