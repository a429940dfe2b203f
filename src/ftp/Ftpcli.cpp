#include "ftp/Ftpcli.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <thread>

namespace {

constexpr std::array<const char*, 9> kStateNames{
    "ftpNotConnected", "ftpReady", "ftpInternalReady", "ftpDnsLookup",       "ftpConnected",
    "ftpAbort",        "",         "ftpWaitingBanner", "ftpWaitingResponse",
};
static_assert(kStateNames.size() == static_cast<std::size_t>(TFtpState::ftpWaitingResponse) + 1);

constexpr std::array<const char*, 42> kRequestNames{
    "None",          "OpenAsync",       "UserAsync",    "PassAsync",    "CwdAsync",
    "ConnectAsync",  "ReceiveAsync",    "DirAsync",     "LsAsync",      "PortAsync",
    "GetAsync",      "DirectoryAsync",  "ListAsync",    "SystemAsync",  "SystAsync",
    "QuitAsync",     "SizeAsync",       "PutAsync",     "AppendAsync",  "FileSizeAsync",
    "RqAbort",       "MkdAsync",        "RmdAsync",     "RenameAsync",  "DeleAsync",
    "RenAsync",      "RenToAsync",      "RenFromAsync", "DeleteAsync",  "MkdirAsync",
    "RmdirAsync",    "PwdAsync",        "QuoteAsync",   "CDupAsync",    "DoQuoteAsync",
    "TransmitAsync", "TypeSetAsync",    "RestAsync",    "RestGetAsync", "RestartGetAsync",
    "RestPutAsync",  "RestartPutAsync",
};
static_assert(kRequestNames.size() == static_cast<std::size_t>(TFtpRequest::RestartPutAsync) + 1);

// The fixed order in which a multi-step request takes its steps.
constexpr std::array<TFtpStep, 23> kStepOrder{
    TFtpStep::Open,    TFtpStep::User,    TFtpStep::Pass,  TFtpStep::Cwd,  TFtpStep::CDup,
    TFtpStep::TypeSet, TFtpStep::Port,    TFtpStep::Rest,  TFtpStep::Get,  TFtpStep::Put,
    TFtpStep::Append,  TFtpStep::Dir,     TFtpStep::Ls,    TFtpStep::Syst, TFtpStep::Mkd,
    TFtpStep::Rmd,     TFtpStep::RenFrom, TFtpStep::RenTo, TFtpStep::Size, TFtpStep::Dele,
    TFtpStep::Pwd,     TFtpStep::Quote,   TFtpStep::Quit,
};

// Reported when the control connection closes before the reply arrived.
constexpr int kClosedByServer = 421;

constexpr std::uint32_t Bit(TFtpStep step) {
    return 1u << static_cast<unsigned>(step);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
        return up(x) == up(y);
    });
}

} // namespace

const char* FtpStateName(TFtpState state) {
    return kStateNames[static_cast<std::size_t>(state)];
}

const char* FtpRequestName(TFtpRequest request) {
    return kRequestNames[static_cast<std::size_t>(request)];
}

TCustomFtpCli::TCustomFtpCli(QObject* parent)
    : QObject(parent), control_(new TWSocket(this)), data_(new TWSocket(this)) {
    control_->OnDnsLookupDone = [this](TCustomWSocket*, std::uint16_t e) {
        ControlDnsLookupDone(e);
    };
    control_->OnSessionConnected = [this](TCustomWSocket*, std::uint16_t e) {
        ControlSessionConnected(e);
    };
    control_->OnDataAvailable = [this](TCustomWSocket*, std::uint16_t e) {
        ControlDataAvailable(e);
    };
    control_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) {
        ControlSessionClosed(e);
    };
}

TCustomFtpCli::~TCustomFtpCli() {
    // The sockets are children; their handlers must not reach a half-destroyed engine.
    control_->OnSessionClosed = nullptr;
    data_->OnSessionClosed = nullptr;
    CloseLocalFile();
}

// --- state and reporting -------------------------------------------------------

void TCustomFtpCli::SetState(TFtpState state) {
    if (state_ == state)
        return;
    state_ = state;
    if (OnStateChange)
        OnStateChange(this);
}

