#pragma once

#include "ftp/Ftpcli.h"
#include "support/EventLoop.h"

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Everything an engine tells its owner, in arrival order.
struct FtpRecorder {
    std::vector<std::string>
        events; // "display:<line>", "connected:<e>", "closed:<e>", "done:<kind>:<e>"
    std::vector<std::string> display;
    std::vector<std::pair<TFtpRequest, int>> done;
    int sessionConnected = 0;
    int sessionClosed = 0;

    void Attach(TCustomFtpCli& ftp) {
        ftp.OnDisplay = [this](TCustomFtpCli*, std::string& msg) {
            display.push_back(msg);
            events.push_back("display:" + msg);
        };
        ftp.OnSessionConnected = [this](TCustomFtpCli*, std::uint16_t e) {
            ++sessionConnected;
            events.push_back("connected:" + std::to_string(e));
        };
        ftp.OnSessionClosed = [this](TCustomFtpCli*, std::uint16_t e) {
            ++sessionClosed;
            events.push_back("closed:" + std::to_string(e));
        };
        ftp.OnRequestDone = [this](TCustomFtpCli*, TFtpRequest rq, std::uint16_t e) {
            done.emplace_back(rq, e);
            events.push_back(std::string("done:") + FtpRequestName(rq) + ":" + std::to_string(e));
        };
    }

    bool WaitDone(std::size_t count = 1, int timeoutMs = 5000) {
        return testsupport::ProcessEventsUntil([&] { return done.size() >= count; }, timeoutMs);
    }

    // Starts a request and returns its error, or -1 when it did not end in time.
    int Run(TCustomFtpCli& ftp, void (TCustomFtpCli::*request)(), int timeoutMs = 30000) {
        const std::size_t before = done.size();
        (ftp.*request)();
        if (!WaitDone(before + 1, timeoutMs))
            return -1;
        return done.back().second;
    }

    bool Displayed(const std::string& line) const {
        for (const std::string& d : display)
            if (d == line)
                return true;
        return false;
    }
};
