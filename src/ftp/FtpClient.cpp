#include "ftp/FtpClient.h"

#include "text/TextFields.h"

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
static_assert(kStateNames.size() == static_cast<std::size_t>(FtpState::ftpWaitingResponse) + 1);

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
static_assert(kRequestNames.size() == static_cast<std::size_t>(FtpRequest::RestartPutAsync) + 1);

// The fixed order in which a multi-step request takes its steps.
constexpr std::array<FtpStep, 32> kStepOrder{
    FtpStep::Open,      FtpStep::AuthTls,  FtpStep::User, FtpStep::Pass,        FtpStep::Pbsz,
    FtpStep::Prot,      FtpStep::Feat,     FtpStep::Utf8, FtpStep::MlstFacts,   FtpStep::Cwd,
    FtpStep::CDup,      FtpStep::TypeSet,  FtpStep::Port, FtpStep::Rest,        FtpStep::Get,
    FtpStep::CheckSize, FtpStep::FileTime, FtpStep::Put,  FtpStep::SetFileTime, FtpStep::Append,
    FtpStep::Dir,       FtpStep::Ls,       FtpStep::Syst, FtpStep::Mkd,         FtpStep::Rmd,
    FtpStep::RenFrom,   FtpStep::RenTo,    FtpStep::Size, FtpStep::Dele,        FtpStep::Pwd,
    FtpStep::Quote,     FtpStep::Quit,
};
// A set of steps is a 64-bit mask with bit n for step n.
static_assert(kStepOrder.size() < 64);

// Reported when the control connection closes before the reply arrived.
constexpr int kClosedByServer = 421;
constexpr int kProtocolError = 500;
constexpr int kAborted = 426;

constexpr bool IsPreliminary(int code) {
    return code >= 100 && code < 200;
}

} // namespace

const char* FtpStateName(FtpState state) {
    return kStateNames[static_cast<std::size_t>(state)];
}

const char* FtpRequestName(FtpRequest request) {
    return kRequestNames[static_cast<std::size_t>(request)];
}

FtpClient::FtpClient(QObject* parent)
    : QObject(parent), silence_(new QTimer(this)), control_(new TlsSocket(this)),
      data_(new TlsSocket(this)) {
    silence_->setSingleShot(true);
    connect(silence_, &QTimer::timeout, this, [this] { Contained([&] { SilenceTimedOut(); }); });
    control_->OnDnsLookupDone = [this](AsyncSocket*, std::uint16_t e) {
        Contained([&] { ControlDnsLookupDone(e); });
    };
    control_->OnSessionConnected = [this](AsyncSocket*, std::uint16_t e) {
        Contained([&] { ControlSessionConnected(e); });
    };
    control_->OnDataAvailable = [this](AsyncSocket*, std::uint16_t e) {
        Contained([&] { ControlDataAvailable(e); });
    };
    control_->OnSessionClosed = [this](AsyncSocket*, std::uint16_t e) {
        Contained([&] { ControlSessionClosed(e); });
    };
    control_->OnTlsHandshakeDone = [this](AsyncSocket*, std::uint16_t e) {
        Contained([&] { ControlTlsDone(e); });
    };
    data_->OnTlsHandshakeDone = DataEvent(&FtpClient::DataTlsDone);
}

FtpClient::~FtpClient() {
    // The sockets are children; their handlers must not reach a half-destroyed engine.
    control_->OnSessionClosed = nullptr;
    data_->OnSessionClosed = nullptr;
    control_->OnTlsHandshakeDone = nullptr;
    data_->OnTlsHandshakeDone = nullptr;
    CloseLocalFile();
}

// --- state and reporting -------------------------------------------------------

void FtpClient::SetState(FtpState state) {
    if (state_ == state)
        return;
    state_ = state;
    if (OnStateChange)
        OnStateChange(this);
}

void FtpClient::CheckReady() const {
    if (state_ != FtpState::ftpReady && state_ != FtpState::ftpInternalReady)
        throw FtpException("Please wait! The program waits response from FTP host");
}

// A CR or LF would end the command early and send the rest as a command of
// its own ("CWD a\r\nDELE victim.txt"); a NUL cuts it on many servers.
void FtpClient::CheckArguments(std::uint64_t steps) const {
    const auto check = [](const std::string& value, const char* name) {
        if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            throw FtpException(std::string(name) + " holds a CR, LF or NUL character");
    };
    const auto uses = [steps](std::initializer_list<FtpStep> list) {
        return std::any_of(list.begin(), list.end(),
                           [steps](FtpStep s) { return steps & StepBit(s); });
    };
    if (uses({FtpStep::User})) {
        check(UserName, "UserName");
        check(HostName, "HostName"); // both travel in USER through an FTP proxy
        check(Port, "Port");
    }
    if (uses({FtpStep::Pass}))
        check(PassWord, "PassWord");
    if (uses({FtpStep::Cwd}))
        check(HostDirName, "HostDirName");
    if (uses({FtpStep::RenTo, FtpStep::Quote}))
        check(LocalFileName, "LocalFileName");
    if (uses({FtpStep::Size, FtpStep::Mkd, FtpStep::Rmd, FtpStep::RenFrom, FtpStep::Dele,
              FtpStep::Get, FtpStep::Dir, FtpStep::Ls, FtpStep::Put, FtpStep::Append}))
        check(HostFileName, "HostFileName");
}

void FtpClient::Display(std::string msg) {
    if (OnDisplay)
        OnDisplay(this, msg);
}

// A request of its own, not a step of a sequence, starts without the error of
// an earlier one: ErrorMessage always tells about the request just completed.
void FtpClient::BeginRequest(FtpRequest request) {
    if (request_.multiStep)
        return;
    request_.type = request;
    request_.errorMessage.clear();
}