void TCustomFtpCli::CheckReady() const {
    if (state_ != TFtpState::ftpReady && state_ != TFtpState::ftpInternalReady)
        throw FtpException("Please wait! The program waits response from FTP host");
}

void TCustomFtpCli::Display(std::string msg) {
    if (OnDisplay)
        OnDisplay(this, msg);
}

void TCustomFtpCli::SetErrorMessage(const std::string& text) {
    if (errorMessage_.empty())
        errorMessage_ = text;
}

void TCustomFtpCli::FailWithSocketError(int error) {
    lastResponse_ = "500 " + std::string(wsock::Description(error)) + " (Winsock error #" +
                    std::to_string(error) + ")";
    statusCode_ = 500;
    requestResult_ = 500;
    SetErrorMessage(lastResponse_);
}

void TCustomFtpCli::SetPassive(bool value) {
    passive_ = connectionType_ == TFtpConnectionType::ftpDirect ? value : true;
}

void TCustomFtpCli::SetConnectionType(int value) {
    if (connected_)
        throw FtpException("FTP component connected");
    const bool known = value >= static_cast<int>(TFtpConnectionType::ftpDirect) &&
                       value <= static_cast<int>(TFtpConnectionType::ftpSocks5);
    connectionType_ =
        known ? static_cast<TFtpConnectionType>(value) : TFtpConnectionType::ftpDirect;
    // A data connection through a proxy can only be opened from this side.
    if (connectionType_ != TFtpConnectionType::ftpDirect)
        passive_ = true;
    ApplySocksToIdleSockets();
}

const char* TCustomFtpCli::SocksLevel() const {
    switch (connectionType_) {
    case TFtpConnectionType::ftpSocks4:
        return "4";
    case TFtpConnectionType::ftpSocks4A:
        return "4A";
    case TFtpConnectionType::ftpSocks5:
        return "5";
    case TFtpConnectionType::ftpDirect:
    case TFtpConnectionType::ftpProxy:
        return nullptr;
    }
    return nullptr;
}

// The sockets forget their proxy settings at every close; the engine's hold
// until they are written again, so each connection gets them anew.
void TCustomFtpCli::ApplySocks(TWSocket& socket) {
    const char* level = SocksLevel();
    socket.SetSocksServer(level != nullptr ? socksServer_ : std::string());
    socket.SetSocksPort(socksPort_);
    socket.SetSocksLevel(level != nullptr ? level : "5");
    socket.SocksUsercode = socksUserCode_;
    socket.SocksPassword = socksPassword_;
    socket.SocksAuthentication = level != nullptr ? TSocksAuthentication::socksAuthenticateUsercode
                                                  : TSocksAuthentication::socksNoAuthentication;
}

void TCustomFtpCli::ApplySocksToIdleSockets() {
    for (TWSocket* socket : {control_, data_})
        if (socket->State() == TSocketState::wsClosed)
            ApplySocks(*socket);
}

