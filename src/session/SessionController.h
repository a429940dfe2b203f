#pragma once

#include "ftp/FtpClient.h"
#include "remote/RemoteView.h"
#include "session/SessionStatus.h"
#include "sites/Site.h"
#include "transfer/ChainState.h"
#include "transfer/RemoteOperations.h"
#include "transfer/TransferQueue.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Prompts;
struct Options;

namespace session {

class SessionLog;

// Where the session stands, from a saved site to a shown directory and back.
enum class SessionState {
    Idle,       // the site list; no connection
    Connecting, // ConnectAsync issued, no greeting yet (also while retrying)
    LoggingIn,  // greeted; USER and PASS under way
    Listing,    // SYST, CWD or PWD, then the listing
    Browsing,   // a directory shown, nothing under way
    Busy,       // a request or chain under way
    Closing,    // disconnect or failed login; the close handling follows
};
const char* SessionStateName(SessionState state);

// What the status bar says of the session: its state, and while idle how the
// last session ended (`outcome`, empty before the first).
std::string StatusText(SessionState state, const std::string& host, const std::string& outcome);
// The window's title: the site and the remote folder while connected.
std::string WindowTitle(bool connected, const std::string& site, const std::string& remoteDir);

// The copy of a site the session uses, its address normalised: a leading
// "ftp://" or "http://" and every blank removed, "user:password@" taken into
// User and Password, a path into InitialDir and ":port" into Port.
Site NormalizeSiteAddress(Site site);

// The date of the system clock.
std::chrono::year_month_day Today();

// " , 07 Dec 2026 16:05:03": the time stamp of the "Connecting to " line.
std::string ConnectTimeText(const std::tm& local);

// Pushes the connection settings of the options into the engine: connection
// type, FTP proxy, SOCKS, passive mode and time-out. Not while connected.
void ApplyEngineOptions(FtpClient& ftp, const Options& options);

// The engine's TLS for a site's encryption setting.
FtpSecurity SecurityOf(SiteEncryption encryption);

// Turns the user's actions into requests of the engine and decides, each time
// a request completes, what comes next: the connect sequence, the login and
// listing chain, the greeting and close handling with reconnect attempts,
// disconnect, stop and the keep-alive commands. The remote pane's model is
// driven from here.
class SessionController : public QObject, public remote::RemoteSession, public transfer::QueueHost {
    Q_OBJECT

public:
    // `ftp`, `log`, `prompts` and `options` must outlive the controller; the
    // options are read at each use, so applied preferences take effect.
    // `startDate` dates listings that show a time instead of a year.
    SessionController(FtpClient& ftp, SessionLog& log, Prompts& prompts, const Options& options,
                      std::chrono::year_month_day startDate, QObject* parent = nullptr);
    ~SessionController() override;

    remote::RemoteView& RemoteView() { return remoteView_; }
    const remote::RemoteView& RemoteView() const { return remoteView_; }
    // Null: the chains' steps do nothing. Must outlive the controller.
    void SetChainSteps(transfer::ChainSteps* steps) {
        chains_ = steps != nullptr ? steps : &noSteps_;
    }
    // What the chains share; handed to the transfer queue and the file operations.
    transfer::ChainState& Chain() { return chain_; }
    // The queue also takes the chains' steps. Null: no transfers. Must outlive
    // the controller.
    void SetTransferQueue(transfer::TransferQueue* queue) {
        queue_ = queue;
        router_.SetTransfers(queue);
        chains_ = &router_;
    }
    // The delete, rename and permission steps go to `operations`. Must
    // outlive the controller.
    void SetRemoteOperations(transfer::RemoteOperations* operations) {
        router_.SetOperations(operations);
        chains_ = &router_;
    }
    // The keep-alive clock: one idle count a tick. A second by default, so
    // StartKeep counts seconds and DurationKeep minutes; tests shorten it.
    void SetKeepAliveTick(std::chrono::milliseconds tick) { keepTick_ = tick; }

    // --- user actions
    // A site chosen in the site list: connect to a normalised copy of it.
    void ConnectToSite(const Site& site);
    // A double click on row `row` of the remote pane: enters a folder.
    void OpenEntry(int row);
    // "SERVER LIST ..." in the path box does the same. While a transfer or
    // a chain runs, the user is asked first.
    void Disconnect() override;
    // A transfer queue or a delete, rename or permission chain is under way.
    bool ChainRunning() const;
    void StopTransfer();
    // The progress window's Cancel: the queue stops at its next step.
    void CancelTransfer() { chain_.StopRequest = true; }
    // "Download Selected Files": the remote pane's selection into `localFolder`
    // (absolute). False when nothing started (site list, busy, engine busy).
    bool DownloadSelected(const std::string& localFolder);
    // "Upload Selected Files": the local pane's selection from `localFolder`.
    bool UploadSelected(const std::vector<transfer::SelectedEntry>& selection,
                        const std::string& localFolder);