void FtpClient::SetErrorMessage(const std::string& text) {
    if (request_.errorMessage.empty())
        request_.errorMessage = text;
}

void FtpClient::FailWithSocketError(int error) {
    request_.lastResponse = "500 " + std::string(wsock::Description(error)) + " (Winsock error #" +
                            std::to_string(error) + ")";
    request_.statusCode = 500;
    request_.result = 500;
    SetErrorMessage(request_.lastResponse);
}

void FtpClient::SetPassive(bool value) {
    passive_ = connectionType_ == FtpConnectionType::ftpDirect ? value : true;
}

void FtpClient::SetConnectionType(int value) {
    if (connected_)
        throw FtpException("FTP component connected");
    const bool known = value >= static_cast<int>(FtpConnectionType::ftpDirect) &&
                       value <= static_cast<int>(FtpConnectionType::ftpSocks5);
    connectionType_ = known ? static_cast<FtpConnectionType>(value) : FtpConnectionType::ftpDirect;
    // A data connection through a proxy can only be opened from this side.
    if (connectionType_ != FtpConnectionType::ftpDirect)
        passive_ = true;
    ApplySocksToIdleSockets();
}

const char* FtpClient::SocksLevel() const {
    switch (connectionType_) {
    case FtpConnectionType::ftpSocks4:
        return "4";
    case FtpConnectionType::ftpSocks4A:
        return "4A";
    case FtpConnectionType::ftpSocks5:
        return "5";
    case FtpConnectionType::ftpDirect:
    case FtpConnectionType::ftpProxy:
        return nullptr;
    }
    return nullptr;
}

// The sockets forget their proxy settings at every close; the engine's hold
// until they are written again, so each connection gets them anew.
void FtpClient::ApplySocks(SocksSocket& socket) {
    const char* level = SocksLevel();
    socket.SetSocksServer(level != nullptr ? socksServer_ : std::string());
    socket.SetSocksPort(socksPort_);
    socket.SetSocksLevel(level != nullptr ? level : "5");
    socket.SocksUsercode = socksUserCode_;
    socket.SocksPassword = socksPassword_;
    socket.SocksAuthentication = level != nullptr ? SocksAuthentication::socksAuthenticateUsercode
                                                  : SocksAuthentication::socksNoAuthentication;
}

void FtpClient::ApplySocksToIdleSockets() {
    for (SocksSocket* socket : {control_, data_})
        if (socket->State() == SocketState::wsClosed)
            ApplySocks(*socket);
}

