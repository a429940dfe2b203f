#include "session/SessionController.h"

#include "net/HostAddress.h"
#include "prefs/CommaText.h"
#include "prefs/Options.h"
#include "prefs/Prompts.h"
#include "session/SessionLog.h"
#include "sites/QuickConnect.h"
#include "sites/SiteForm.h"
#include "text/TextFields.h"
#include "transfer/TransferPaths.h"

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace session {

using transfer::DeleteWalk;
using transfer::DownloadWalk;
using transfer::FolderRemoval;
using transfer::PermissionChain;
using transfer::UploadWalk;

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsOneOf(FtpRequest request, std::initializer_list<FtpRequest> kinds) {
    return std::find(kinds.begin(), kinds.end(), request) != kinds.end();
}

bool IsListing(FtpRequest request) {
    return IsOneOf(request, {FtpRequest::DirAsync, FtpRequest::LsAsync, FtpRequest::DirectoryAsync,
                             FtpRequest::ListAsync});
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

const char* SessionStateName(SessionState state) {
    switch (state) {
    case SessionState::Idle:
        return "Idle";
    case SessionState::Connecting:
        return "Connecting";
    case SessionState::LoggingIn:
        return "LoggingIn";
    case SessionState::Listing:
        return "Listing";
    case SessionState::Browsing:
        return "Browsing";
    case SessionState::Busy:
        return "Busy";
    case SessionState::Closing:
        return "Closing";
    }
    return "?";
}

std::string StatusText(SessionState state, const std::string& host, const std::string& outcome) {
    switch (state) {
    case SessionState::Idle:
        return outcome.empty() ? "Not connected" : outcome;
    case SessionState::Connecting:
        return "Connecting to " + host + " ...";
    case SessionState::LoggingIn:
        return "Logging in to " + host + " ...";
    case SessionState::Listing:
        return "Reading the folder on " + host + " ...";
    case SessionState::Browsing:
        return "Logged in to " + host;
    case SessionState::Busy:
        return "Working on " + host + " ...";
    case SessionState::Closing:
        return "Disconnecting from " + host + " ...";
    }
    return {};
}

std::string WindowTitle(bool connected, const std::string& site, const std::string& remoteDir) {
    if (!connected)
        return "Corvane";
    std::string title = site;
    if (!remoteDir.empty())
        title += (title.empty() ? "" : " \u2013 ") + remoteDir;
    return title + " \u2013 Corvane";
}

Site NormalizeSiteAddress(Site site) {
    std::string server(text::TrimBlanks(site.Server));
    // A TLS scheme chooses the encryption; implicit TLS has its own port.
    if (const AddressScheme* scheme = SchemeOf(server);
        scheme != nullptr && scheme->Encryption != SiteEncryption::ExplicitIfOffered) {
        server.erase(0, scheme->Prefix.size());
        site.Encryption = EncryptionText(scheme->Encryption);
        if (scheme->Encryption == SiteEncryption::Implicit &&
            (site.Port.empty() || site.Port == DefaultFtpPort))
            site.Port = scheme->Port;
    }
    for (const std::string_view scheme : {"ftp://", "http://"}) {
        if (text::StartsWithNoCase(server, scheme))
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
    // "::1" and "[::1]:2121": an IPv6 address holds colons of its own.
    if (server.starts_with('[') || net::IsIpv6Literal(server)) {
        if (const std::optional<net::HostAndPort> typed = net::SplitHostAndPort(server)) {
            server = typed->host;
            if (!typed->port.empty())
                site.Port = typed->port;
        }
    } else if (const std::size_t colon = server.find(':'); colon != std::string::npos) {
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

void ApplyEngineOptions(FtpClient& ftp, const Options& options) {
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
    // A request that hears nothing for this long fails instead of hanging.
    ftp.RequestTimeout = options.TimeOut;
}

EnabledCommands CommandEnablement(bool connected, bool connecting, bool siteSelected) {
    EnabledCommands e;
    e.Connect = e.NewServer = e.Properties = e.Preferences = !connected;
    e.ServerProperties = !connected && siteSelected;
    // A connect that hangs (no greeting, no reply to the login) can be given up.
    e.Disconnect = connected || connecting;
    e.Stop = connected || connecting;
    e.RemoteCommands = connected;
    return e;
}

// --- the controller -------------------------------------------------------------------

SessionController::SessionController(FtpClient& ftp, SessionLog& log, Prompts& prompts,
                                     const Options& options, std::chrono::year_month_day startDate,
                                     QObject* parent)
    : QObject(parent), ftp_(ftp), log_(log), prompts_(prompts), options_(options),
      remoteView_(*this, startDate, CurrentYear) {
    ftp_.OnDisplay = [this](FtpClient*, std::string& msg) { Ftp1Display(msg); };
    ftp_.OnRequestDone = [this](FtpClient*, FtpRequest request, std::uint16_t error) {
        Ftp1RequestDone(request, error);
    };
    ftp_.OnSessionConnected = [this](FtpClient*, std::uint16_t error) {
        Ftp1SessionConnected(error);
    };
    ftp_.OnSessionClosed = [this](FtpClient*, std::uint16_t error) { Ftp1SessionClosed(error); };
    ftp_.OnProgress = [this](FtpClient*, std::int64_t count, bool& abort) {
        Ftp1Progress(count, abort);
    };
    // A listing that no walk reads is the pane's: parsed as it arrives.
    ftp_.OnListingData = [this](FtpClient*, std::string_view bytes, bool first) {
        if ((chain_.Mode & (DownloadWalk | DeleteWalk | UploadWalk)) == 0)
            remoteView_.TakeListingData(bytes, first);
    };
    ftp_.OnCertificateQuestion = [this](FtpClient*, const tls::CertificateInfo& certificate,
                                        bool changed, const std::string& why) {
        AskCertificate(certificate, changed, why);
    };
    connect(&keepTimer_, &QTimer::timeout, this, &SessionController::SendKeepAlive);
}

SessionController::~SessionController() {
    ftp_.OnDisplay = nullptr;
    ftp_.OnRequestDone = nullptr;
    ftp_.OnSessionConnected = nullptr;
    ftp_.OnSessionClosed = nullptr;
    ftp_.OnProgress = nullptr;
    ftp_.OnListingData = nullptr;
    ftp_.OnCertificateQuestion = nullptr;
}

void SessionController::SetState(session::SessionState state) {
    if (state_ == state)
        return;
    state_ = state;
    emit StatusChanged();
}

void SessionController::SetWaitCursor(bool wait) {
    if (waitCursor_ == wait)
        return;
    waitCursor_ = wait;
    emit WaitCursorChanged(wait);
}

void SessionController::SetConnectedState() {
    chain_.StopRequest = false;
    emit CommandsChanged();
}

void SessionController::AddLog(std::string_view text) {
    log_.AddLog(text);
}

bool SessionController::Issue(void (FtpClient::*request)()) {
    ftp_.KeepFileTimes = options_.KeepFileTimes; // applied preferences count from the next request
    try {
        (ftp_.*request)();
    } catch (const std::exception& e) {
        AddLog(std::string("Error ") + e.what());
        return false;
    }
    if (state_ == SessionState::Browsing)
        SetState(SessionState::Busy);
    return true;
}

// --- user actions ---------------------------------------------------------------------

void SessionController::ConnectToSite(const Site& chosen) {
    if (ftp_.State() != FtpState::ftpReady && ftp_.State() != FtpState::ftpInternalReady) {
        if (ftp_.State() == FtpState::ftpAbort)
            ftp_.Abort();
        ftp_.MessagePump();
        return;
    }
    if (state_ != SessionState::Idle)
        return;

    Site site = NormalizeSiteAddress(chosen);
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
    chosen_ = chosen;
    certificateRefused_ = false;
    ftp_.Security = SecurityOf(EncryptionOf(site_));
    ftp_.TrustedFingerprint = site_.TlsFingerprint;
    ftp_.Binary = true;
    ftp_.SetPassive(site_.Pasv != 0);
    ftp_.HostDirName = NormalizeRemoteDir(site_.InitialDir, site_.CheckVHost != 0);
    serverAt_.clear();            // the account's home
    ftp_.MachineListings = false; // until the server's features are known
    remoteView_.SetSite({site_.Answer, site_.CheckVHost != 0, false});
    remoteView_.SetDateOrder(options_.DateType == 1 ? remote::DateOrder::MonthFirst
                                                    : remote::DateOrder::DayFirst);

    if (!site_.LocalDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(site_.LocalDir, error);
        if (std::filesystem::is_directory(site_.LocalDir, error))
            emit LocalDirChosen(site_.LocalDir);
    }

    chain_.Mode = 0;
    ftp_.MessagePump();
    AddLog("");
    AddLog("Connecting to " + ftp_.HostName + ConnectTimeText(LocalNow()));
    attempt_ = 0;
    outcome_.clear();
    end_ = {SessionEnd::None, 0,          {},
            ftp_.HostName,    site_.Port, !site_.Anonymous && !site_.SavePassword};
    ftp_.Timeout = 0; // this session's synchronous waits have no limit
    SetState(SessionState::Connecting);
    emit CommandsChanged();
    if (!Issue(&FtpClient::ConnectAsync))
        EndSession();
}

void SessionController::OpenEntry(int row) {
    const std::vector<remote::RemoteItem>& items = remoteView_.Items();
    if (serverListMode_ || row < 0 || row >= static_cast<int>(items.size()))
        return;
    const remote::RemoteItem& item = items[static_cast<std::size_t>(row)];
    if (item.icon != remote::PaneIcon::Folder || ftp_.State() != FtpState::ftpReady)
        return;
    if (item.caption == "..") {
        remoteView_.GoUpOneLevel();
        return;
    }
    if (item.link)
        linkTried_.emplace(item.caption, ftp_.HostDirName);
    if (const remote::ListingStyle style = ListingStyle();
        !style.machine && style.layout == remote::ListingLayout::Vms) {
        ftp_.HostDirName = item.caption;
    } else {
        if (!ftp_.HostDirName.ends_with('/'))
            ftp_.HostDirName += '/';
        ftp_.HostDirName += item.caption;
    }
    EnterHostDir();
}

void SessionController::EnterHostDir() {
    // From the home a path named from it goes as it is.
    if (site_.CheckVHost == 0 || serverAt_.empty()) {
        Issue(&FtpClient::CwdAsync);
        return;
    }
    const std::string target = ftp_.HostDirName;
    ftp_.HostDirName = RemotePathFrom(serverAt_, target);
    Issue(&FtpClient::CwdAsync);
    ftp_.HostDirName = target; // the command is out; the pane keeps its own name
}

// Ends the session or the connect in progress, whatever the engine waits for.
void SessionController::Disconnect() {
    if (state_ == SessionState::Idle && !ftp_.Connected())
        return;
    if (ChainRunning() && !prompts_.AskYesNo(AttentionCaption, DisconnectWhileBusyQuestion))
        return;
    keepTimer_.stop();
    attempt_ = -1; // a disconnect is never retried
    SetWaitCursor(true);
    outcome_ = "Disconnected";
    end_.End = SessionEnd::Disconnected;
    SetState(SessionState::Closing);
    ftp_.Timeout = 1;
    ftp_.Abort();
    ftp_.MessagePump();
    // A connection that never opened has no close to report.
    if (state_ != SessionState::Idle)
        EndSession();
}

bool SessionController::ChainRunning() const {
    return (queue_ != nullptr && queue_->Running()) || chain_.Mode != 0 ||
           !chain_.Work.Files.empty();
}

void SessionController::StopTransfer() {
    if (ftp_.State() == FtpState::ftpDnsLookup) {
        attempt_ = -1;
        ftp_.AbortSync();
        return;
    }
    chain_.Mode = 0;
    chain_.StopRequest = true;
    SetWaitCursor(false);
    if (chains_ != nullptr)
        chains_->StopRequested();
}

void SessionController::TransferEnded(bool download) {
    if (download)
        emit LocalFilesChanged();
    emit CommandsChanged();
}

bool SessionController::DownloadSelected(const std::string& localFolder) {
    if (queue_ == nullptr || serverListMode_)
        return false;
    std::vector<transfer::SelectedEntry> selection;
    for (const remote::RemoteItem& item : remoteView_.Items()) {
        if (item.selected && item.icon != remote::PaneIcon::Up)
            selection.push_back({item.caption, item.icon == remote::PaneIcon::Folder, item.size});
    }
    return queue_->StartDownload(selection, localFolder);
}

bool SessionController::UploadSelected(const std::vector<transfer::SelectedEntry>& selection,
                                       const std::string& localFolder) {
    if (queue_ == nullptr || serverListMode_)
        return false;
    std::vector<transfer::RemoteFile> files;
    for (const remote::RemoteItem& item : remoteView_.Items()) {
        if (item.icon == remote::PaneIcon::File)
            files.push_back({item.caption, item.size});
    }
    return queue_->StartUpload(selection, localFolder, std::move(files));
}

// --- the remote pane's requests -------------------------------------------------------

bool SessionController::EngineReady() const {
    return ftp_.State() == FtpState::ftpReady;
}

std::string SessionController::HostName() const {
    return ftp_.HostName;
}

remote::ListingStyle SessionController::ListingStyle() const {
    remote::ListingStyle style = remote::ListingStyleFromAnswer(site_.Answer);
    style.machine = ftp_.MachineListings;
    return style;
}

std::string SessionController::HostDirName() const {
    return ftp_.HostDirName;
}

void SessionController::SetHostDirName(const std::string& path) {
    ftp_.HostDirName = path;
}

void SessionController::CwdAsync() {
    EnterHostDir();
}

void SessionController::CDupAsync() {
    Issue(&FtpClient::CDupAsync);
}

void SessionController::PwdAsync() {
    Issue(&FtpClient::PwdAsync);
}

// --- engine events --------------------------------------------------------------------

void SessionController::Ftp1Display(const std::string& msg) {
    log_.AddLog(DisplayLine(msg));
}

void SessionController::Ftp1Progress(std::int64_t count, bool& abort) {
    if (chains_ != nullptr)
        chains_->ProgressBytes(count);
    abort = chain_.StopRequest;
}

void SessionController::Ftp1SessionConnected(std::uint16_t /*error*/) {
    chain_.RemoteStartDir = NormalizeRemoteDir(ftp_.HostDirName, site_.CheckVHost != 0);
    chain_.LocalStartDir = NormalizeLocalDir(QDir::currentPath().toStdString());
    serverListMode_ = false;
    chain_.TransferBusy = false;
    remoteView_.SessionStarted();
    emit ServerListModeChanged(false);
    keepCount_ = keepIndex_ = keepIdle_ = keepUnattended_ = 0;
    ArmKeepAlive();
    SetConnectedState();
    attempt_ = -1;
    SetState(SessionState::LoggingIn);
}

void SessionController::Ftp1SessionClosed(std::uint16_t /*error*/) {
    // A connect under way completes after the close: it says why (a refused
    // certificate, a server that hung up at the greeting) and ends the session
    // or makes the next attempt.
    if (RetryDue() || state_ == SessionState::Connecting || state_ == SessionState::LoggingIn)
        return;
    EndSession();
}

FtpSecurity SecurityOf(SiteEncryption encryption) {
    switch (encryption) {
    case SiteEncryption::Plain:
        return FtpSecurity::Off;
    case SiteEncryption::ExplicitIfOffered:
        return FtpSecurity::IfOffered;
    case SiteEncryption::Explicit:
        return FtpSecurity::Explicit;
    case SiteEncryption::Implicit:
        return FtpSecurity::Implicit;
    }
    return FtpSecurity::Explicit;
}

bool SessionController::RetryDue() const {
    return options_.retry > 0 && attempt_ >= 0 && options_.retry >= attempt_;
}

void SessionController::EndSession() {
    keepTimer_.stop();
    if (chains_ != nullptr)
        chains_->CloseProgress();
    SetWaitCursor(false);
    const bool wasConnected = !serverListMode_;
    // Only a session the user did not end himself is lost.
    if (wasConnected && state_ != SessionState::Closing && outcome_.empty()) {
        outcome_ = "Connection lost";
        end_.End = SessionEnd::ConnectionLost;
    }
    if (wasConnected && !outcome_.empty())
        AddLog("! " + outcome_);
    serverListMode_ = true;
    chain_.TransferBusy = false;
    attempt_ = -1;
    keepAliveChain_ = false;
    SetState(SessionState::Idle);
    if (wasConnected) {
        remoteView_.SessionEnded();
        emit ServerListModeChanged(true);
    }
    SetConnectedState();
}

// --- the request-done dispatcher ------------------------------------------------------

void SessionController::Ftp1RequestDone(FtpRequest request, std::uint16_t error) {
    keepTimer_.stop();
    // What a session that has ended still had under way is of no interest.
    if (state_ == SessionState::Idle && request != FtpRequest::ConnectAsync)
        return;
    const bool keepAliveStep = keepAliveChain_;
    requestError_ = error;
    if (error == 0)
        RequestSucceeded(request);
    else
        RequestFailed(request);
    if (error != 0)
        router_.RequestFailed(request); // a chain that sent nothing more is over
    if (!keepAliveStep)
        keepUnattended_ = 0;
    const bool underWay = state_ == SessionState::Busy || state_ == SessionState::Listing;
    if (underWay && !serverListMode_ && ftp_.State() == FtpState::ftpReady)
        SetState(SessionState::Browsing);
    ArmKeepAlive();
}

void SessionController::RefreshListing(const std::string& hostFile) {
    ftp_.HostFileName = hostFile;
    ftp_.LocalFileName = options_.ListingFile;
    ftp_.TypeAsciiSync(); // listings always travel as text
    if (Issue(&FtpClient::DirAsync) && state_ != SessionState::Busy)
        SetState(SessionState::Listing);
}

void SessionController::RequestSucceeded(FtpRequest request) {
    using R = FtpRequest;
    linkTried_.reset();
    if (request == R::ConnectAsync) {
        // MLSD where the server offers it, unless the site keeps to LIST.
        ftp_.MachineListings = ftp_.Features().machineListing && !ListsOnly(site_);
        remoteView_.SetSite({site_.Answer, site_.CheckVHost != 0, ftp_.MachineListings});
        SetState(SessionState::Listing);
        Issue(&FtpClient::SystAsync);
    } else if (request == R::SystAsync) {
        if (!ftp_.HostDirName.empty() && ftp_.HostDirName != "/")
            EnterHostDir();
        else
            Issue(&FtpClient::PwdAsync);
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
        if (chain_.Mode & FolderRemoval)
            chains_->RemoveFolderStep();
        else if (request == R::MkdAsync && (chain_.Mode & UploadWalk))
            Issue(&FtpClient::CwdAsync); // into the folder just made
        else
            RefreshListing();
    } else if (IsListing(request)) {
        keepAliveChain_ = false;
        if (chain_.Mode & DownloadWalk) {
            chains_->AddDownloadFolder();
            chains_->DownloadStep();
        } else if (chain_.Mode & DeleteWalk) {
            chains_->ReadDeleteFolder();
            chains_->DeleteStep();
        } else if (chain_.Mode & UploadWalk) {
            chains_->UploadStep();
        } else {
            serverAt_ = ftp_.HostDirName;
            remoteView_.ShowListing(options_.ListingFile);
            SetState(SessionState::Browsing);
        }
    } else if (IsOneOf(request, {R::GetAsync, R::RestGetAsync})) {
        chains_->ProgressEndOfFile();
        chains_->DownloadStep();
    } else if (IsOneOf(request, {R::PutAsync, R::RestPutAsync})) {
        chains_->ProgressEndOfFile();
        chains_->UploadStep();
    } else if (request == R::DeleAsync) {
        chains_->DeleteStep();
    } else if (request == R::RmdAsync) {
        chains_->RemoveFolderStep();
    } else if (request == R::RenAsync) {
        if (!chain_.Work.Files.empty())
            chains_->RenameStep();
        else
            RefreshListing(ftp_.HostDirName);
    } else if (request == R::QuoteAsync) {
        if (chain_.Mode & PermissionChain)
            chains_->ChmodStep();
        else
            EnterHostDir(); // every custom command ends with a fresh listing
    }
}

void SessionController::RequestFailed(FtpRequest request) {
    using R = FtpRequest;
    const bool downloadWalk = (chain_.Mode & DownloadWalk) != 0;
    if (chain_.Mode & (DeleteWalk | FolderRemoval))
        chain_.Work.Clear();
    chain_.Mode &= ~unsigned{DeleteWalk | FolderRemoval | DownloadWalk};
    keepAliveChain_ = false;

    if (request == R::CwdAsync && linkTried_ && ftp_.StatusCode() == 550) {
        // A link to a file: the pane stays and shows it as one.
        ftp_.HostDirName = linkTried_->second;
        remoteView_.TakeLinkForAFile(std::exchange(linkTried_, std::nullopt)->first);
        return;
    }
    linkTried_.reset();
    if (request == R::CwdAsync) {
        ftp_.TypeAsciiSync();
        if (chain_.Mode & UploadWalk) {
            ftp_.HostFileName = ftp_.HostDirName; // the missing folder is made, then entered
            Issue(&FtpClient::MkdAsync);
        } else if (downloadWalk && chains_ != nullptr) {
            // One folder that cannot be entered does not end the whole queue.
            AddLog("Error " + ftp_.ErrorMessage());
            chains_->TransferFailed(request);
        } else {
            ftp_.HostFileName.clear();
            ftp_.HostDirName = chain_.RemoteStartDir;
            Issue(&FtpClient::PwdAsync);
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
    } else if (IsOneOf(request, {R::GetAsync, R::RestGetAsync, R::PutAsync, R::RestPutAsync}) ||
               (request == R::MkdAsync && (chain_.Mode & UploadWalk))) {
        // The queue goes on with the next file.
        if (chains_ != nullptr)
            chains_->TransferFailed(request);
    } else if (IsListing(request)) {
        ftp_.Abort();
    } else if (IsOneOf(request, {R::DeleAsync, R::RenAsync})) {
        chain_.Work.Files.clear();
        chain_.Work.Targets.clear();
    } else if (request == R::QuoteAsync && (chain_.Mode & PermissionChain)) {
        chain_.Work.Files.clear();
        chain_.Mode &= ~unsigned{PermissionChain};
    }
}

// The engine waits for the answer; a window may run its own event loop meanwhile.
void SessionController::AskCertificate(const tls::CertificateInfo& certificate, bool changed,
                                       const std::string& verificationError) {
    CertificateQuestion question;
    question.Host = site_.Server;
    question.Subject = certificate.subject;
    question.Issuer = certificate.issuer;
    question.NotBefore = certificate.notBefore;
    question.NotAfter = certificate.notAfter;
    question.Fingerprint = certificate.fingerprint;
    question.VerificationError = verificationError;
    question.Changed = changed;
    const CertificateAnswer answer = prompts_.AskCertificate(question);
    if (answer == CertificateAnswer::TrustAlways) {
        site_.TlsFingerprint = certificate.fingerprint;
        chosen_.TlsFingerprint = certificate.fingerprint;
        ftp_.TrustedFingerprint = certificate.fingerprint; // a reconnect asks no more
        emit CertificateTrusted(chosen_);
    }
    certificateRefused_ = answer == CertificateAnswer::Refuse;
    ftp_.AnswerCertificate(answer != CertificateAnswer::Refuse);
}

void SessionController::ConnectFailed() {
    // The user's Disconnect cut the connect short: that is how it ended.
    if (end_.End == SessionEnd::Disconnected) {
        if (state_ != SessionState::Idle)
            EndSession();
        return;
    }
    const std::string reason =
        ftp_.LastResponse().empty() ? ftp_.ErrorMessage() : ftp_.LastResponse();
    AddLog(reason);
    // Greeted means the server was reached: then the login itself failed.
    const bool greeted = state_ == SessionState::LoggingIn;
    outcome_ = (greeted ? "Login failed: " : "Cannot connect to " + ftp_.HostName + ": ") +
               std::string(text::TrimBlanks(reason));
    end_.End = greeted ? SessionEnd::LoginFailed : SessionEnd::ConnectFailed;
    end_.Error = requestError_;
    end_.Reply = reason;
    ftp_.Timeout = 1;
    ftp_.Abort();
    ftp_.MessagePump();
    if (RetryDue() && !certificateRefused_) {
        ++attempt_;
        char line[400];
        std::snprintf(line, sizeof line, "Connecting to %s [Attempt %d]", ftp_.HostName.c_str(),
                      attempt_ + 1);
        AddLog(line);
        ftp_.Timeout = 0;
        SetState(SessionState::Connecting);
        if (Issue(&FtpClient::ConnectAsync))
            return;
    }
    if (state_ != SessionState::Idle)
        EndSession();
}

// --- keep-alive -----------------------------------------------------------------------

void SessionController::ArmKeepAlive() {
    keepIdle_ = 0;
    if (!serverListMode_ && options_.Keep && !SplitCommaText(options_.CmdKeep).empty())
        keepTimer_.start(keepTick_);
    else
        keepTimer_.stop();
}

void SessionController::SendKeepAlive() {
    ++keepIdle_;
    ++keepUnattended_;
    // DurationKeep minutes after the user's last request the keep-alive ends.
    if (options_.DurationKeep * 60 <= keepUnattended_) {
        keepTimer_.stop();
        return;
    }
    if (keepIdle_ <= options_.StartKeep || ftp_.State() != FtpState::ftpReady || !ftp_.Connected())
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
    keepAliveChain_ = Issue(&FtpClient::QuoteAsync);
    keepTimer_.start(keepTick_);
    ++keepIndex_;
}

} // namespace session