void TCustomFtpCli::MessagePump() {
    if (MultiThreaded)
        control_->MessagePump();
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// --- completion ----------------------------------------------------------------

void TCustomFtpCli::TriggerRequestDone(std::uint16_t error) {
    if (requestDone_)
        return;
    requestDone_ = true;
    if (error == 0 && nextSeq_ != nullptr) {
        if (state_ != TFtpState::ftpAbort)
            SetState(TFtpState::ftpInternalReady);
        (this->*nextSeq_)();
        return;
    }
    SetState(TFtpState::ftpReady);
    if (data_->State() != TSocketState::wsClosed)
        data_->Close();
    CloseLocalFile();
    if (multiStep_ && savedStatus_ >= 0) {
        lastResponse_ = savedResponse_;
        statusCode_ = savedStatus_;
    }
    multiStep_ = false;
    nextSeq_ = nullptr;
    // Posted, so a caller never sees OnRequestDone inside the call that started it.
    // The kind is the one that completed: a synchronous wrapper returns before
    // this is handled, and its caller may have started the next request.
    QMetaObject::invokeMethod(
        this, [this, error, request = requestType_] { HandleRequestDone(request, error); },
        Qt::QueuedConnection);
}

void TCustomFtpCli::HandleRequestDone(TFtpRequest request, std::uint16_t error) {
    try {
        if (OnRequestDone)
            OnRequestDone(this, request, error);
    } catch (const std::exception& e) {
        try {
            if (OnBgException)
                OnBgException(this, e);
        } catch (...) {
        }
    }
}

// --- one command -----------------------------------------------------------------

void TCustomFtpCli::ExecAsync(TFtpRequest request, TFtpStep step, std::string command,
                              std::initializer_list<int> accepted, TProc doneHook) {
    // These three may interrupt whatever runs.
    if (command != "ABOR" && command != "STAT" && command != "QUIT") {
        CheckReady();
        if (!connected_)
            throw FtpException("FTP component not connected");
    }
    if (!multiStep_)
        requestType_ = request;
    currentStep_ = step;
    const std::size_t n = std::min(accepted.size(), ftpreply::kMaxAcceptedCodes);
    std::copy_n(accepted.begin(), n, accepted_.begin());
    accepted_[n] = 0;
    requestDone_ = false;
    AwaitReply(&TCustomFtpCli::EvaluateReply, doneHook);
    SendCommand(std::move(command));
    // Nothing will ever answer a command that could not be sent.
    if (control_->State() != TSocketState::wsConnected)
        TriggerRequestDone(static_cast<std::uint16_t>(requestResult_));
}

// The next final reply line goes to `handler`; `doneHook`, when set, replaces
// the completion after it.
void TCustomFtpCli::AwaitReply(TProc handler, TProc doneHook) {
    next_ = handler;
    doneHook_ = doneHook;
    awaitingReply_ = true;
    SetState(TFtpState::ftpWaitingResponse);
}

void TCustomFtpCli::SendCommand(std::string command) {
    if (OnCommand)
        OnCommand(this, command);
    Display("> " + command);
    if (control_->State() == TSocketState::wsConnected)
        control_->SendStr(command + "\r\n");
}

void TCustomFtpCli::EvaluateReply() {
    Display("< " + lastResponse_);
    const ftpreply::TReplyLine line = ftpreply::ClassifyLine(lastResponse_);
    if (!line.final)
        return;
    statusCode_ = line.code;
    requestResult_ = ftpreply::Judge(line.code, accepted_);
    if (requestResult_ != 0)
        SetErrorMessage(lastResponse_);
    if (passive_ && line.code == 227)
        pasvResponse_ = lastResponse_;
    ExtractResults();
    if (doneHook_ != nullptr)
        (this->*doneHook_)();
    else
        TriggerRequestDone(static_cast<std::uint16_t>(requestResult_));
}

void TCustomFtpCli::ExtractResults() {
    if (requestResult_ != 0)
        return;
    std::size_t pos = 0;
    switch (currentStep_) {
    case TFtpStep::Size:
        ftpreply::ReadNumber(lastResponse_, pos);
        SizeResult = ftpreply::ReadNumber(lastResponse_, pos);
        break;
    case TFtpStep::Cwd:
    case TFtpStep::Mkd:
    case TFtpStep::Pwd:
    case TFtpStep::CDup:
        ftpreply::ReadNumber(lastResponse_, pos);
        DirResult = ftpreply::ReadQuotedName(lastResponse_, pos);
        break;
    case TFtpStep::None:
    case TFtpStep::Open:
    case TFtpStep::User:
    case TFtpStep::Pass:
    case TFtpStep::Rmd:
    case TFtpStep::RenFrom:
    case TFtpStep::RenTo:
    case TFtpStep::Get:
    case TFtpStep::Dir:
    case TFtpStep::Quit:
    case TFtpStep::Syst:
    case TFtpStep::Dele:
    case TFtpStep::Quote:
    case TFtpStep::Put:
    case TFtpStep::TypeSet:
    case TFtpStep::Rest:
    case TFtpStep::Ls:
    case TFtpStep::Append:
    case TFtpStep::Port:
        break;
    }
}

// --- single-command requests ---------------------------------------------------------

void TCustomFtpCli::UserAsync() {
    if (UserName.empty())
        throw FtpException("UserName emtpy");
    std::string command = "USER " + UserName;
    // Through an FTP proxy the user name carries the real server.
    if (connectionType_ == TFtpConnectionType::ftpProxy) {
        command += "@" + HostName;
        if (!EqualsNoCase(Port, "ftp") && !EqualsNoCase(Port, "21"))
            command += ":" + Port;
    }
    ExecAsync(TFtpRequest::UserAsync, TFtpStep::User, command, {331, 230});
}

void TCustomFtpCli::PassAsync() {
    if (PassWord.empty())
        throw FtpException("Password emtpy");
    ExecAsync(TFtpRequest::PassAsync, TFtpStep::Pass, "PASS " + PassWord, {230});
}

void TCustomFtpCli::CwdAsync() {
    if (HostDirName.empty())
        throw FtpException("HostDirName emtpy");
    ExecAsync(TFtpRequest::CwdAsync, TFtpStep::Cwd, "CWD " + HostDirName, {200, 250, 257});
}

void TCustomFtpCli::SizeAsync() {
    SizeResult = 0;
    ExecAsync(TFtpRequest::SizeAsync, TFtpStep::Size, "SIZE " + HostFileName, {213});
}

void TCustomFtpCli::MkdAsync() {
    ExecAsync(TFtpRequest::MkdAsync, TFtpStep::Mkd, "MKD " + HostFileName, {257});
}

void TCustomFtpCli::RmdAsync() {
    ExecAsync(TFtpRequest::RmdAsync, TFtpStep::Rmd, "RMD " + HostFileName, {250, 257});
}

void TCustomFtpCli::RenFromAsync() {
    ExecAsync(TFtpRequest::RenFromAsync, TFtpStep::RenFrom, "RNFR " + HostFileName, {350});
}

void TCustomFtpCli::RenToAsync() {
    ExecAsync(TFtpRequest::RenToAsync, TFtpStep::RenTo, "RNTO " + LocalFileName, {200, 250, 257});
}

void TCustomFtpCli::QuitAsync() {
    ExecAsync(TFtpRequest::QuitAsync, TFtpStep::Quit, "QUIT", {221}, &TCustomFtpCli::QuitDone);
}

// Whatever the reply, the session ends; the close completes the request.
void TCustomFtpCli::QuitDone() {
    if (control_->State() != TSocketState::wsClosed)
        control_->Close();
    else
        TriggerRequestDone(static_cast<std::uint16_t>(requestResult_));
}

void TCustomFtpCli::SystAsync() {
    ExecAsync(TFtpRequest::SystAsync, TFtpStep::Syst, "SYST", {215});
}

void TCustomFtpCli::DeleAsync() {
    ExecAsync(TFtpRequest::DeleAsync, TFtpStep::Dele, "DELE " + HostFileName, {250, 257});
}

void TCustomFtpCli::PwdAsync() {
    ExecAsync(TFtpRequest::PwdAsync, TFtpStep::Pwd, "PWD", {250, 257});
}

void TCustomFtpCli::QuoteAsync() {
    ExecAsync(TFtpRequest::QuoteAsync, TFtpStep::Quote, LocalFileName, {0});
}

void TCustomFtpCli::TypeSetAsync() {
    ExecAsync(TFtpRequest::TypeSetAsync, TFtpStep::TypeSet, Binary ? "TYPE I" : "TYPE A", {200});
}

void TCustomFtpCli::TypeBinaryAsync() {
    Binary = true;
    TypeSetAsync();
}

void TCustomFtpCli::TypeAsciiAsync() {
    Binary = false;
    TypeSetAsync();
}

void TCustomFtpCli::CDupAsync() {
    ExecAsync(TFtpRequest::CDupAsync, TFtpStep::CDup, "CDUP", {250});
}

void TCustomFtpCli::RestAsync() {
    CheckReady();
    currentStep_ = TFtpStep::Rest;
    if (requestType_ != TFtpRequest::RestPutAsync && requestType_ != TFtpRequest::RestartPutAsync &&
        !Options.ftpNoAutoResumeAt) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(LocalFileName, ec);
        ResumeAt = ec ? -1 : static_cast<std::int64_t>(size);
    }
    if (ResumeAt <= 0) {
        // Nothing to resume: the step succeeds without a command.
        if (!multiStep_)
            requestType_ = TFtpRequest::RestAsync;
        next_ = &TCustomFtpCli::EvaluateReply;
        doneHook_ = nullptr;
        requestDone_ = false;
        TriggerRequestDone(0);
        return;
    }
    ExecAsync(TFtpRequest::RestAsync, TFtpStep::Rest, "REST " + std::to_string(ResumeAt), {0});
}