void FtpClient::MessagePump() {
    if (MultiThreaded)
        control_->MessagePump();
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// --- completion ----------------------------------------------------------------

void FtpClient::TriggerRequestDone(std::uint16_t error) {
    if (request_.done)
        return;
    request_.done = true;
    if (error == 0 && request_.nextSeq != nullptr) {
        if (state_ != FtpState::ftpAbort)
            SetState(FtpState::ftpInternalReady);
        try {
            (this->*request_.nextSeq)();
        } catch (const std::exception& e) {
            // The next step could not start: the request is still unreported.
            request_.done = false;
            FailInside(e.what());
        }
        return;
    }
    silence_->stop();
    SetState(FtpState::ftpReady);
    if (data_->State() != SocketState::wsClosed)
        data_->Close();
    CloseLocalFile();
    if (request_.multiStep && request_.savedStatus >= 0) {
        request_.lastResponse = request_.savedResponse;
        request_.statusCode = request_.savedStatus;
    }
    request_.multiStep = false;
    request_.nextSeq = nullptr;
    // Posted, so a caller never sees OnRequestDone inside the call that started it.
    // The kind is the one that completed: a synchronous wrapper returns before
    // this is handled, and its caller may have started the next request.
    QMetaObject::invokeMethod(
        this, [this, error, request = request_.type] { HandleRequestDone(request, error); },
        Qt::QueuedConnection);
}

void FtpClient::HandleRequestDone(FtpRequest request, std::uint16_t error) {
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

void FtpClient::ExecAsync(FtpRequest request, FtpStep step, std::string command,
                          std::initializer_list<int> accepted, StepHandler doneHook) {
    CheckArguments(StepBit(step));
    // These three may interrupt whatever runs.
    if (command != "ABOR" && command != "STAT" && command != "QUIT") {
        CheckReady();
        if (!connected_)
            throw FtpException("FTP component not connected");
    }
    BeginRequest(request);
    request_.currentStep = step;
    const std::size_t n = std::min(accepted.size(), ftpreply::kMaxAcceptedCodes);
    std::copy_n(accepted.begin(), n, accepted_.begin());
    accepted_[n] = 0;
    request_.done = false;
    AwaitReply(&FtpClient::EvaluateReply, doneHook);
    SendCommand(std::move(command));
    // Nothing will ever answer a command that could not be sent.
    if (control_->State() != SocketState::wsConnected)
        TriggerRequestDone(static_cast<std::uint16_t>(request_.result));
}

// The next final reply line goes to `handler`; `doneHook`, when set, replaces
// the completion after it.
void FtpClient::AwaitReply(StepHandler handler, StepHandler doneHook) {
    request_.next = handler;
    request_.doneHook = doneHook;
    request_.awaitingReply = true;
    MoveSilenceDeadline();
    SetState(FtpState::ftpWaitingResponse);
}

void FtpClient::SendCommand(std::string command) {
    if (OnCommand)
        OnCommand(this, command);
    Display("> " + command);
    if (control_->State() == SocketState::wsConnected)
        control_->SendStr(command + "\r\n");
}

void FtpClient::EvaluateReply() {
    Display("< " + request_.lastResponse);
    if (IsPreliminary(request_.statusCode)) {
        request_.awaitingReply = true; // the final reply is still to come
        return;
    }
    request_.result = ftpreply::Judge(request_.statusCode, accepted_);
    if (request_.result != 0)
        SetErrorMessage(request_.lastResponse);
    if (passive_ && (request_.statusCode == 227 || request_.statusCode == 229))
        pasvResponse_ = request_.lastResponse;
    ExtractResults();
    if (request_.doneHook != nullptr)
        (this->*request_.doneHook)();
    else
        TriggerRequestDone(static_cast<std::uint16_t>(request_.result));
}

void FtpClient::ExtractResults() {
    if (request_.result != 0)
        return;
    std::size_t pos = 0;
    switch (request_.currentStep) {
    case FtpStep::Size:
        ftpreply::ReadNumber(request_.lastResponse, pos);
        SizeResult = ftpreply::ReadNumber(request_.lastResponse, pos);
        break;
    case FtpStep::Cwd:
    case FtpStep::Mkd:
    case FtpStep::Pwd:
    case FtpStep::CDup:
        ftpreply::ReadNumber(request_.lastResponse, pos);
        DirResult = ftpreply::ReadQuotedName(request_.lastResponse, pos);
        break;
    case FtpStep::None:
    case FtpStep::Open:
    case FtpStep::User:
    case FtpStep::Pass:
    case FtpStep::Rmd:
    case FtpStep::RenFrom:
    case FtpStep::RenTo:
    case FtpStep::Get:
    case FtpStep::Dir:
    case FtpStep::Quit:
    case FtpStep::Syst:
    case FtpStep::Dele:
    case FtpStep::Quote:
    case FtpStep::Put:
    case FtpStep::TypeSet:
    case FtpStep::Rest:
    case FtpStep::Ls:
    case FtpStep::Append:
    case FtpStep::Port:
    case FtpStep::AuthTls:
    case FtpStep::Pbsz:
    case FtpStep::Prot:
    case FtpStep::Feat:
    case FtpStep::Utf8:
    case FtpStep::MlstFacts:
    case FtpStep::CheckSize:
    case FtpStep::FileTime:
    case FtpStep::SetFileTime:
        break;
    }
}

// --- single-command requests ---------------------------------------------------------

void FtpClient::UserAsync() {
    if (UserName.empty())
        throw FtpException("UserName emtpy");
    std::string command = "USER " + UserName;
    // Through an FTP proxy the user name carries the real server.
    if (connectionType_ == FtpConnectionType::ftpProxy) {
        command += "@" + HostName;
        if (!text::EqualsNoCase(Port, "ftp") && !text::EqualsNoCase(Port, "21"))
            command += ":" + Port;
    }
    ExecAsync(FtpRequest::UserAsync, FtpStep::User, command, {331, 230});
}

void FtpClient::PassAsync() {
    if (PassWord.empty())
        throw FtpException("Password emtpy");
    ExecAsync(FtpRequest::PassAsync, FtpStep::Pass, "PASS " + PassWord, {230});
}

void FtpClient::CwdAsync() {
    if (HostDirName.empty())
        throw FtpException("HostDirName emtpy");
    ExecAsync(FtpRequest::CwdAsync, FtpStep::Cwd, "CWD " + HostDirName, {200, 250, 257});
}

void FtpClient::SizeAsync() {
    ExecAsync(FtpRequest::SizeAsync, FtpStep::Size, "SIZE " + HostFileName, {213});
    SizeResult = 0; // after a refusal it keeps its value
}

void FtpClient::MkdAsync() {
    ExecAsync(FtpRequest::MkdAsync, FtpStep::Mkd, "MKD " + HostFileName, {257});
}

void FtpClient::RmdAsync() {
    ExecAsync(FtpRequest::RmdAsync, FtpStep::Rmd, "RMD " + HostFileName, {250, 257});
}

void FtpClient::RenFromAsync() {
    ExecAsync(FtpRequest::RenFromAsync, FtpStep::RenFrom, "RNFR " + HostFileName, {350});
}

void FtpClient::RenToAsync() {
    ExecAsync(FtpRequest::RenToAsync, FtpStep::RenTo, "RNTO " + LocalFileName, {200, 250, 257});
}

void FtpClient::QuitAsync() {
    ExecAsync(FtpRequest::QuitAsync, FtpStep::Quit, "QUIT", {221}, &FtpClient::QuitDone);
}

// Whatever the reply, the session ends; the close completes the request.
void FtpClient::QuitDone() {
    if (control_->State() != SocketState::wsClosed)
        control_->Close();
    else
        TriggerRequestDone(static_cast<std::uint16_t>(request_.result));
}

// The answer decides what the session uses; a server that does not know FEAT
// offers nothing, and the login goes on as it always did.
void FtpClient::FeatAsync() {
    ExecAsync(FtpRequest::ConnectAsync, FtpStep::Feat, "FEAT", {211});
    request_.next = &FtpClient::FeatReply;
}

void FtpClient::FeatReply() {
    if (IsPreliminary(request_.statusCode)) {
        Display("< " + request_.lastResponse);
        request_.awaitingReply = true;
        return;
    }
    answeredFeat_ = request_.statusCode == 211;
    features_ =
        answeredFeat_ ? ftpfeatures::ParseFeatures(wholeReply_) : ftpfeatures::ServerFeatures{};
    if (answeredFeat_) {
        std::string_view rest = wholeReply_;
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find('\n'), rest.size());
            Display("< " + std::string(rest.substr(0, end)));
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    } else {
        Display("< " + request_.lastResponse);
        Display("! No server features: the session uses the classic commands");
    }
    request_.result = 0;
    TriggerRequestDone(0);
}

// OPTS that the server may refuse: the session goes on without the option.
void FtpClient::OptionalStepDone() {
    GoOnDespiteRefusal(request_.result != 0 ? "! Option refused; going on without it" : "");
}

void FtpClient::GoOnDespiteRefusal(const std::string& note) {
    if (!note.empty())
        Display(note);
    request_.result = 0;
    request_.errorMessage.clear();
    TriggerRequestDone(0);
}

void FtpClient::SystAsync() {
    ExecAsync(FtpRequest::SystAsync, FtpStep::Syst, "SYST", {215});
}

void FtpClient::DeleAsync() {
    ExecAsync(FtpRequest::DeleAsync, FtpStep::Dele, "DELE " + HostFileName, {250, 257});
}

void FtpClient::PwdAsync() {
    ExecAsync(FtpRequest::PwdAsync, FtpStep::Pwd, "PWD", {250, 257});
}

void FtpClient::QuoteAsync() {
    ExecAsync(FtpRequest::QuoteAsync, FtpStep::Quote, LocalFileName, {0});
}

void FtpClient::AuthTlsAsync() {
    ExecAsync(FtpRequest::OpenAsync, FtpStep::AuthTls, "AUTH TLS", {234},
              &FtpClient::AuthTlsReplied);
}

void FtpClient::PbszAsync() {
    ExecAsync(FtpRequest::OpenAsync, FtpStep::Pbsz, "PBSZ 0", {200}, &FtpClient::ProtectionReplied);
}

void FtpClient::ProtAsync() {
    ExecAsync(FtpRequest::OpenAsync, FtpStep::Prot, "PROT P", {200}, &FtpClient::ProtectionReplied);
}

void FtpClient::TypeSetAsync() {
    ExecAsync(FtpRequest::TypeSetAsync, FtpStep::TypeSet, Binary ? "TYPE I" : "TYPE A", {200});
}

void FtpClient::TypeBinaryAsync() {
    Binary = true;
    TypeSetAsync();
}

void FtpClient::TypeAsciiAsync() {
    Binary = false;
    TypeSetAsync();
}

void FtpClient::CDupAsync() {
    ExecAsync(FtpRequest::CDupAsync, FtpStep::CDup, "CDUP", {250});
}

void FtpClient::RestAsync() {
    CheckReady();
    if (!connected_)
        throw FtpException("FTP component not connected");
    request_.currentStep = FtpStep::Rest;
    if (request_.type != FtpRequest::RestPutAsync && request_.type != FtpRequest::RestartPutAsync &&
        !Options.ftpNoAutoResumeAt) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(LocalFileName, ec);
        ResumeAt = ec ? -1 : static_cast<std::int64_t>(size);
    }
    if (ResumeAt <= 0) {
        // Nothing to resume: the step succeeds without a command.
        BeginRequest(FtpRequest::RestAsync);
        request_.next = &FtpClient::EvaluateReply;
        request_.doneHook = nullptr;
        request_.done = false;
        TriggerRequestDone(0);
        return;
    }
    ExecAsync(FtpRequest::RestAsync, FtpStep::Rest, "REST " + std::to_string(ResumeAt), {0});
}