    // --- state
    session::SessionState SessionState() const { return state_; }
    bool ServerListMode() const { return serverListMode_; }
    // The commands that need a connection are enabled: exactly while the
    // remote directory is shown.
    bool ConnectedCommands() const { return !serverListMode_; }
    bool StopRequest() const { return chain_.StopRequest; }
    bool WaitCursor() const { return waitCursor_; }
    int ReconnectAttempt() const { return attempt_; }
    // How the last connect or session ended: "Login failed: 530 ...",
    // "Cannot connect to host: ...", "Connection lost", "Disconnected".
    const std::string& Outcome() const { return outcome_; }
    // The same, with what the notice above the right pane needs.
    const EndReport& LastEnd() const { return end_; }
    const Site& CurrentSite() const override { return site_; }
    remote::ListingStyle ListingStyle() const override;
    const std::string& RemoteStartDir() const { return chain_.RemoteStartDir; }
    const std::string& LocalStartDir() const { return chain_.LocalStartDir; }
    unsigned TransferModeFlags() const { return chain_.Mode; }
    void SetTransferModeFlags(unsigned flags) { chain_.Mode = flags; }
    transfer::WorkLists& WorkLists() { return chain_.Work; }
    bool KeepAliveRunning() const { return keepTimer_.isActive(); }
    int KeepAliveCount() const { return keepCount_; }

    // Clears the stop request and has the commands follow the connection.
    void SetConnectedState();

    // --- the remote pane's view of the session
    bool EngineReady() const override;
    std::string HostName() const override;
    std::string HostDirName() const override;
    void SetHostDirName(const std::string& path) override;
    void CwdAsync() override;
    void CDupAsync() override;
    void PwdAsync() override;
    bool TransferBusy() const override { return chain_.TransferBusy; }
    void SetTransferBusy(bool busy) override { chain_.TransferBusy = busy; }
    void RefreshCommands() override { emit CommandsChanged(); }
    void AddLog(std::string_view text) override;

    // --- the transfer queue's view of the session
    // Starts a request; a refusal is logged and gives false.
    bool Issue(void (FtpClient::*request)()) override;
    void TransferEnded(bool download) override;

signals:
    // The right pane shows the site list (true) or the remote directory.
    void ServerListModeChanged(bool serverList);
    // The enablement of the commands may have changed.
    void CommandsChanged();
    void WaitCursorChanged(bool wait);
    // The state or the outcome changed: the status bar and the title follow.
    void StatusChanged();
    // The site's local folder exists (or was made): the local pane moves there.
    void LocalDirChosen(const std::string& path);
    // A download ended: the local pane lists its folder again.
    void LocalFilesChanged();
    // The user trusts the server's certificate always: `site` is the site as
    // chosen, its TlsFingerprint now the certificate's, to be kept in the site list.
    void CertificateTrusted(const Site& site);

private:
    // Engine events.
    void Ftp1RequestDone(FtpRequest request, std::uint16_t error);
    void Ftp1SessionConnected(std::uint16_t error);
    void Ftp1SessionClosed(std::uint16_t error);
    void Ftp1Progress(std::int64_t count, bool& abort);
    void Ftp1Display(const std::string& msg);
    void SendKeepAlive();
    void AskCertificate(const tls::CertificateInfo& certificate, bool changed,
                        const std::string& verificationError);

    void RequestSucceeded(FtpRequest request);
    void RequestFailed(FtpRequest request);
    void ConnectFailed();
    // ASCII type, then the listing of `hostFile` (empty: the current
    // directory) into the listing file.
    void RefreshListing(const std::string& hostFile = {});
    // CWD to `HostDirName`; on a shared virtual host sent from where the
    // server stands, as a path from its root would miss the site's home.
    void EnterHostDir();
    bool RetryDue() const;
    void EndSession();
    void ArmKeepAlive();
    void SetState(session::SessionState state);
    void SetWaitCursor(bool wait);

    FtpClient& ftp_;
    SessionLog& log_;
    Prompts& prompts_;
    const Options& options_;
    transfer::ChainSteps noSteps_; // every step does nothing
    transfer::ChainSteps* chains_ = &noSteps_;
    transfer::TransferQueue* queue_ = nullptr;
    transfer::ChainRouter router_;
    remote::RemoteView remoteView_;

    session::SessionState state_ = session::SessionState::Idle;
    bool serverListMode_ = true;
    bool waitCursor_ = false;
    Site site_;
    Site chosen_;                     // the site as the site list holds it
    bool certificateRefused_ = false; // the user said no: no reconnect attempts
    transfer::ChainState chain_;
    // A link opened by a double click, and the directory the pane showed:
    // a 550 to its CWD makes the link a file there.
    std::optional<std::pair<std::string, std::string>> linkTried_;
    std::string serverAt_; // the folder the pane lists, where the server stands
    int attempt_ = -1;
    std::string outcome_;
    EndReport end_;
    std::uint16_t requestError_ = 0; // of the request being dispatched

    QTimer keepTimer_;
    std::chrono::milliseconds keepTick_{1000};
    int keepIdle_ = 0;       // ticks since the last completed request or keep-alive command
    int keepUnattended_ = 0; // ticks since the user's last request
    int keepIndex_ = 0;
    int keepCount_ = 0;
    bool keepAliveChain_ = false; // the running requests were started by the keep-alive
};

// Which commands of the main window are enabled.
struct EnabledCommands {
    bool Connect = false;          // "&Connect", "Connect to FTP - Server"
    bool NewServer = false;        // "New Server" button and menu items
    bool Properties = false;       // "&Properties" button
    bool Preferences = false;      // "Preferences"
    bool ServerProperties = false; // "Server &Properties", "Server Properties"
    bool Disconnect = false;       // "&Disconnect" button and menu item
    bool Stop = false;             // "&Stop Transfer" button and menu item
    bool RemoteCommands = false;   // upload, download and the remote menu group

    bool operator==(const EnabledCommands&) const = default;
};
// `connecting`: a connect is under way and may be stopped.
EnabledCommands CommandEnablement(bool connected, bool connecting, bool siteSelected);

} // namespace session
