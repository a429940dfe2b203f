#pragma once

#include "prefs/Options.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

// A session controller against the scripted server, shared by the session's tests.
namespace sessiontest {

using namespace std::chrono_literals;
using session::SessionController;
using session::SessionState;
using testsupport::ProcessEventsFor;
using testsupport::ProcessEventsUntil;
using testsupport::ScriptedFtpServer;
using Lines = std::vector<std::string>;

inline constexpr std::chrono::year_month_day kToday{std::chrono::year{2026}, std::chrono::December,
                                                    std::chrono::day{7}};

inline const std::string kListing =
    "drwxr-xr-x   2 ftp      ftp          4096 Jan 10 12:00 incoming\r\n"
    "-rw-r--r--   1 ftp      ftp          1234 Jan 10 12:00 readme.txt\r\n";
inline const std::string kFresh = "-rw-r--r--   1 ftp ftp 5 Jan 10 12:00 fresh.txt\r\n";

using testsupport::ReadFile;
using testsupport::WriteFile;

// "a|b" -> {"a", "b"}: transcripts in one string.
inline Lines Split(const std::string& text) {
    Lines parts;
    for (std::size_t from = 0; !text.empty() && from <= text.size();) {
        const std::size_t bar = std::min(text.find('|', from), text.size());
        parts.push_back(text.substr(from, bar - from));
        from = bar + 1;
    }
    return parts;
}

// A listing line of a file ('-'), folder ('d') or link ('l').
inline std::string Line(const std::string& name, char kind = '-', int size = 3) {
    return std::string(1, kind) + "rw-r--r-- 1 ftp ftp " + std::to_string(size) + " Jan 10 12:00 " +
           name + "\r\n";
}

// The server's side of one passive download, or TYPE A and listing.
inline ScriptedFtpServer& Get(ScriptedFtpServer& s, const std::string& data) {
    s.replyPasv().acceptData().reply("150 Opening\r\n").sendData(data);
    return s.closeData().send("226 Done\r\n");
}
inline ScriptedFtpServer& List(ScriptedFtpServer& s, const std::string& listing) {
    return Get(s.reply("200 Type set to A\r\n"), listing);
}

// Records the chain steps the dispatcher calls.
struct RecordingSteps : transfer::ChainSteps {
    Lines calls;
    void AddDownloadFolder() override { calls.push_back("AddDownloadFolder"); }
    void DownloadStep() override { calls.push_back("DownloadStep"); }
    void CloseProgress() override { calls.push_back("CloseProgress"); }
};

// A session controller, its engine and log, and the scripted server it talks to.

struct Rig {
    Rig() {
        options = DefaultOptions(folder, 4242);
        controller.SetChainSteps(&steps);
    }

    ::Site ScriptedSite() const {
        return {.Server = "127.0.0.1",
                .Password = "secret-pw",
                .User = "anna",
                .Port = server.portText(),
                .Pasv = 1};
    }
    // The greeting, USER and PASS accepted, then `replies`, one to each next command.
    ScriptedFtpServer& Login(const std::string& replies = "215 UNIX Type: L8|257 \"/\"") {
        server.send("220 Scripted server ready\r\n")
            .reply("331 Password required\r\n")
            .reply("230 Logged in\r\n")
            .reply("500 Unknown command\r\n"); // FEAT: a classic server
        return Replies(replies);
    }
    ScriptedFtpServer& Replies(const std::string& replies) {
        for (const std::string& reply : Split(replies))
            server.reply(reply + "\r\n");
        return server;
    }
    // TYPE A and a passive LIST of `listing`.
    ScriptedFtpServer& Listing(const std::string& listing = kListing) {
        return List(server, listing);
    }
    bool Wait(SessionState state, int timeoutMs = 5000) {
        return ProcessEventsUntil([&] { return controller.SessionState() == state; }, timeoutMs);
    }
    // Starts the script, connects and waits for the first listing.
    testing::AssertionResult Connect(const Site& site) {
        server.start();
        controller.ConnectToSite(site);
        if (!Wait(SessionState::Browsing))
            return testing::AssertionFailure() << server.failure();
        loginCommands = server.received().size();
        return testing::AssertionSuccess();
    }
    // Waits for `count` commands after the first listing and the pane browsing again.
    bool WaitSent(std::size_t count) {
        return ProcessEventsUntil([&] {
            return server.received().size() >= loginCommands + count &&
                   controller.SessionState() == SessionState::Browsing;
        });
    }
    Lines Since() const {
        const Lines all = server.received();
        return Lines(all.begin() + static_cast<long>(loginCommands), all.end());
    }
    Lines LogLines() const {
        Lines lines;
        for (std::size_t i = 0; i < log.Pane().Count(); ++i)
            lines.push_back(log.Pane().Line(i));
        return lines;
    }
    bool Logged(const std::string& line) const { return std::ranges::count(LogLines(), line) > 0; }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    Options options;
    session::SessionLog log{folder};
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    FtpClient ftp;
    RecordingSteps steps;
    SessionController controller{ftp, log, prompts, options, kToday};
    std::size_t loginCommands = 0;
};

} // namespace sessiontest