// --- multi-step requests -----------------------------------------------------------

void FtpClient::StartMultiStep(FtpRequest request, std::initializer_list<FtpStep> steps) {
    std::uint64_t set = 0;
    for (const FtpStep s : steps)
        set |= StepBit(s);
    // Every login of a TLS site secures the control and the data connections.
    if (set & StepBit(FtpStep::Open)) {
        if (Security == FtpSecurity::IfOffered || Security == FtpSecurity::Explicit)
            set |= StepBit(FtpStep::AuthTls);
        if (Security != FtpSecurity::Off)
            set |= StepBit(FtpStep::Pbsz) | StepBit(FtpStep::Prot);
    }
    if (connected_ && (set & StepBit(FtpStep::Open)))
        throw FtpException("FTP component already connected");
    CheckReady();
    if (!connected_ && !(set & StepBit(FtpStep::Open)))
        throw FtpException("FTP component not connected");
    CheckArguments(set);
    // Refused now rather than after the commands before the transfer went out.
    constexpr std::uint64_t kTransfers = StepBit(FtpStep::Get) | StepBit(FtpStep::Dir) |
                                         StepBit(FtpStep::Ls) | StepBit(FtpStep::Put) |
                                         StepBit(FtpStep::Append);
    if ((set & kTransfers) && LocalFileName.empty())
        throw FtpException("LocalFileName empty");
    const RequestSnapshot before = TakeSnapshot();
    request_.savedResponse = request_.lastResponse;
    request_.savedStatus = -1;
    request_.type = request;
    request_.result = 0;
    request_.steps = set;
    request_.currentStep = FtpStep::None;
    request_.seqError = 0;
    request_.multiStep = true;
    request_.lastResponse.clear();
    request_.errorMessage.clear();
    try {
        NextStep();
    } catch (...) {
        // The first step refused: nothing was sent, so nothing may stay armed.
        Restore(before);
        throw;
    }
}

FtpClient::RequestSnapshot FtpClient::TakeSnapshot() const {
    return {state_, request_, ByteCount, ResumeAt, SizeResult};
}

void FtpClient::Restore(const RequestSnapshot& snapshot) {
    request_ = snapshot.request;
    ByteCount = snapshot.byteCount;
    ResumeAt = snapshot.resumeAt;
    SizeResult = snapshot.sizeResult;
    SetState(snapshot.state);
}