// --- multi-step requests -----------------------------------------------------------

void TCustomFtpCli::StartMultiStep(TFtpRequest request, std::initializer_list<TFtpStep> steps) {
    std::uint32_t set = 0;
    for (const TFtpStep s : steps)
        set |= Bit(s);
    if (connected_ && (set & Bit(TFtpStep::Open)))
        throw FtpException("FTP component already connected");
    CheckReady();
    savedResponse_ = lastResponse_;
    savedStatus_ = -1;
    requestType_ = request;
    requestResult_ = 0;
    steps_ = set;
    currentStep_ = TFtpStep::None;
    seqError_ = 0;
    multiStep_ = true;
    lastResponse_.clear();
    errorMessage_.clear();
    NextStep();
}

void TCustomFtpCli::NextStep() {
    if (state_ == TFtpState::ftpAbort) {
        steps_ = 0;
        seqError_ = 426;
        errorMessage_ = "426 Operation aborted.";
    }
    nextSeq_ = &TCustomFtpCli::NextStep;
    ExtractResults();
    for (const TFtpStep step : kStepOrder) {
        if ((steps_ & Bit(step)) == 0)
            continue;
        steps_ &= ~Bit(step);
        // A server that accepts the user with 230 gets no PASS.
        if (step == TFtpStep::Pass && currentStep_ == TFtpStep::User && statusCode_ != 331)
            continue;
        if (step == TFtpStep::Cwd && HostDirName.empty())
            continue;
        // A download resumes only where the server accepted the position.
        if (step == TFtpStep::Get &&
            !(currentStep_ == TFtpStep::Rest && ResumeAt >= 0 && statusCode_ == 350))
            ResumeAt = 0;
        if (step == TFtpStep::Quit) {
            // The request reports the last real command, not the QUIT reply.
            savedResponse_ = lastResponse_;
            savedStatus_ = statusCode_;
        }
        currentStep_ = step;
        RunStep(step);
        return;
    }
    nextSeq_ = nullptr;
    requestDone_ = false;
    TriggerRequestDone(seqError_);
}

