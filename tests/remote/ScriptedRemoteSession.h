#pragma once

#include "ftp/FtpClient.h"
#include "remote/RemoteView.h"

#include <string>
#include <vector>

namespace remote {

// The session as the pane sees it; requests are recorded as the commands
// they stand for.
class ScriptedSession : public RemoteSession {
public:
    FtpState state = FtpState::ftpReady;
    std::string hostName = "ftp.example.org";
    std::string hostDir = "/";
    bool busy = false;
    std::vector<std::string> requests;
    std::vector<std::string> log;
    int refreshes = 0;

    bool EngineReady() const override { return state == FtpState::ftpReady; }
    std::string HostName() const override { return hostName; }
    std::string HostDirName() const override { return hostDir; }
    void SetHostDirName(const std::string& path) override { hostDir = path; }
    void CwdAsync() override { requests.push_back("CWD " + hostDir); }
    void CDupAsync() override { requests.push_back("CDUP"); }
    void PwdAsync() override { requests.push_back("PWD"); }
    void Disconnect() override { requests.push_back("disconnect"); }
    bool TransferBusy() const override { return busy; }
    void SetTransferBusy(bool value) override { busy = value; }
    void RefreshCommands() override { ++refreshes; }
    void AddLog(std::string_view text) override { log.emplace_back(text); }
};

} // namespace remote
