#pragma once

#include "app/MainWindow.h"
#include "sites/Site.h"
#include "sites/SiteFolder.h"
#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"
#include "support/ScriptedPrompts.h"

#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Plays a login as "anna" and a listing of `listing` at "/". A site that asks
// for TLS if available first gets `authReply` to its AUTH TLS.
inline testsupport::ScriptedFtpServer&
ScriptLoginAndListing(testsupport::ScriptedFtpServer& server,
                      const std::string& listing = "-rw-r--r-- 1 ftp ftp 12 Jan 10 12:00 a.txt\r\n",
                      const std::string& authReply = "") {
    server.send("220 ready\r\n");
    if (!authReply.empty())
        server.reply(authReply);
    return server.reply("331 Password required\r\n")
        .reply("230 Logged in\r\n")
        .reply("500 Unknown command\r\n") // FEAT: a classic server
        .reply("215 UNIX Type: L8\r\n")
        .reply("257 \"/\"\r\n")
        .reply("200 Type set to A\r\n")
        .replyPasv()
        .acceptData()
        .reply("150 Listing\r\n")
        .sendData(listing)
        .closeData()
        .send("226 Done\r\n");
}

// A passive site on this machine at `port`.
inline Site LoopbackSite(const std::string& port, const std::string& user = "anna",
                         const std::string& password = "pw") {
    return {.Name = "loopback",
            .Server = "127.0.0.1",
            .Password = password,
            .User = user,
            .Port = port,
            .Pasv = 1};
}

// Saves `site` as the one site of the root folder and shows it.
inline void SaveSite(MainWindow& window, const std::string& folder, const Site& site) {
    std::ofstream(folder + SiteListFileName) << FormatSiteLine(site) << "\r\n";
    window.Sites().Refresh();
}

inline bool WaitForState(MainWindow& window, session::SessionState state) {
    return testsupport::ProcessEventsUntil(
        [&] { return window.Session().SessionState() == state; });
}

inline bool Sent(const testsupport::ScriptedFtpServer& server, const std::string& line) {
    const std::vector<std::string> sent = server.received();
    return std::find(sent.begin(), sent.end(), line) != sent.end();
}