void TCustomFtpCli::RunStep(TFtpStep step) {
    switch (step) {
    case TFtpStep::Open:
        return OpenAsync();
    case TFtpStep::User:
        return UserAsync();
    case TFtpStep::Pass:
        return PassAsync();
    case TFtpStep::Cwd:
        return CwdAsync();
    case TFtpStep::CDup:
        return CDupAsync();
    case TFtpStep::TypeSet:
        return TypeSetAsync();
    case TFtpStep::Rest:
        return RestAsync();
    case TFtpStep::Syst:
        return SystAsync();
    case TFtpStep::Mkd:
        return MkdAsync();
    case TFtpStep::Rmd:
        return RmdAsync();
    case TFtpStep::RenFrom:
        return RenFromAsync();
    case TFtpStep::RenTo:
        return RenToAsync();
    case TFtpStep::Size:
        return SizeAsync();
    case TFtpStep::Dele:
        return DeleAsync();
    case TFtpStep::Pwd:
        return PwdAsync();
    case TFtpStep::Quote:
        return QuoteAsync();
    case TFtpStep::Quit:
        return QuitAsync();
    case TFtpStep::Port:
        return PortAsync();
    case TFtpStep::Get:
        return DoGetAsync(TFtpRequest::GetAsync, TFtpStep::Get, "RETR");
    case TFtpStep::Dir:
        return DoGetAsync(TFtpRequest::DirAsync, TFtpStep::Dir, "LIST");
    case TFtpStep::Ls:
        return DoGetAsync(TFtpRequest::LsAsync, TFtpStep::Ls, "NLST");
    case TFtpStep::Put:
        return DoPutAsync(false);
    case TFtpStep::Append:
        return DoPutAsync(true);
    case TFtpStep::None:
        return;
    }
}

