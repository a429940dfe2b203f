#pragma once

#include "session/SessionRig.h"
#include "support/RealFtpServer.h"
#include "transfer/RemoteOperations.h"
#include "transfer/TransferQueue.h"

#include <QSignalSpy>
#include <functional>
#include <memory>
#include <unistd.h>

// The whole session (controller, engine, log, transfer queue and remote
// operations) against a real FTP server on loopback, shared by the suites that
// check the interplay with real servers.
namespace realsession {

namespace fs = std::filesystem;
using testsupport::RealFtpServer;
using Kind = RealFtpServer::Kind;
using Lines = std::vector<std::string>;

using sessiontest::ReadFile;
using sessiontest::WriteFile;

struct RealSession {
    explicit RealSession(Kind kind = Kind::Pyftpdlib)
        : owned(std::make_unique<RealFtpServer>(kind)), server(*owned) {
        Init();
    }
    // On a server the caller started, shared by several sessions.
    explicit RealSession(RealFtpServer& shared) : server(shared) { Init(); }
    void Init() {
        options = DefaultOptions(folder, ::getpid());
        controller.SetTransferQueue(&queue);
        controller.SetRemoteOperations(&ops);
        QObject::connect(&log.Pane(), &session::LogPane::LineAdded,
                         [this](int row) { logged.push_back(log.Pane().Line(row)); });
    }

    // The site of the server's account, starting in its home.
    Site AccountSite(bool passive) const {
        return {.Server = "127.0.0.1",
                .Password = server.password(),
                .User = server.user(),
                .InitialDir = server.home(),
                .SavePassword = 1,
                .Port = server.portText(),
                .Pasv = std::uint8_t(passive)};
    }
    // Connects (the server started) and waits for the first listing.
    testing::AssertionResult Connect(const Site& site) {
        if (Settle(site) == session::SessionState::Browsing && Idle())
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "not logged in and listed; last log line: "
                                           << (logged.empty() ? "" : logged.back());
    }
    // Connects and waits until the session browses or has ended.
    session::SessionState Settle(const Site& site) {
        controller.ConnectToSite(site);
        testsupport::ProcessEventsUntil(
            [&] {
                return controller.SessionState() == session::SessionState::Browsing ||
                       controller.SessionState() == session::SessionState::Idle;
            },
            15000);
        return controller.SessionState();
    }
    // Nothing runs: no transfer or chain, the pane browsing, the engine ready.
    bool Idle(int waitMs = 60000) {
        return testsupport::ProcessEventsUntil(
            [&] {
                return !queue.Running() && !controller.TransferBusy() &&
                       controller.SessionState() == session::SessionState::Browsing &&
                       ftp.State() == FtpState::ftpReady;
            },
            waitMs);
    }
    // `act` sent something, then a new listing arrived and all is idle.
    testing::AssertionResult Run(const std::function<bool()>& act) {
        const qsizetype before = listings.count();
        if (!act())
            return testing::AssertionFailure() << "nothing was sent";
        if (testsupport::ProcessEventsUntil([&] { return listings.count() > before; }, 60000) &&
            Idle())
            return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "no new listing; session " << session::SessionStateName(controller.SessionState())
               << ", engine at " << ftp.HostDirName;
    }
    // Lists the current folder again, so the pane shows what the server holds.
    testing::AssertionResult Refresh() {
        return Run([&] {
            controller.CwdAsync();
            return true;
        });
    }
    // The pane's row of that caption; -1: none.
    int RowOf(const std::string& caption) const {
        const std::vector<remote::RemoteItem>& items = controller.RemoteView().Items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].caption == caption)
                return static_cast<int>(i);
        }
        return -1;
    }
    bool Download(const Lines& captions, const fs::path& into) {
        std::vector<int> rows;
        for (const std::string& caption : captions)
            rows.push_back(RowOf(caption));
        std::sort(rows.begin(), rows.end());
        controller.RemoteView().SetSelection(rows);
        return controller.DownloadSelected(into.string()) && Idle();
    }
    bool Upload(const std::vector<transfer::SelectedEntry>& selection, const fs::path& from) {
        return controller.UploadSelected(selection, from.string()) && Idle();
    }
    Lines Errors() const {
        Lines errors;
        std::ranges::copy_if(logged, std::back_inserter(errors),
                             [](const std::string& line) { return line.starts_with("Error "); });
        return errors;
    }
    bool Logged(const std::string& start) const {
        return std::ranges::any_of(
            logged, [&](const std::string& line) { return line.starts_with(start); });
    }
    fs::path OnServer(const std::string& path) const { return fs::path(server.root()) / path; }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    fs::path home = folder;
    Options options;
    Lines logged; // every line the log pane was given
    session::SessionLog log{folder};
    ScriptedPrompts prompts;
    std::unique_ptr<RealFtpServer> owned;
    RealFtpServer& server;
    FtpClient ftp;
    session::SessionController controller{ftp, log, prompts, options, session::Today()};
    transfer::TransferQueue queue{ftp,     controller, controller.Chain(),
                                  prompts, options,    session::Today()};
    transfer::RemoteOperations ops{ftp,     controller, controller.Chain(),
                                   prompts, options,    session::Today()};
    QSignalSpy listings{&controller.RemoteView(), &remote::RemoteView::ItemsReset};
};

} // namespace realsession
