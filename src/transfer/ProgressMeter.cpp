#include "transfer/ProgressMeter.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace transfer {

std::string DurationText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    char text[32];
    std::snprintf(text, sizeof text, "%2" PRId64 ":%2.2" PRId64 ":%2.2" PRId64, seconds / 3600,
                  seconds % 3600 / 60, seconds % 60);
    return text;
}

std::string RateText(std::int64_t bytesPerSecond) {
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ".%" PRId64 " K/sec", bytesPerSecond / 1000,
                  bytesPerSecond % 1000);
    return text;
}

std::string_view ShownFileName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void ProgressMeter::StartFile(std::string_view path, std::int64_t size, Direction direction,
                              std::int64_t nowMs) {
    fileDone_ = false;
    started_ = true;
    fileStartMs_ = nowMs_ = nowMs;
    fileSize_ = size;
    fileBytes_ = 0;
    rate_ = left_ = 0;
    direction_ = direction;
    name_ = ShownFileName(path);
}

void ProgressMeter::Update(std::int64_t bytes, std::int64_t nowMs) {
    if (fileDone_ || !started_)
        return;
    fileBytes_ = bytes;
    nowMs_ = nowMs;
    const std::int64_t seconds = (nowMs_ - fileStartMs_) / 1000;
    rate_ = fileBytes_ <= 0 || seconds <= 0 ? 0 : fileBytes_ / seconds;
    if (fileBytes_ <= 0 || seconds <= 0)
        left_ = 0;
    else if (rate_ > 0) // below 1 byte/s the last estimate stands
        left_ = std::max<std::int64_t>(fileSize_ - fileBytes_, 0) / rate_;
}

void ProgressMeter::EndFile() {
    if (fileDone_ || !started_)
        return;
    previousFiles_ += fileBytes_;
    fileDone_ = true;
}

void ProgressMeter::Advance() {
    if (direction_ == Direction::Sending)
        frame_ = frame_ >= LastFrame - 1 ? 0 : frame_ + 1;
    else
        frame_ = frame_ <= 0 ? LastFrame : frame_ - 1;
}

ProgressTexts ProgressMeter::Texts() const {
    ProgressTexts texts;
    if (!started_) {
        texts.caption = "Progress";
    } else {
        texts.caption = (direction_ == Direction::Sending ? "Sending   " : "Receiving ") + name_ +
                        " (" + std::to_string(fileSize_) + " bytes)";
    }
    texts.fileBytes = std::to_string(fileBytes_);
    texts.fileTime = DurationText((nowMs_ - fileStartMs_) / 1000);
    texts.fileLeft = DurationText(left_);
    texts.allBytes = std::to_string(previousFiles_ + (fileDone_ ? 0 : fileBytes_));
    texts.allTime = DurationText((nowMs_ - queueStartMs_) / 1000);
    texts.rate = RateText(rate_);
    return texts;
}

} // namespace transfer
