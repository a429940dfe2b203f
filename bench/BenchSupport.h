// What several benches share: a vsftpd-style listing, a remote session for the
// pane and a wait for one engine request. Header-only: each bench is its own
// executable.
#pragma once

#include "ftp/FtpClient.h"
#include "remote/RemoteView.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace bench {

inline constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Names of mixed length, some beyond the small-string buffer.
inline std::string NameOf(int i) {
    switch (i % 4) {
    case 0:
        return "f" + std::to_string(i) + ".txt";
    case 1:
        return "report-2024-" + std::to_string(i) + ".pdf";
    case 2:
        return "My Photo " + std::to_string(i) + ".jpg";
    default:
        return "src_" + std::to_string(i);
    }
}

// `lines` lines ending in CR LF, line i written into a buffer by `write(i, buffer, size)`.
template <typename Write>
std::string MakeListing(int lines, Write write) {
    std::string listing;
    listing.reserve(static_cast<std::size_t>(lines) * 80);
    char line[256];
    for (int i = 0; i < lines; ++i) {
        write(i, line, sizeof line);
        listing += line;
        listing += "\r\n";
    }
    return listing;
}

// As vsftpd prints it: a folder in eight, a link in fifty, a year on old entries.
inline std::string VsftpdListing(int lines) {
    return MakeListing(lines, [](int i, char* line, std::size_t size) {
        const bool folder = i % 8 == 0;
        const bool link = i % 50 == 7;
        const char* attributes = folder ? "drwxr-xr-x" : (link ? "lrwxrwxrwx" : "-rw-r--r--");
        const long long bytes = folder ? 4096 : (i * 7919LL) % 5'000'000'000LL;
        const std::string when = i % 3 == 0 ? " 2019" : "12:34";
        const std::string name = NameOf(i) + (link ? " -> " + NameOf(i - 1) : "");
        std::snprintf(line, size, "%s    1 1000     1000     %10lld %s %2d %s %s", attributes,
                      bytes, kMonths[i % 12], 1 + i % 28, when.c_str(), name.c_str());
    });
}

// The pane needs a session only for its log and path box here. Keeps the last
// log line: a listing that could not be read must not pass for a fast fill.
class BenchSession : public remote::RemoteSession {
public:
    explicit BenchSession(std::string dir = "/") : dir_(std::move(dir)) {}

    std::string lastLog;

    bool EngineReady() const override { return true; }
    std::string HostName() const override { return "127.0.0.1"; }
    std::string HostDirName() const override { return dir_; }
    void SetHostDirName(const std::string& path) override { dir_ = path; }
    void CwdAsync() override {}
    void CDupAsync() override {}
    void PwdAsync() override {}
    void Disconnect() override {}
    bool TransferBusy() const override { return busy_; }
    void SetTransferBusy(bool busy) override { busy_ = busy; }
    void RefreshCommands() override {}
    void AddLog(std::string_view text) override { lastLog = text; }

private:
    std::string dir_;
    bool busy_ = false;
};

// Longest time between two ticks of a 1 ms timer while it runs.
class GapMeter {
    using Clock = std::chrono::steady_clock;

public:
    GapMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            const Clock::time_point now = Clock::now();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void Start() {
        longest_ = {};
        last_ = Clock::now();
        timer_.start(std::chrono::milliseconds(1));
    }
    Clock::duration Stop() {
        timer_.stop();
        return std::max(longest_, Clock::now() - last_);
    }

private:
    QTimer timer_;
    Clock::time_point last_;
    Clock::duration longest_{};
};

// Runs one engine request at a time on the event loop and waits for its
// OnRequestDone.
class RequestWaiter {
public:
    explicit RequestWaiter(FtpClient& ftp) : ftp_(ftp) {
        ftp.OnRequestDone = [this](FtpClient*, FtpRequest, std::uint16_t error) {
            done_ = true;
            error_ = error;
            loop_.quit();
        };
    }

    // Empty when the request succeeded, else what went wrong.
    std::string Run(const char* what, std::chrono::milliseconds limit,
                    const std::function<void()>& start) {
        done_ = false;
        try {
            start();
        } catch (const std::exception& e) {
            return std::string(what) + " refused: " + e.what();
        }
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop_, &QEventLoop::quit);
        timer.start(limit);
        if (!done_)
            loop_.exec();
        if (!done_)
            return std::string(what) + ": no answer within " +
                   std::to_string(limit.count() / 1000) + " s";
        if (error_ != 0)
            return std::string(what) + " failed (" + std::to_string(error_) +
                   "): " + ftp_.ErrorMessage();
        return {};
    }

private:
    FtpClient& ftp_;
    QEventLoop loop_;
    bool done_ = false;
    std::uint16_t error_ = 0;
};

} // namespace bench
