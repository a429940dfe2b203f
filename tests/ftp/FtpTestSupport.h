#pragma once

#include "ftp/FtpClient.h"
#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using Lines = std::vector<std::string>;
using Done = std::pair<FtpRequest, int>;
using Cli = FtpClient;

inline const std::string kGreeting = "220 Scripted server ready\r\n";
inline const std::string k150 = "150 Opening BINARY mode data connection\r\n";
inline const std::string k226 = "226 Transfer complete\r\n";

// "a, b, c": commands compared as one line, so a failure shows them all.
inline std::string Joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : ", ") + line;
    return text;
}

using testsupport::ReadFile;
using testsupport::WriteFile;

// An engine and everything it tells its owner, in arrival order.
struct RecordedEngine {
    RecordedEngine() {
        ftp.OnDisplay = [this](Cli*, std::string& msg) {
            display.push_back(msg);
            events.push_back("display:" + msg);
        };
        ftp.OnSessionConnected = [this](Cli*, std::uint16_t) { ++sessionConnected; };
        ftp.OnSessionClosed = [this](Cli*, std::uint16_t e) {
            ++sessionClosed;
            events.push_back("closed:" + std::to_string(e));
        };
        ftp.OnRequestDone = [this](Cli*, FtpRequest rq, std::uint16_t e) {
            done.emplace_back(rq, e);
        };
        ftp.OnProgress = [this](Cli*, std::int64_t count, bool& abort) {
            progress.push_back(count);
            abort = abortAt >= 0 && count >= abortAt;
        };
    }

    // Logs in to a real server (anything with portText, user and password).
    template <class Server>
    void AimAt(const Server& server, std::string host = "127.0.0.1") {
        ftp.HostName = std::move(host);
        ftp.Port = server.portText();
        ftp.UserName = server.user();
        ftp.PassWord = server.password();
    }

    bool WaitDone(std::size_t count, int timeoutMs = 10000) {
        return testsupport::ProcessEventsUntil([&] { return done.size() >= count; }, timeoutMs);
    }
    // Starts `request` and waits for it; error -1 when it did not end in time.
    // Completions still posted (a synchronous wrapper returns before its own)
    // are taken first, so they are not mistaken for this one.
    Done Play(void (Cli::*request)(), int timeoutMs = 30000) {
        if (beforeFirstRequest)
            std::exchange(beforeFirstRequest, nullptr)();
        QCoreApplication::sendPostedEvents();
        const std::size_t before = done.size();
        (ftp.*request)();
        return WaitDone(before + 1, timeoutMs) ? done.back() : Done{FtpRequest::OpenAsync, -1};
    }
    Done Transfer(void (Cli::*request)(), const std::string& remote, const std::string& local) {
        ftp.HostFileName = remote;
        ftp.LocalFileName = local;
        return Play(request);
    }

    bool Displayed(const std::string& line) const {
        return std::find(display.begin(), display.end(), line) != display.end();
    }
    // Whether `second` happened after `first`.
    bool InOrder(const std::string& first, const std::string& second) const {
        const auto a = std::find(events.begin(), events.end(), first);
        return a != events.end() && std::find(a, events.end(), second) != events.end();
    }

    FtpClient ftp;
    std::function<void()> beforeFirstRequest;
    std::vector<std::string> events; // "display:<line>", "closed:<error>"
    std::vector<std::string> display;
    std::vector<Done> done;
    int sessionConnected = 0;
    int sessionClosed = 0;
    std::vector<std::int64_t> progress;
    std::int64_t abortAt = -1;
};

// A passive engine for anna at a scripted server, with a scratch folder for
// local files. The test scripts the server; the first request starts it.
struct ScriptedEngine : RecordedEngine {
    ScriptedEngine() {
        ftp.HostName = "127.0.0.1";
        ftp.Port = server.portText();
        ftp.UserName = "anna";
        ftp.PassWord = "pw";
        ftp.SetPassive(true);
        beforeFirstRequest = [this] { server.start(); };
    }

    Done Quote(const std::string& command) {
        ftp.LocalFileName = command;
        return Play(&Cli::QuoteAsync);
    }
    Done Transfer(void (Cli::*request)(), const char* remote, const char* local) {
        return RecordedEngine::Transfer(request, remote, Local(local));
    }
    // The script must begin with the greeting, and for LogIn() the login.
    void Open() { ASSERT_EQ(Play(&Cli::OpenAsync), Done(FtpRequest::OpenAsync, 0)); }
    void LogIn() {
        ASSERT_EQ(Play(&Cli::ConnectAsync), Done(FtpRequest::ConnectAsync, 0))
            << ftp.ErrorMessage();
    }
    ScriptedEngine& ScriptLogin() {
        // A classic server: no FEAT, so the commands are the ones of old.
        server.send(kGreeting)
            .reply("331 Password\r\n")
            .reply("230 Logged in\r\n")
            .reply("500 Unknown command\r\n");
        return *this;
    }

    // The commands after USER, PASS and the FEAT of the login.
    Lines Commands() const {
        Lines all = server.received();
        const std::size_t login = all.size() > 2 && all[2] == "FEAT" ? 3 : 2;
        return Lines(all.begin() + std::min(login, all.size()), all.end());
    }
    std::string Local(const char* name) const { return dir.filePath(name).toStdString(); }
    bool ShowedStatisticsFor(std::int64_t bytes) const {
        const std::string prefix = "! " + std::to_string(bytes) + " bytes received/sent in ";
        return std::any_of(display.begin(), display.end(),
                           [&](const std::string& line) { return line.starts_with(prefix); });
    }

    QTemporaryDir dir;
    testsupport::ScriptedFtpServer server;
};