void TCustomFtpCli::ConnectAsync() {
    StartMultiStep(TFtpRequest::ConnectAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass});
}

void TCustomFtpCli::ReceiveAsync() {
    StartMultiStep(TFtpRequest::ReceiveAsync,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                    TFtpStep::TypeSet, TFtpStep::Port, TFtpStep::Get, TFtpStep::Quit});
}

void TCustomFtpCli::RestartGetAsync() {
    StartMultiStep(TFtpRequest::RestartGetAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass,
                                                  TFtpStep::Cwd, TFtpStep::TypeSet, TFtpStep::Port,
                                                  TFtpStep::Rest, TFtpStep::Get, TFtpStep::Quit});
}

void TCustomFtpCli::GetAsync() {
    StartMultiStep(TFtpRequest::GetAsync, {TFtpStep::Port, TFtpStep::Get});
}

void TCustomFtpCli::RestGetAsync() {
    StartMultiStep(TFtpRequest::RestGetAsync, {TFtpStep::Port, TFtpStep::Rest, TFtpStep::Get});
}

void TCustomFtpCli::TransmitAsync() {
    StartMultiStep(TFtpRequest::TransmitAsync,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                    TFtpStep::TypeSet, TFtpStep::Port, TFtpStep::Put, TFtpStep::Quit});
}

void TCustomFtpCli::RestartPutAsync() {
    StartMultiStep(TFtpRequest::RestartPutAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass,
                                                  TFtpStep::Cwd, TFtpStep::TypeSet, TFtpStep::Port,
                                                  TFtpStep::Rest, TFtpStep::Put, TFtpStep::Quit});
}

void TCustomFtpCli::PutAsync() {
    StartMultiStep(TFtpRequest::PutAsync, {TFtpStep::Port, TFtpStep::Put});
}

void TCustomFtpCli::RestPutAsync() {
    StartMultiStep(TFtpRequest::RestPutAsync, {TFtpStep::Port, TFtpStep::Rest, TFtpStep::Put});
}

void TCustomFtpCli::AppendFileAsync() {
    StartMultiStep(TFtpRequest::TransmitAsync,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                    TFtpStep::TypeSet, TFtpStep::Port, TFtpStep::Append, TFtpStep::Quit});
}

void TCustomFtpCli::AppendAsync() {
    StartMultiStep(TFtpRequest::AppendAsync, {TFtpStep::Port, TFtpStep::Append});
}

void TCustomFtpCli::DirectoryAsync() {
    StartMultiStep(TFtpRequest::DirectoryAsync,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::Port,
                    TFtpStep::Dir, TFtpStep::Quit});
}

void TCustomFtpCli::DirAsync() {
    StartMultiStep(TFtpRequest::DirAsync, {TFtpStep::Port, TFtpStep::Dir});
}

void TCustomFtpCli::ListAsync() {
    StartMultiStep(TFtpRequest::ListAsync,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::Port,
                    TFtpStep::Ls, TFtpStep::Quit});
}

void TCustomFtpCli::LsAsync() {
    StartMultiStep(TFtpRequest::LsAsync, {TFtpStep::Port, TFtpStep::Ls});
}

void TCustomFtpCli::SystemAsync() {
    StartMultiStep(TFtpRequest::SystemAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass,
                                              TFtpStep::Syst, TFtpStep::Quit});
}

void TCustomFtpCli::FileSizeAsync() {
    StartMultiStep(TFtpRequest::SizeAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass,
                                            TFtpStep::Cwd, TFtpStep::Size, TFtpStep::Quit});
}

void TCustomFtpCli::MkdirAsync() {
    StartMultiStep(TFtpRequest::MkdirAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass,
                                             TFtpStep::Cwd, TFtpStep::Mkd, TFtpStep::Quit});
}

void TCustomFtpCli::RmdirAsync() {
    StartMultiStep(TFtpRequest::RmdirAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass,
                                             TFtpStep::Cwd, TFtpStep::Rmd, TFtpStep::Quit});
}