void FtpClient::NextStep() {
    if (state_ == FtpState::ftpAbort) {
        request_.steps = 0;
        request_.seqError = 426;
        request_.errorMessage = "426 Operation aborted.";
    }
    request_.nextSeq = &FtpClient::NextStep;
    ExtractResults();
    for (const FtpStep step : kStepOrder) {
        if ((request_.steps & StepBit(step)) == 0)
            continue;
        request_.steps &= ~StepBit(step);
        // A server that accepts the user with 230 gets no PASS.
        if (step == FtpStep::Pass && request_.currentStep == FtpStep::User &&
            request_.statusCode != 331)
            continue;
        if (step == FtpStep::Cwd && HostDirName.empty())
            continue;
        // A server without TLS ("if available") gets no data protection commands.
        if ((step == FtpStep::Pbsz || step == FtpStep::Prot) && control_->Tls() == nullptr)
            continue;
        if (step == FtpStep::Utf8 && !features_.utf8)
            continue;
        if (step == FtpStep::MlstFacts && ftpfeatures::ListingFactsCommand(features_).empty())
            continue;
        // Line ends change a text file's size on the way.
        if (step == FtpStep::CheckSize && (!Binary || (!features_.size && ListedSize <= 0))) {
            ListedSize = -1;
            continue;
        }
        if (step == FtpStep::FileTime && !(KeepFileTimes && features_.modificationTime))
            continue;
        if (step == FtpStep::SetFileTime && !(KeepFileTimes && features_.setModificationTime))
            continue;
        // What follows a transfer only checks it: the request reports the transfer.
        const bool check =
            step == FtpStep::CheckSize || step == FtpStep::FileTime || step == FtpStep::SetFileTime;
        if (check && request_.savedStatus < 0) {
            request_.savedResponse = request_.lastResponse;
            request_.savedStatus = request_.statusCode;
        }
        // A download resumes only where the server accepted the position; a
        // listing never does, whatever a refused REST before it left behind.
        if ((step == FtpStep::Get && !(request_.currentStep == FtpStep::Rest && ResumeAt >= 0 &&
                                       request_.statusCode == 350)) ||
            step == FtpStep::Dir || step == FtpStep::Ls)
            ResumeAt = 0;
        if (step == FtpStep::Quit) {
            // The request reports the last real command, not the QUIT reply.
            request_.savedResponse = request_.lastResponse;
            request_.savedStatus = request_.statusCode;
        }
        request_.currentStep = step;
        RunStep(step);
        return;
    }
    request_.nextSeq = nullptr;
    request_.done = false;
    TriggerRequestDone(request_.seqError);
}

void FtpClient::RunStep(FtpStep step) {
    switch (step) {
    case FtpStep::Open:
        return OpenAsync();
    case FtpStep::User:
        return UserAsync();
    case FtpStep::Pass:
        return PassAsync();
    case FtpStep::Cwd:
        return CwdAsync();
    case FtpStep::CDup:
        return CDupAsync();
    case FtpStep::TypeSet:
        return TypeSetAsync();
    case FtpStep::Rest:
        return RestAsync();
    case FtpStep::Syst:
        return SystAsync();
    case FtpStep::Mkd:
        return MkdAsync();
    case FtpStep::Rmd:
        return RmdAsync();
    case FtpStep::RenFrom:
        return RenFromAsync();
    case FtpStep::RenTo:
        return RenToAsync();
    case FtpStep::Size:
        return SizeAsync();
    case FtpStep::Dele:
        return DeleAsync();
    case FtpStep::Pwd:
        return PwdAsync();
    case FtpStep::Quote:
        return QuoteAsync();
    case FtpStep::Quit:
        return QuitAsync();
    case FtpStep::Port:
        return PortAsync();
    case FtpStep::Feat:
        return FeatAsync();
    case FtpStep::CheckSize:
        return CheckSizeAsync();
    case FtpStep::FileTime:
        return ExecAsync(FtpRequest::GetAsync, FtpStep::FileTime, "MDTM " + HostFileName, {213},
                         &FtpClient::FileTimeDone);
    case FtpStep::SetFileTime:
        return SetFileTimeAsync();
    case FtpStep::Utf8:
        return ExecAsync(FtpRequest::ConnectAsync, FtpStep::Utf8, "OPTS UTF8 ON", {0},
                         &FtpClient::OptionalStepDone);
    case FtpStep::MlstFacts:
        return ExecAsync(FtpRequest::ConnectAsync, FtpStep::MlstFacts,
                         ftpfeatures::ListingFactsCommand(features_), {0},
                         &FtpClient::OptionalStepDone);
    case FtpStep::Get:
        return DoGetAsync(FtpRequest::GetAsync, FtpStep::Get, "RETR");
    case FtpStep::Dir:
        return DoGetAsync(FtpRequest::DirAsync, FtpStep::Dir, MachineListings ? "MLSD" : "LIST");
    case FtpStep::Ls:
        return DoGetAsync(FtpRequest::LsAsync, FtpStep::Ls, "NLST");
    case FtpStep::Put:
        return DoPutAsync(false);
    case FtpStep::Append:
        return DoPutAsync(true);
    case FtpStep::AuthTls:
        return AuthTlsAsync();
    case FtpStep::Pbsz:
        return PbszAsync();
    case FtpStep::Prot:
        return ProtAsync();
    case FtpStep::None:
        return;
    }
}

void FtpClient::ConnectAsync() {
    StartMultiStep(FtpRequest::ConnectAsync, {FtpStep::Open, FtpStep::User, FtpStep::Pass,
                                              FtpStep::Feat, FtpStep::Utf8, FtpStep::MlstFacts});
}

void FtpClient::ReceiveAsync() {
    StartMultiStep(FtpRequest::ReceiveAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Cwd, FtpStep::TypeSet,
                    FtpStep::Port, FtpStep::Get, FtpStep::Quit});
}

