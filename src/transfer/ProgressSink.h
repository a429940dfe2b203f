#pragma once

#include <cstdint>
#include <string>

namespace transfer {

// Which way the current file moves.
enum class Direction { Receiving = 0, Sending = 1 };

// What the transfer queue tells the progress window. The window exists only
// while a queue runs: Open at its first file, Close when it ends.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;

    // Opens the window when none is open; a new window starts fresh totals.
    virtual void Open() = 0;
    // `path`: the remote path of a download, the local path of an upload.
    virtual void StartFile(const std::string& path, std::int64_t size, Direction direction) = 0;
    // The bytes of the current file moved so far.
    virtual void Update(std::int64_t bytes) = 0;
    virtual void EndFile() = 0;
    virtual void Close() = 0;
};

} // namespace transfer