void TCustomFtpCli::DeleteAsync() {
    StartMultiStep(TFtpRequest::DeleteAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass,
                                              TFtpStep::Cwd, TFtpStep::Dele, TFtpStep::Quit});
}

void TCustomFtpCli::DoQuoteAsync() {
    StartMultiStep(TFtpRequest::DoQuoteAsync, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass,
                                               TFtpStep::Cwd, TFtpStep::Quote, TFtpStep::Quit});
}

void TCustomFtpCli::RenameAsync() {
    StartMultiStep(TFtpRequest::RenameAsync,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                    TFtpStep::RenFrom, TFtpStep::RenTo, TFtpStep::Quit});
}

void TCustomFtpCli::RenAsync() {
    StartMultiStep(TFtpRequest::RenAsync, {TFtpStep::RenFrom, TFtpStep::RenTo});
}

// --- the control connection ------------------------------------------------------------

void TCustomFtpCli::OpenAsync() {
    CheckReady();
    if (connected_)
        throw FtpException("FTP component already connected");
    const TFtpState before = state_;
    const TFtpRequest requestBefore = requestType_;
    const bool doneBefore = requestDone_;
    if (!multiStep_)
        requestType_ = TFtpRequest::OpenAsync;
    currentStep_ = TFtpStep::Open;
    requestDone_ = false;
    reply_.Clear();
    requestResult_ = 0;
    awaitingReply_ = true;
    SetState(TFtpState::ftpDnsLookup);
    try {
        control_->DnsLookup(connectionType_ == TFtpConnectionType::ftpProxy ? ProxyServer
                                                                            : HostName);
    } catch (...) {
        // A refusal leaves the engine as it was, so the next request is accepted.
        requestType_ = requestBefore;
        requestDone_ = doneBefore;
        SetState(before);
        throw;
    }
}

void TCustomFtpCli::ControlDnsLookupDone(std::uint16_t error) {
    if (error != 0) {
        FailWithSocketError(error);
        TriggerRequestDone(error);
        return;
    }
    const bool viaProxy = connectionType_ == TFtpConnectionType::ftpProxy;
    try {
        control_->SetAddr(control_->DnsResult());
        control_->SetProto("tcp");
        control_->SetPort(viaProxy ? proxyPort_ : Port);
        ApplySocks(*control_);
        SetState(TFtpState::ftpWaitingBanner);
        control_->Connect();
    } catch (const std::exception& e) {
        // A port or address the socket cannot use ends the request instead
        // of leaving it waiting for a connection that never starts.
        lastResponse_ = std::string("500 ESocketException: ") + e.what();
        statusCode_ = 500;
        requestResult_ = 500;
        SetErrorMessage(lastResponse_);
        nextSeq_ = nullptr;
        TriggerRequestDone(500);
        if (control_->State() != TSocketState::wsClosed)
            control_->Abort();
    }
}

void TCustomFtpCli::ControlSessionConnected(std::uint16_t error) {
    if (error != 0) {
        FailWithSocketError(error);
        nextSeq_ = nullptr;
        TriggerRequestDone(error);
        control_->Close();
        SetState(TFtpState::ftpReady);
        return;
    }
    connected_ = true;
}