void FtpClient::RestartGetAsync() {
    StartMultiStep(FtpRequest::RestartGetAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Cwd, FtpStep::TypeSet,
                    FtpStep::Port, FtpStep::Rest, FtpStep::Get, FtpStep::Quit});
}

void FtpClient::GetAsync() {
    StartMultiStep(FtpRequest::GetAsync,
                   {FtpStep::Port, FtpStep::Get, FtpStep::CheckSize, FtpStep::FileTime});
}

void FtpClient::RestGetAsync() {
    StartMultiStep(FtpRequest::RestGetAsync, {FtpStep::Port, FtpStep::Rest, FtpStep::Get,
                                              FtpStep::CheckSize, FtpStep::FileTime});
}

void FtpClient::TransmitAsync() {
    StartMultiStep(FtpRequest::TransmitAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Cwd, FtpStep::TypeSet,
                    FtpStep::Port, FtpStep::Put, FtpStep::Quit});
}

void FtpClient::RestartPutAsync() {
    StartMultiStep(FtpRequest::RestartPutAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Cwd, FtpStep::TypeSet,
                    FtpStep::Port, FtpStep::Rest, FtpStep::Put, FtpStep::Quit});
}

void FtpClient::PutAsync() {
    StartMultiStep(FtpRequest::PutAsync, {FtpStep::Port, FtpStep::Put, FtpStep::SetFileTime});
}

void FtpClient::RestPutAsync() {
    StartMultiStep(FtpRequest::RestPutAsync,
                   {FtpStep::Port, FtpStep::Rest, FtpStep::Put, FtpStep::SetFileTime});
}

void FtpClient::AppendFileAsync() {
    StartMultiStep(FtpRequest::TransmitAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Cwd, FtpStep::TypeSet,
                    FtpStep::Port, FtpStep::Append, FtpStep::Quit});
}

void FtpClient::AppendAsync() {
    StartMultiStep(FtpRequest::AppendAsync, {FtpStep::Port, FtpStep::Append});
}

void FtpClient::DirectoryAsync() {
    StartMultiStep(FtpRequest::DirectoryAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Cwd, FtpStep::Port,
                    FtpStep::Dir, FtpStep::Quit});
}

void FtpClient::DirAsync() {
    StartMultiStep(FtpRequest::DirAsync, {FtpStep::Port, FtpStep::Dir});
}

void FtpClient::ListAsync() {
    StartMultiStep(FtpRequest::ListAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Cwd, FtpStep::Port,
                    FtpStep::Ls, FtpStep::Quit});
}

void FtpClient::LsAsync() {
    StartMultiStep(FtpRequest::LsAsync, {FtpStep::Port, FtpStep::Ls});
}

void FtpClient::SystemAsync() {
    StartMultiStep(FtpRequest::SystemAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Syst, FtpStep::Quit});
}

void FtpClient::FileSizeAsync() {
    StartMultiStep(FtpRequest::SizeAsync, {FtpStep::Open, FtpStep::User, FtpStep::Pass,
                                           FtpStep::Cwd, FtpStep::Size, FtpStep::Quit});
}

void FtpClient::MkdirAsync() {
    StartMultiStep(FtpRequest::MkdirAsync, {FtpStep::Open, FtpStep::User, FtpStep::Pass,
                                            FtpStep::Cwd, FtpStep::Mkd, FtpStep::Quit});
}

void FtpClient::RmdirAsync() {
    StartMultiStep(FtpRequest::RmdirAsync, {FtpStep::Open, FtpStep::User, FtpStep::Pass,
                                            FtpStep::Cwd, FtpStep::Rmd, FtpStep::Quit});
}

void FtpClient::DeleteAsync() {
    StartMultiStep(FtpRequest::DeleteAsync, {FtpStep::Open, FtpStep::User, FtpStep::Pass,
                                             FtpStep::Cwd, FtpStep::Dele, FtpStep::Quit});
}

void FtpClient::DoQuoteAsync() {
    StartMultiStep(FtpRequest::DoQuoteAsync, {FtpStep::Open, FtpStep::User, FtpStep::Pass,
                                              FtpStep::Cwd, FtpStep::Quote, FtpStep::Quit});
}

void FtpClient::RenameAsync() {
    StartMultiStep(FtpRequest::RenameAsync,
                   {FtpStep::Open, FtpStep::User, FtpStep::Pass, FtpStep::Cwd, FtpStep::RenFrom,
                    FtpStep::RenTo, FtpStep::Quit});
}

void FtpClient::RenAsync() {
    StartMultiStep(FtpRequest::RenAsync, {FtpStep::RenFrom, FtpStep::RenTo});
}

// --- the control connection ------------------------------------------------------------

void FtpClient::OpenAsync() {
    CheckReady();
    if (connected_)
        throw FtpException("FTP component already connected");
    const RequestSnapshot before = TakeSnapshot();
    BeginRequest(FtpRequest::OpenAsync);
    request_.currentStep = FtpStep::Open;
    request_.done = false;
    reply_.Clear();
    assembler_.Reset();
    wholeReply_.clear();
    wholeReplyEnded_ = false;
    features_ = {};
    answeredFeat_ = false;
    epsvRefused_ = false;
    request_.result = 0;
    request_.awaitingReply = true;
    protectedData_ = false;
    certificatePending_ = false;
    controlFingerprint_.clear();
    data_->ForgetLastSession();
    SetState(FtpState::ftpDnsLookup);
    try {
        control_->DnsLookup(connectionType_ == FtpConnectionType::ftpProxy ? ProxyServer
                                                                           : HostName);
    } catch (...) {
        // A refusal leaves the engine as it was, so the next request is accepted.
        Restore(before);
        throw;
    }
}

