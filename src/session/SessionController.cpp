#include "session/SessionController.h"

#include "prefs/CommaText.h"
#include "prefs/Prompts.h"
#include "prefs/options.h"
#include "remote/TextFields.h"
#include "session/SessionLog.h"
#include "transfer/TransferPaths.h"

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace session {

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsOneOf(TFtpRequest request, std::initializer_list<TFtpRequest> kinds) {
    return std::find(kinds.begin(), kinds.end(), request) != kinds.end();
}

bool IsListing(TFtpRequest request) {
    return IsOneOf(request, {TFtpRequest::DirAsync, TFtpRequest::LsAsync,
                             TFtpRequest::DirectoryAsync, TFtpRequest::ListAsync});
}

int CurrentYear() {
    return static_cast<int>(Today().year());
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace

std::chrono::year_month_day Today() {
    return std::chrono::year_month_day{
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
}

void TWorkLists::Clear() {
    Folders.clear();
    TargetFolders.clear();
    Files.clear();
    Targets.clear();
}

const char* SessionStateName(TSessionState state) {
    switch (state) {
    case TSessionState::Idle:
        return "Idle";
    case TSessionState::Connecting:
        return "Connecting";
    case TSessionState::LoggingIn:
        return "LoggingIn";
    case TSessionState::Listing:
        return "Listing";
    case TSessionState::Browsing:
        return "Browsing";
    case TSessionState::Busy:
        return "Busy";
    case TSessionState::Closing:
        return "Closing";
    }
    return "?";
}

TFTPServerInfo NormalizeSiteAddress(TFTPServerInfo site) {
    std::string server(remote::TrimBlanks(site.Server));
    for (const std::string_view scheme : {"ftp://", "http://"}) {
        if (remote::StartsWithNoCase(server, scheme))
            server.erase(0, scheme.size());
    }
    std::erase(server, ' ');
    if (const std::size_t at = server.find('@'); at != std::string::npos) {
        const std::string userInfo = server.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        site.User = userInfo.substr(0, colon);
        if (colon != std::string::npos)
            site.Password = userInfo.substr(colon + 1);
        server.erase(0, at + 1);
    }
    if (const std::size_t slash = server.find('/'); slash != std::string::npos) {
        site.InitialDir = server.substr(slash);
        server.erase(slash);
    }
    if (const std::size_t colon = server.find(':'); colon != std::string::npos) {
        site.Port = server.substr(colon + 1);
        server.erase(colon);
    }
    site.Server = std::move(server);
    return site;
}

std::string ConnectTimeText(const std::tm& local) {
    char text[48];
    std::snprintf(text, sizeof text, " , %02d %s %04d %02d:%02d:%02d", local.tm_mday,
                  kMonths[(local.tm_mon % 12 + 12) % 12], local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec);
    return text;
}

void ApplyEngineOptions(TFtpClient& ftp, const TFTPOptions& options) {
    if (!ftp.Connected())
        ftp.SetConnectionType(options.ConnectionType);
    ftp.ProxyServer = options.ProxyServer;
    ftp.SetProxyPort(options.ProxyPort);
    ftp.SetSocksServer(options.SocksServer);
    ftp.SetSocksPort(options.SocksPort);
    ftp.SetSocksUserCode(options.SocksUC);
    ftp.SetSocksPassword(options.SocksPsw);
    ftp.SetPassive(options.PassiveTransfer);
    ftp.Timeout = options.TimeOut;
}

TCommandEnablement CommandEnablement(bool connected, bool connecting, bool siteSelected) {
    TCommandEnablement e;
    e.Connect = e.NewServer = e.Properties = e.Preferences = !connected;
    e.ServerProperties = !connected && siteSelected;
    e.Disconnect = connected;
    e.Stop = connected || connecting;
    e.RemoteCommands = connected;
    return e;
}

// --- the controller -------------------------------------------------------------------

TSessionController::TSessionController(TFtpClient& ftp, TSessionLog& log, Prompts& prompts,
                                       const TFTPOptions& options,
                                       std::chrono::year_month_day startDate, QObject* parent)
    : QObject(parent), ftp_(ftp), log_(log), prompts_(prompts), options_(options),
      remoteView_(*this, startDate, CurrentYear) {
    ftp_.OnDisplay = [this](TCustomFtpCli*, std::string& msg) { Ftp1Display(msg); };
    ftp_.OnRequestDone = [this](TCustomFtpCli*, TFtpRequest request, std::uint16_t error) {
        Ftp1RequestDone(request, error);
    };
    ftp_.OnSessionConnected = [this](TCustomFtpCli*, std::uint16_t error) {
        Ftp1SessionConnected(error);
    };
    ftp_.OnSessionClosed = [this](TCustomFtpCli*, std::uint16_t error) {
        Ftp1SessionClosed(error);
    };
    ftp_.OnProgress = [this](TCustomFtpCli*, std::int64_t count, bool& abort) {
        Ftp1Progress(count, abort);
    };
    connect(&keepTimer_, &QTimer::timeout, this, &TSessionController::cTimerTimer);
}

TSessionController::~TSessionController() {
    ftp_.OnDisplay = nullptr;
    ftp_.OnRequestDone = nullptr;
    ftp_.OnSessionConnected = nullptr;
    ftp_.OnSessionClosed = nullptr;
    ftp_.OnProgress = nullptr;
}

void TSessionController::SetState(TSessionState state) {
    state_ = state;
}

void TSessionController::SetWaitCursor(bool wait) {
    if (waitCursor_ == wait)
        return;
    waitCursor_ = wait;
    emit WaitCursorChanged(wait);
}

void TSessionController::SetConnectedState() {
    stopRequest_ = false;
    emit CommandsChanged();
}

void TSessionController::AddLog(std::string_view text) {
    log_.AddLog(text);
}

bool TSessionController::Issue(void (TCustomFtpCli::*request)()) {
    try {
        (ftp_.*request)();
    } catch (const std::exception& e) {
        AddLog(std::string("Error ") + e.what());
        return false;
    }
    if (state_ == TSessionState::Browsing)
        SetState(TSessionState::Busy);
    return true;
}

// --- user actions ---------------------------------------------------------------------

void TSessionController::ConnectToSite(const TFTPServerInfo& chosen) {
    if (ftp_.State() != TFtpState::ftpReady && ftp_.State() != TFtpState::ftpInternalReady) {
        if (ftp_.State() == TFtpState::ftpAbort)
            ftp_.Abort();
        ftp_.MessagePump();
        return;
    }
    if (state_ != TSessionState::Idle)
        return;

    TFTPServerInfo site = NormalizeSiteAddress(chosen);
    ftp_.HostName = site.Server;
    // Every connection takes its own site's port; the FTP proxy's is kept apart.
    ftp_.Port = site.Port.empty() ? "ftp" : site.Port;
    if (site.Anonymous) {
        ftp_.UserName = "anonymous";
        ftp_.PassWord = site.EMail;
    } else {
        ftp_.UserName = site.User;
        if (site.SavePassword) {
            ftp_.PassWord = site.Password;
        } else {
            std::string password;
            if (!prompts_.AskInput("Enter password", "\tPassword:", password, true, MaxInputLength))
                return;
            ftp_.PassWord = password;
        }
    }
    site_ = std::move(site);
    ftp_.Binary = true;
    ftp_.SetPassive(site_.Pasv != 0);
    ftp_.HostDirName = NormalizeRemoteDir(site_.InitialDir, site_.CheckVHost != 0);
    remoteView_.SetSite({site_.Answer, site_.CheckVHost != 0});
    remoteView_.SetDateOrder(options_.DateType == 1 ? remote::DateOrder::MonthFirst
                                                    : remote::DateOrder::DayFirst);

    if (!site_.LocalDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(site_.LocalDir, error);
        if (std::filesystem::is_directory(site_.LocalDir, error))
            emit LocalDirChosen(site_.LocalDir);
    }

    transferMode_ = 0;
    ftp_.MessagePump();
    AddLog("");
    AddLog("Connecting to " + ftp_.HostName + ConnectTimeText(LocalNow()));
    attempt_ = 0;
    ftp_.Timeout = 0; // this session's synchronous waits have no limit
    SetState(TSessionState::Connecting);
    emit CommandsChanged();
    if (!Issue(&TCustomFtpCli::ConnectAsync))
        EndSession();
}

void TSessionController::FTPViewDblClick(int row) {
    const std::vector<remote::TRemoteItem>& items = remoteView_.Items();
    if (serverListMode_ || row < 0 || row >= static_cast<int>(items.size()))
        return;
    const remote::TRemoteItem& item = items[static_cast<std::size_t>(row)];
    if (item.icon != remote::PaneIcon::Folder || ftp_.State() != TFtpState::ftpReady)
        return;
    if (item.caption == "..") {
        remoteView_.FTPOneLevelUpClick();
        return;
    }
    if (remote::ListingStyleFromAnswer(site_.Answer).layout == remote::ListingLayout::Vms) {
        ftp_.HostDirName = item.caption;
    } else {
        if (!ftp_.HostDirName.ends_with('/'))
            ftp_.HostDirName += '/';
        ftp_.HostDirName += item.caption;
    }
    Issue(&TCustomFtpCli::CwdAsync);
}

void TSessionController::sbDisConnectClick() {
    if (!ftp_.Connected() && ftp_.State() == TFtpState::ftpWaitingResponse)
        return;
    keepTimer_.stop();
    attempt_ = -1; // a disconnect is never retried
    SetWaitCursor(true);
    SetState(TSessionState::Closing);
    ftp_.Timeout = 1;
    ftp_.Abort();
    ftp_.MessagePump();
    // A connection that never opened has no close to report.
    if (state_ != TSessionState::Idle)
        EndSession();
}

void TSessionController::sbStopClick() {
    if (ftp_.State() == TFtpState::ftpDnsLookup) {
        attempt_ = -1;
        ftp_.AbortSync();
        return;
    }
    transferMode_ = 0;
    stopRequest_ = true;
    SetWaitCursor(false);
}

// --- the remote pane's requests -------------------------------------------------------

TFtpState TSessionController::State() const {
    return ftp_.State();
}

std::string TSessionController::HostName() const {
    return ftp_.HostName;
}

std::string TSessionController::HostDirName() const {
    return ftp_.HostDirName;
}

void TSessionController::SetHostDirName(const std::string& path) {
    ftp_.HostDirName = path;
}

void TSessionController::CwdAsync() {
    Issue(&TCustomFtpCli::CwdAsync);
}

void TSessionController::CDupAsync() {
    Issue(&TCustomFtpCli::CDupAsync);
}

void TSessionController::PwdAsync() {
    Issue(&TCustomFtpCli::PwdAsync);
}

// --- engine events --------------------------------------------------------------------

void TSessionController::Ftp1Display(const std::string& msg) {
    log_.AddLog(DisplayLine(msg));
}

void TSessionController::Ftp1Progress(std::int64_t count, bool& abort) {
    if (chains_ != nullptr)
        chains_->ProgressBytes(count);
    abort = stopRequest_;
}

void TSessionController::Ftp1SessionConnected(std::uint16_t /*error*/) {
    remoteStartDir_ = NormalizeRemoteDir(ftp_.HostDirName, site_.CheckVHost != 0);
    localStartDir_ = NormalizeLocalDir(QDir::currentPath().toStdString());
    serverListMode_ = false;
    transferBusy_ = false;
    remoteView_.SessionStarted();
    emit ServerListModeChanged(false);
    keepCount_ = keepIndex_ = keepIdle_ = keepUnattended_ = 0;
    ArmKeepAlive();
    SetConnectedState();
    attempt_ = -1;
    SetState(TSessionState::LoggingIn);
}

void TSessionController::Ftp1SessionClosed(std::uint16_t /*error*/) {
    // The failed connect's completion follows and makes the next attempt.
    if (RetryDue())
        return;
    EndSession();
}

bool TSessionController::RetryDue() const {
    return options_.retry > 0 && attempt_ >= 0 && options_.retry >= attempt_;
}

void TSessionController::EndSession() {
    keepTimer_.stop();
    if (chains_ != nullptr)
        chains_->CloseProgress();
    SetWaitCursor(false);
    const bool wasConnected = !serverListMode_;
    serverListMode_ = true;
    transferBusy_ = false;
    attempt_ = -1;
    keepAliveChain_ = false;
    SetState(TSessionState::Idle);
    if (wasConnected) {
        remoteView_.SessionEnded();
        emit ServerListModeChanged(true);
    }
    SetConnectedState();
}

// --- the request-done dispatcher ------------------------------------------------------

void TSessionController::Ftp1RequestDone(TFtpRequest request, std::uint16_t error) {
    keepTimer_.stop();
    // What a session that has ended still had under way is of no interest.
    if (state_ == TSessionState::Idle && request != TFtpRequest::ConnectAsync)
        return;
    const bool keepAliveStep = keepAliveChain_;
    if (error == 0)
        RequestSucceeded(request);
    else
        RequestFailed(request);
    if (!keepAliveStep)
        keepUnattended_ = 0;
    const bool underWay = state_ == TSessionState::Busy || state_ == TSessionState::Listing;
    if (underWay && !serverListMode_ && ftp_.State() == TFtpState::ftpReady)
        SetState(TSessionState::Browsing);
    ArmKeepAlive();
}

void TSessionController::RefreshListing(const std::string& hostFile) {
    ftp_.HostFileName = hostFile;
    ftp_.LocalFileName = options_.ListingFile;
    ftp_.TypeAsciiSync(); // listings always travel as text
    if (Issue(&TCustomFtpCli::DirAsync) && state_ != TSessionState::Busy)
        SetState(TSessionState::Listing);
}

void TSessionController::RequestSucceeded(TFtpRequest request) {
    using R = TFtpRequest;
    const auto step = [this](void (TChainSteps::*operation)()) {
        if (chains_ != nullptr)
            (chains_->*operation)();
    };
    if (request == R::ConnectAsync) {
        SetState(TSessionState::Listing);
        Issue(&TCustomFtpCli::SystAsync);
    } else if (request == R::SystAsync) {
        if (!ftp_.HostDirName.empty() && ftp_.HostDirName != "/")
            Issue(&TCustomFtpCli::CwdAsync);
        else
            Issue(&TCustomFtpCli::PwdAsync);
    } else if (request == R::PwdAsync) {
        if (ftp_.StatusCode() == 257) {
            const std::string& reply = ftp_.LastResponse();
            const std::size_t open = reply.find('"');
            const std::size_t close =
                open == std::string::npos ? std::string::npos : reply.find('"', open + 1);
            if (close != std::string::npos)
                ftp_.HostDirName = reply.substr(open + 1, close - open - 1);
        }
        RefreshListing();
    } else if (IsOneOf(request, {R::CwdAsync, R::MkdAsync, R::CDupAsync})) {
        if (transferMode_ & FolderRemoval)
            step(&TChainSteps::RemoveFolderStep);
        else if (request == R::MkdAsync && (transferMode_ & UploadWalk))
            Issue(&TCustomFtpCli::CwdAsync); // into the folder just made
        else
            RefreshListing();
    } else if (IsListing(request)) {
        keepAliveChain_ = false;
        if (transferMode_ & DownloadWalk) {
            step(&TChainSteps::AddDownloadFolder);
            step(&TChainSteps::DownloadStep);
        } else if (transferMode_ & DeleteWalk) {
            step(&TChainSteps::ReadDeleteFolder);
            step(&TChainSteps::DeleteStep);
        } else if (transferMode_ & UploadWalk) {
            step(&TChainSteps::UploadStep);
        } else {
            remoteView_.ShowListing(options_.ListingFile);
            SetState(TSessionState::Browsing);
        }
    } else if (IsOneOf(request, {R::GetAsync, R::RestGetAsync})) {
        step(&TChainSteps::ProgressEndOfFile);
        step(&TChainSteps::DownloadStep);
    } else if (IsOneOf(request, {R::PutAsync, R::RestPutAsync})) {
        step(&TChainSteps::ProgressEndOfFile);
        step(&TChainSteps::UploadStep);
    } else if (request == R::DeleAsync) {
        step(&TChainSteps::DeleteStep);
    } else if (request == R::RmdAsync) {
        step(&TChainSteps::RemoveFolderStep);
    } else if (request == R::RenAsync) {
        if (!work_.Files.empty())
            step(&TChainSteps::RenameStep);
        else
            RefreshListing(ftp_.HostDirName);
    } else if (request == R::QuoteAsync) {
        if (transferMode_ & PermissionChain)
            step(&TChainSteps::ChmodStep);
        else
            Issue(&TCustomFtpCli::CwdAsync); // every custom command ends with a fresh listing
    }
}

void TSessionController::RequestFailed(TFtpRequest request) {
    using R = TFtpRequest;
    if (transferMode_ & (DeleteWalk | FolderRemoval))
        work_.Clear();
    transferMode_ &= ~unsigned{DeleteWalk | FolderRemoval | DownloadWalk};
    keepAliveChain_ = false;

    if (request == R::CwdAsync) {
        ftp_.TypeAsciiSync();
        if (transferMode_ & UploadWalk) {
            ftp_.HostFileName = ftp_.HostDirName; // the missing folder is made, then entered
            Issue(&TCustomFtpCli::MkdAsync);
        } else {
            ftp_.HostFileName.clear();
            ftp_.HostDirName = remoteStartDir_;
            Issue(&TCustomFtpCli::PwdAsync);
            if (chains_ != nullptr)
                chains_->CloseProgress();
        }
        return;
    }
    if (request == R::ConnectAsync) {
        ConnectFailed();
        return;
    }

    AddLog("Error " + ftp_.ErrorMessage());
    if (request == R::SystAsync) {
        // SYST only informs; a server without it can still be browsed.
        RequestSucceeded(request);
    } else if (request == R::GetAsync) {
        if (chains_ != nullptr)
            chains_->DownloadStep();
    } else if (IsListing(request)) {
        ftp_.Abort();
    } else if (IsOneOf(request, {R::DeleAsync, R::RenAsync})) {
        work_.Files.clear();
        work_.Targets.clear();
    } else if (request == R::QuoteAsync && (transferMode_ & PermissionChain)) {
        work_.Files.clear();
        transferMode_ &= ~unsigned{PermissionChain};
    }
}

void TSessionController::ConnectFailed() {
    AddLog(ftp_.LastResponse().empty() ? ftp_.ErrorMessage() : ftp_.LastResponse());
    ftp_.Timeout = 1;
    ftp_.Abort();
    ftp_.MessagePump();
    if (RetryDue()) {
        ++attempt_;
        char line[400];
        std::snprintf(line, sizeof line, "Connecting to %s [Attempt %d]", ftp_.HostName.c_str(),
                      attempt_ + 1);
        AddLog(line);
        ftp_.Timeout = 0;
        SetState(TSessionState::Connecting);
        if (Issue(&TCustomFtpCli::ConnectAsync))
            return;
    }
    if (state_ != TSessionState::Idle)
        EndSession();
}

// --- keep-alive -----------------------------------------------------------------------

void TSessionController::ArmKeepAlive() {
    keepIdle_ = 0;
    if (!serverListMode_ && options_.Keep && !SplitCommaText(options_.CmdKeep).empty())
        keepTimer_.start(keepTick_);
    else
        keepTimer_.stop();
}

void TSessionController::cTimerTimer() {
    ++keepIdle_;
    ++keepUnattended_;
    // DurationKeep minutes after the user's last request the keep-alive ends.
    if (options_.DurationKeep * 60 <= keepUnattended_) {
        keepTimer_.stop();
        return;
    }
    if (keepIdle_ <= options_.StartKeep || ftp_.State() != TFtpState::ftpReady || !ftp_.Connected())
        return;
    keepTimer_.stop();
    keepIdle_ = 0;
    const std::vector<std::string> commands = SplitCommaText(options_.CmdKeep);
    if (commands.empty())
        return;
    ++keepCount_;
    if (keepIndex_ >= static_cast<int>(commands.size()))
        keepIndex_ = 0;
    ftp_.LocalFileName = commands[static_cast<std::size_t>(keepIndex_)];
    keepAliveChain_ = Issue(&TCustomFtpCli::QuoteAsync);
    keepTimer_.start(keepTick_);
    ++keepIndex_;
}

} // namespace session
