#pragma once

#include "transfer/ProgressSink.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace transfer {

// " 1:02:03": hours padded with a blank to two places, minutes and seconds
// with zeros. Negative counts show as 0.
std::string DurationText(std::int64_t seconds);
// "250.0 K/sec": thousands, a dot, then the remainder without leading zeros
// (1050 bytes/s is "1.50 K/sec").
std::string RateText(std::int64_t bytesPerSecond);
// The name shown for a file: the text after the last "/".
std::string_view ShownFileName(std::string_view path);

// Every text of the progress window at one moment.
struct ProgressTexts {
    std::string caption;
    std::string fileBytes, fileTime, fileLeft; // "This File"
    std::string allBytes, allTime, rate;       // "All Files"
};

// The figures of the progress window: the current file and the whole queue,
// in bytes and milliseconds of a steady clock. Counts are exact at every
// report; the window reads them only as often as it paints.
class ProgressMeter {
public:
    static constexpr int LastFrame = 20;

    explicit ProgressMeter(std::int64_t queueStartMs) : queueStartMs_(queueStartMs) {}

    void StartFile(std::string_view path, std::int64_t size, Direction direction,
                   std::int64_t nowMs);
    // Ignored between the end of a file and the start of the next.
    void Update(std::int64_t bytes, std::int64_t nowMs);
    // The bytes last reported join the queue's total.
    void EndFile();

    ProgressTexts Texts() const;
    bool FileDone() const { return fileDone_; }
    bool Started() const { return started_; }
    std::int64_t FileSize() const { return fileSize_; }
    std::int64_t FileBytes() const { return fileBytes_; }
    // The animation's position, 0 to LastFrame: one step per Advance, left
    // to right while sending, right to left while receiving.
    int Frame() const { return frame_; }
    void Advance();

private:
    std::int64_t queueStartMs_;
    std::int64_t fileStartMs_ = 0;
    std::int64_t nowMs_ = 0;
    std::int64_t previousFiles_ = 0;
    std::int64_t fileSize_ = 0;
    std::int64_t fileBytes_ = 0;
    std::int64_t rate_ = 0; // bytes per second
    std::int64_t left_ = 0; // seconds
    std::string name_;
    Direction direction_ = Direction::Receiving;
    int frame_ = 0;
    bool fileDone_ = false;
    bool started_ = false;
};

} // namespace transfer