void FtpClient::ControlDnsLookupDone(std::uint16_t error) {
    if (error != 0) {
        FailWithSocketError(error);
        TriggerRequestDone(error);
        return;
    }
    addressIndex_ = 0;
    ConnectControl();
}

// To the look-up's address at addressIndex_.
void FtpClient::ConnectControl() {
    const bool viaProxy = connectionType_ == FtpConnectionType::ftpProxy;
    try {
        const std::vector<std::string>& addresses = control_->DnsResultList();
        control_->SetAddr(addressIndex_ < addresses.size() ? addresses[addressIndex_]
                                                           : control_->DnsResult());
        control_->SetProto("tcp");
        // Implicit TLS has a port of its own; a site that names none gets it.
        const bool defaultPort = Port.empty() || text::EqualsNoCase(Port, "ftp") || Port == "21";
        const std::string port =
            Security == FtpSecurity::Implicit && defaultPort ? std::string("990") : Port;
        control_->SetPort(viaProxy ? proxyPort_ : port);
        ApplySocks(*control_);
        SetState(FtpState::ftpWaitingBanner);
        MoveSilenceDeadline();
        control_->Connect();
    } catch (const std::exception& e) {
        // A port or address the socket cannot use ends the request instead
        // of leaving it waiting for a connection that never starts.
        request_.lastResponse = std::string("500 SocketException: ") + e.what();
        request_.statusCode = 500;
        request_.result = 500;
        SetErrorMessage(request_.lastResponse);
        request_.nextSeq = nullptr;
        TriggerRequestDone(500);
        if (control_->State() != SocketState::wsClosed)
            control_->Abort();
    }
}

void FtpClient::ControlSessionConnected(std::uint16_t error) {
    // A name with more than one address: each is tried in turn.
    if (error != 0 && addressIndex_ + 1 < control_->DnsResultList().size() &&
        state_ != FtpState::ftpAbort) {
        Display("! " + control_->DnsResultList()[addressIndex_] + ": " + wsock::Description(error) +
                "; trying the next address");
        ++addressIndex_;
        switchingAddress_ = true;
        control_->Close();
        switchingAddress_ = false;
        ConnectControl();
        return;
    }
    if (error != 0) {
        FailWithSocketError(error);
        request_.nextSeq = nullptr;
        TriggerRequestDone(error);
        control_->Close();
        SetState(FtpState::ftpReady);
        return;
    }
    connected_ = true;
    if (Security == FtpSecurity::Implicit)
        control_->StartTls(TlsContext(), HostName);
}

void FtpClient::ControlDataAvailable(std::uint16_t error) {
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
    if (!request_.done)
        MoveSilenceDeadline();

    while (reply_.Held() > 0) {
        std::optional<std::string> line = reply_.TakeLine(Options.ftpAcceptLF);
        if (!line) {
            // A full buffer can never end a line; waiting for more would hang.
            if (reply_.Room() == 0)
                control_->Close();
            return;
        }
        request_.lastResponse = std::move(*line);
        if (OnResponse)
            OnResponse(this);
        const ftpreply::ReplyAssembler::Verdict verdict = assembler_.Feed(request_.lastResponse);
        using Kind = ftpreply::ReplyAssembler::Kind;
        if (verdict.kind == Kind::ProtocolError || verdict.kind == Kind::TooLong) {
            Display("< " + request_.lastResponse);
            FailProtocol(verdict.kind == Kind::TooLong
                             ? "a reply of more than " +
                                   std::to_string(ftpreply::ReplyAssembler::kMaxLines) + " lines"
                             : "no valid reply code in \"" + request_.lastResponse.substr(0, 80) +
                                   "\"");
            return;
        }
        const bool final = verdict.kind == Kind::Final;
        switch (state_) {
        case FtpState::ftpWaitingBanner:
            Display("< " + request_.lastResponse);
            if (!final)
                continue;
            request_.statusCode = verdict.code;
            request_.awaitingReply = false;
            if (verdict.code != 220) {
                SetErrorMessage(request_.lastResponse);
                request_.result = verdict.code;
                control_->Close(); // completes the request
                return;
            }
            SetState(FtpState::ftpConnected);
            if (OnSessionConnected)
                OnSessionConnected(this, error);
            TriggerRequestDone(0);
            break;
        case FtpState::ftpWaitingResponse:
            if (std::exchange(wholeReplyEnded_, false))
                wholeReply_.clear();
            wholeReply_ += request_.lastResponse;
            wholeReply_ += '\n';
            if (!final)
                continue;
            request_.statusCode = verdict.code;
            if (request_.next == nullptr)
                throw FtpException("Program error: FNext is nil");
            request_.awaitingReply = false;
            wholeReplyEnded_ = true;
            (this->*request_.next)();
            break;
        case FtpState::ftpNotConnected:
        case FtpState::ftpReady:
        case FtpState::ftpInternalReady:
        case FtpState::ftpDnsLookup:
        case FtpState::ftpConnected:
        case FtpState::ftpAbort:
            Display("< " + request_.lastResponse);
            break;
        }
        if (control_->State() != SocketState::wsConnected)
            return;
    }
}

// Bytes that are no FTP reply: the session cannot be kept in step, so the
// request fails and the connection closes.
void FtpClient::FailProtocol(const std::string& what) {
    request_.lastResponse = "500 Protocol error: " + what;
    request_.statusCode = kProtocolError;
    request_.result = kProtocolError;
    SetErrorMessage(request_.lastResponse);
    Display("! " + request_.lastResponse);
    control_->Close(); // completes the request
}