void TCustomFtpCli::ControlDataAvailable(std::uint16_t error) {
    char chunk[ftpreply::kBufferSize];
    const int len = control_->Receive(chunk, reply_.Room());
    if (len == 0) {
        // The server closed, or a line filled the whole buffer without ending.
        control_->Close();
        return;
    }
    if (len < 0)
        return;
    reply_.Append(std::string_view(chunk, static_cast<std::size_t>(len)));

    while (reply_.Held() > 0) {
        std::optional<std::string> line = reply_.TakeLine(Options.ftpAcceptLF);
        if (!line) {
            // A full buffer can never end a line; waiting for more would hang.
            if (reply_.Room() == 0)
                control_->Close();
            return;
        }
        lastResponse_ = std::move(*line);
        if (OnResponse)
            OnResponse(this);
        const ftpreply::TReplyLine info = ftpreply::ClassifyLine(lastResponse_);
        switch (state_) {
        case TFtpState::ftpWaitingBanner:
            Display("< " + lastResponse_);
            if (!info.final)
                continue;
            statusCode_ = info.code;
            awaitingReply_ = false;
            if (info.code != 220) {
                SetErrorMessage(lastResponse_);
                requestResult_ = info.code;
                control_->Close(); // completes the request
                return;
            }
            SetState(TFtpState::ftpConnected);
            if (OnSessionConnected)
                OnSessionConnected(this, error);
            TriggerRequestDone(0);
            break;
        case TFtpState::ftpWaitingResponse:
            if (!info.final)
                continue;
            statusCode_ = info.code;
            if (next_ == nullptr)
                throw FtpException("Program error: FNext is nil");
            awaitingReply_ = false;
            (this->*next_)();
            break;
        case TFtpState::ftpNotConnected:
        case TFtpState::ftpReady:
        case TFtpState::ftpInternalReady:
        case TFtpState::ftpDnsLookup:
        case TFtpState::ftpConnected:
        case TFtpState::ftpAbort:
            Display("< " + lastResponse_);
            break;
        }
        if (control_->State() != TSocketState::wsConnected)
            return;
    }
}

void TCustomFtpCli::ControlSessionClosed(std::uint16_t error) {
    // A server that hangs up before answering has not granted the request.
    if (awaitingReply_ && requestResult_ == 0 && state_ != TFtpState::ftpAbort &&
        (state_ == TFtpState::ftpWaitingResponse || state_ == TFtpState::ftpWaitingBanner)) {
        requestResult_ = kClosedByServer;
        SetErrorMessage("421 Connection closed by server");
    }
    awaitingReply_ = false;
    if (connected_) {
        connected_ = false;
        if (state_ != TFtpState::ftpAbort)
            SetState(TFtpState::ftpNotConnected);
        if (OnSessionClosed)
            OnSessionClosed(this, error);
    }
    if (state_ != TFtpState::ftpAbort)
        SetState(TFtpState::ftpInternalReady);
    TriggerRequestDone(static_cast<std::uint16_t>(requestResult_));
}

void TCustomFtpCli::Abort() {
    const bool lookingUp = state_ == TFtpState::ftpDnsLookup;
    SetState(TFtpState::ftpAbort);
    CloseLocalFile();
    if (lookingUp)
        control_->CancelDnsLookup(); // completes the open request with 10004
    if (control_->State() != TSocketState::wsClosed)
        control_->Close();
    if (data_->State() != TSocketState::wsClosed)
        data_->Close();
    CloseLocalFile();
    connected_ = false;
    SetState(TFtpState::ftpReady);
}

// --- waiting -------------------------------------------------------------------------

void TCustomFtpCli::MoveWaitDeadline() {
    waitDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(Timeout, 0));
}

bool TCustomFtpCli::SyncWait() {
    MoveWaitDeadline();
    // Wakes the wait at least this often even when no event arrives.
    QTimer tick;
    tick.start(20);
    for (;;) {
        if (state_ == TFtpState::ftpReady)
            return requestResult_ == 0;
        const bool late = Timeout > 0 && std::chrono::steady_clock::now() > waitDeadline_;
        if (QCoreApplication::closingDown() || late)
            break;
        MessagePump();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    Abort();
    errorMessage_ = "426 Timeout";
    statusCode_ = 426;
    return false;
}

bool TFtpClient::Synchronize(void (TCustomFtpCli::*start)()) {
    try {
        (this->*start)();
    } catch (const std::exception&) {
        return false;
    }
    return SyncWait();
}

bool TFtpClient::CwdSync() {
    return Synchronize(&TCustomFtpCli::CwdAsync);
}
bool TFtpClient::TypeSetSync() {
    return Synchronize(&TCustomFtpCli::TypeSetAsync);
}
bool TFtpClient::TypeBinarySync() {
    return Synchronize(&TCustomFtpCli::TypeBinaryAsync);
}
bool TFtpClient::TypeAsciiSync() {
    return Synchronize(&TCustomFtpCli::TypeAsciiAsync);
}
bool TFtpClient::AbortSync() {
    return Synchronize(&TCustomFtpCli::Abort);
}