void FtpClient::FailInside(const std::string& what) {
    try {
        Display("! " + what);
        if (request_.done)
            return; // nothing in progress to fail
        request_.lastResponse = "500 " + what;
        request_.statusCode = kProtocolError;
        request_.result = kProtocolError;
        SetErrorMessage(request_.lastResponse);
        request_.nextSeq = nullptr;
        // With a command still unanswered the next reply would be paired with
        // the wrong command; the close completes the request instead.
        if (request_.awaitingReply && control_->State() != SocketState::wsClosed) {
            control_->Close();
            if (request_.done)
                return;
        }
        TriggerRequestDone(kProtocolError);
    } catch (...) {
        request_.nextSeq = nullptr;
        TriggerRequestDone(kProtocolError);
    }
}

void FtpClient::ControlSessionClosed(std::uint16_t error) {
    if (switchingAddress_)
        return;
    // A server that hangs up before answering has not granted the request.
    if (request_.awaitingReply && request_.result == 0 && state_ != FtpState::ftpAbort &&
        (state_ == FtpState::ftpWaitingResponse || state_ == FtpState::ftpWaitingBanner)) {
        request_.result = kClosedByServer;
        SetErrorMessage("421 Connection closed by server");
    }
    request_.awaitingReply = false;
    protectedData_ = false;
    certificatePending_ = false;
    if (connected_) {
        connected_ = false;
        if (state_ != FtpState::ftpAbort)
            SetState(FtpState::ftpNotConnected);
        if (OnSessionClosed)
            OnSessionClosed(this, error);
    }
    if (state_ != FtpState::ftpAbort)
        SetState(FtpState::ftpInternalReady);
    if (request_.done) {
        // Nobody waits for a completion that would make the engine ready.
        if (state_ != FtpState::ftpAbort)
            SetState(FtpState::ftpReady);
        return;
    }
    TriggerRequestDone(static_cast<std::uint16_t>(request_.result));
}

void FtpClient::Abort() {
    const bool lookingUp = state_ == FtpState::ftpDnsLookup;
    // Whatever was in progress did not happen: it completes as a failure, not
    // with the 0 it held so far.
    if (!request_.done && !lookingUp && request_.result == 0) {
        request_.result = kAborted;
        SetErrorMessage("426 Operation aborted.");
    }
    SetState(FtpState::ftpAbort);
    CloseLocalFile();
    if (lookingUp)
        control_->CancelDnsLookup(); // completes the open request with 10004
    if (control_->State() != SocketState::wsClosed)
        control_->Close();
    if (data_->State() != SocketState::wsClosed)
        data_->Close();
    CloseLocalFile();
    connected_ = false;
    SetState(FtpState::ftpReady);
    silence_->stop();
    if (!request_.done) {
        request_.nextSeq = nullptr;
        TriggerRequestDone(static_cast<std::uint16_t>(request_.result));
    }
}

// --- waiting -------------------------------------------------------------------------

// Called for every block of a transfer: restarting the timer each time would
// cost a trip into the event dispatcher tens of thousands of times a second, so
// a running timer stays and looks at the last sign of life when it fires.
void FtpClient::MoveSilenceDeadline() {
    if (RequestTimeout <= 0)
        return;
    lastSignOfLife_ = std::chrono::steady_clock::now();
    if (!silence_->isActive())
        silence_->start(std::chrono::seconds(RequestTimeout));
}

// Nothing came for the whole limit: the server is gone or stuck, and no reply
// that comes later could be paired with the right command, so the session ends.
void FtpClient::SilenceTimedOut() {
    if (request_.done)
        return;
    const auto quiet = std::chrono::steady_clock::now() - lastSignOfLife_;
    const std::chrono::seconds limit(RequestTimeout);
    if (RequestTimeout > 0 && quiet < limit) {
        silence_->start(std::chrono::ceil<std::chrono::milliseconds>(limit - quiet));
        return;
    }
    const std::string text =
        "No answer from the server for " + std::to_string(RequestTimeout) + " s";
    Display("! " + text);
    request_.lastResponse = text;
    request_.statusCode = wsock::WSAETIMEDOUT;
    request_.result = wsock::WSAETIMEDOUT;
    request_.errorMessage = text;
    request_.nextSeq = nullptr;
    CloseLocalFile();
    if (data_->State() != SocketState::wsClosed)
        data_->Close();
    if (control_->State() != SocketState::wsClosed)
        control_->Close(); // completes the request
    TriggerRequestDone(wsock::WSAETIMEDOUT);
}

void FtpClient::MoveWaitDeadline() {
    waitDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(Timeout, 0));
}

bool FtpClient::SyncWait() {
    MoveWaitDeadline();
    // Wakes the wait at least this often even when no event arrives.
    QTimer tick;
    tick.start(20);
    for (;;) {
        if (state_ == FtpState::ftpReady)
            return request_.result == 0;
        const bool late = Timeout > 0 && std::chrono::steady_clock::now() > waitDeadline_;
        if (QCoreApplication::closingDown() || late)
            break;
        MessagePump();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    Abort();
    request_.errorMessage = "426 Timeout";
    request_.statusCode = 426;
    return false;
}

bool FtpClient::Synchronize(void (FtpClient::*start)()) {
    try {
        (this->*start)();
    } catch (const std::exception&) {
        return false;
    }
    return SyncWait();
}

bool FtpClient::TypeSetSync() {
    return Synchronize(&FtpClient::TypeSetAsync);
}
bool FtpClient::TypeBinarySync() {
    return Synchronize(&FtpClient::TypeBinaryAsync);
}
bool FtpClient::TypeAsciiSync() {
    return Synchronize(&FtpClient::TypeAsciiAsync);
}
bool FtpClient::AbortSync() {
    return Synchronize(&FtpClient::Abort);
}
