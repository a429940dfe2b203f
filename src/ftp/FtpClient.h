#pragma once

#include "ftp/LocalFile.h"
#include "ftp/NetworkText.h"
#include "ftp/ReplyReader.h"
#include "ftp/ServerFeatures.h"
#include "ftp/TransferFormat.h"
#include "net/TlsSocket.h"
#include "net/UniqueFd.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class FtpException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The engine's state; 6 is never used.
enum class FtpState : std::uint8_t {
    ftpNotConnected = 0,
    ftpReady = 1,
    ftpInternalReady = 2,
    ftpDnsLookup = 3,
    ftpConnected = 4,
    ftpAbort = 5,
    ftpWaitingBanner = 7,
    ftpWaitingResponse = 8,
};
const char* FtpStateName(FtpState state);

// The kind of a request, as OnRequestDone reports it.
enum class FtpRequest : std::uint8_t {
    None,
    OpenAsync,
    UserAsync,
    PassAsync,
    CwdAsync,
    ConnectAsync,
    ReceiveAsync,
    DirAsync,
    LsAsync,
    PortAsync,
    GetAsync,
    DirectoryAsync,
    ListAsync,
    SystemAsync,
    SystAsync,
    QuitAsync,
    SizeAsync,
    PutAsync,
    AppendAsync,
    FileSizeAsync,
    RqAbort,
    MkdAsync,
    RmdAsync,
    RenameAsync,
    DeleAsync,
    RenAsync,
    RenToAsync,
    RenFromAsync,
    DeleteAsync,
    MkdirAsync,
    RmdirAsync,
    PwdAsync,
    QuoteAsync,
    CDupAsync,
    DoQuoteAsync,
    TransmitAsync,
    TypeSetAsync,
    RestAsync,
    RestGetAsync,
    RestartGetAsync,
    RestPutAsync,
    RestartPutAsync,
};
const char* FtpRequestName(FtpRequest request);

// Steps of multi-step requests; a set of them is a 64-bit mask with bit n for step n.
enum class FtpStep : std::uint8_t {
    None,
    Open,
    User,
    Pass,
    Cwd,
    Size,
    Mkd,
    Rmd,
    RenFrom,
    RenTo,
    Get,
    Dir,
    Quit,
    Syst,
    Dele,
    Pwd,
    Quote,
    Put,
    TypeSet,
    Rest,
    CDup,
    Ls,
    Append,
    Port,
    AuthTls,
    Pbsz,
    Prot,
    Feat,
    Utf8,        // OPTS UTF8 ON
    MlstFacts,   // OPTS MLST, the facts the pane shows
    CheckSize,   // a download's size against SIZE or the listing's
    FileTime,    // MDTM: the download gets the server's time
    SetFileTime, // MFMT: the upload gets the local file's time
};
// The bit of `step` in a set of steps.
constexpr std::uint64_t StepBit(FtpStep step) {
    return std::uint64_t{1} << static_cast<unsigned>(step);
}

enum class FtpConnectionType : std::uint8_t {
    ftpDirect,
    ftpProxy,
    ftpSocks4,
    ftpSocks4A,
    ftpSocks5
};

enum class FtpShareMode : std::uint8_t {
    ftpShareCompat = 0,
    ftpShareExclusive = 16,
    ftpShareDenyWrite = 32,
    ftpShareDenyRead = 48,
    ftpShareDenyNone = 64,
};

// FTP over TLS: off, explicit (AUTH TLS) when the server offers it, explicit
// required, or implicit (TLS from the first byte, port 990 by default).
enum class FtpSecurity : std::uint8_t { Off, IfOffered, Explicit, Implicit };

struct FtpOptions {
    bool ftpAcceptLF = true;        // a bare LF ends a reply line
    bool ftpNoAutoResumeAt = false; // REST does not look at the local file
};

// One asynchronous FTP client: one request at a time, each reported exactly
// once through OnRequestDone, always from the event loop, never from inside
// the call that started it.
class FtpClient : public QObject {
public:
    explicit FtpClient(QObject* parent = nullptr);
    ~FtpClient() override;
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Published properties.
    std::string HostName;
    std::string Port = "ftp";
    std::string UserName;
    std::string PassWord;
    std::string HostDirName;
    std::string HostFileName;
    std::string LocalFileName;
    bool Binary = true;
    FtpShareMode ShareMode = FtpShareMode::ftpShareExclusive;
    FtpOptions Options;
    std::string ProxyServer;
    FtpSecurity Security = FtpSecurity::Off;
    // SHA-256 of a server certificate the user trusts always ("AB:CD:..."); empty: none.
    std::string TrustedFingerprint;
    int Timeout = 15; // seconds, for the synchronous wrappers; 0 or less: no limit
    // Seconds a request may go without a byte on the control or the data
    // connection before it fails; 0 or less: no limit.
    int RequestTimeout = 15;
    bool MultiThreaded = false;

    // Where the FTP proxy listens (the server's own Port travels in the user
    // name); empty means "ftp".
    const std::string& ProxyPort() const { return proxyPort_; }
    void SetProxyPort(const std::string& port) { proxyPort_ = port.empty() ? "ftp" : port; }

    const std::string& ErrorMessage() const { return request_.errorMessage; }
    FtpConnectionType ConnectionType() const { return connectionType_; }
    // Any value outside the enumeration counts as direct.
    void SetConnectionType(int value);
    void SetConnectionType(FtpConnectionType value) { SetConnectionType(static_cast<int>(value)); }
    // SOCKS settings, used by both sockets while ConnectionType is a SOCKS type.
    const std::string& SocksServer() const { return socksServer_; }
    void SetSocksServer(const std::string& value) { SetSocksSetting(socksServer_, value); }
    const std::string& SocksPort() const { return socksPort_; }
    void SetSocksPort(const std::string& value) { SetSocksSetting(socksPort_, value); }
    const std::string& SocksUserCode() const { return socksUserCode_; }
    void SetSocksUserCode(const std::string& value) { SetSocksSetting(socksUserCode_, value); }
    const std::string& SocksPassword() const { return socksPassword_; }
    void SetSocksPassword(const std::string& value) { SetSocksSetting(socksPassword_, value); }

    // Run-time fields.
    FtpState State() const { return state_; }
    bool Connected() const { return connected_; }
    const std::string& LastResponse() const { return request_.lastResponse; }
    int StatusCode() const { return request_.statusCode; }
    FtpRequest RequestType() const { return request_.type; }
    int RequestResult() const { return request_.result; }
    bool Passive() const { return passive_; }
    void SetPassive(bool value);
    std::int64_t SizeResult = 0;
    std::string DirResult;
    // What the server answered to FEAT at the last login; nothing before the
    // login, for a server without FEAT, and after a connect without FEAT.
    const ftpfeatures::ServerFeatures& Features() const { return features_; }
    bool AnsweredFeat() const { return answeredFeat_; }
    // DirAsync lists with MLSD instead of LIST; the caller sets it only where
    // Features() offers MLST.
    bool MachineListings = false;
    // Downloads get the server's modification time (MDTM), uploads give theirs
    // (MFMT), where the server offers it.
    bool KeepFileTimes = false;
    // The size the listing gave for HostFileName; a binary download of another
    // size fails. Set before a download; the download clears it. 0 or less:
    // unknown, SIZE alone decides.
    std::int64_t ListedSize = -1;
    std::int64_t ByteCount = 0;
    std::int64_t ResumeAt = 0;

    // Events.
    std::function<void(FtpClient* sender, std::string& msg)> OnDisplay;
    std::function<void(FtpClient* sender, std::int64_t count, bool& abort)> OnProgress;
    // The bytes of a listing (LIST, NLST) as they go to the listing file;
    // `first` when the server has accepted a new listing.
    std::function<void(FtpClient* sender, std::string_view bytes, bool first)> OnListingData;
    std::function<void(FtpClient* sender, std::uint16_t error)> OnSessionConnected;
    std::function<void(FtpClient* sender, std::uint16_t error)> OnSessionClosed;
    std::function<void(FtpClient* sender, FtpRequest rqType, std::uint16_t error)> OnRequestDone;
    std::function<void(FtpClient* sender)> OnStateChange;
    std::function<void(FtpClient* sender, std::string& cmd)> OnCommand;
    std::function<void(FtpClient* sender)> OnResponse;
    std::function<void(FtpClient* sender, const std::exception& e)> OnBgException;
    // The control connection's certificate needs the user's word: the login
    // waits until AnswerCertificate. `changed`: a different one was trusted.
    std::function<void(FtpClient* sender, const tls::CertificateInfo& certificate, bool changed,
                       const std::string& verificationError)>
        OnCertificateQuestion;
    // Goes on with the login (true) or ends the connect (false).
    void AnswerCertificate(bool trust);
    // The trust store the certificates are checked against.
    tls::ClientContext& TlsContext();
    // PROT P is in force: every data connection is TLS.
    bool ProtectedData() const { return protectedData_; }

    bool IsControlOpen() const { return control_->State() != SocketState::wsClosed; }
    void MessagePump();
    TlsSocket& ControlSocket() { return *control_; }
    TlsSocket& DataSocket() { return *data_; }

    // Single-command requests.
    void OpenAsync();
    void UserAsync();
    void PassAsync();
    void CwdAsync();
    void SizeAsync();
    void MkdAsync();
    void RmdAsync();
    void RenFromAsync();
    void RenToAsync();
    void QuitAsync();
    void SystAsync();
    void DeleAsync();
    void PwdAsync();
    void QuoteAsync();
    void TypeSetAsync();
    void TypeBinaryAsync();
    void TypeAsciiAsync();
    void RestAsync();
    void CDupAsync();
    void AuthTlsAsync();
    void PbszAsync();
    void ProtAsync();

    // The data connection: PASV in passive mode, else a listening socket and PORT.
    void PortAsync();

    // Multi-step requests.
    void ConnectAsync();
    void ReceiveAsync();
    void RestartGetAsync();
    void GetAsync();
    void RestGetAsync();
    void TransmitAsync();
    void RestartPutAsync();
    void PutAsync();
    void RestPutAsync();
    void AppendFileAsync();
    void AppendAsync();
    void DirectoryAsync();
    void DirAsync();
    void ListAsync();
    void LsAsync();
    void SystemAsync();
    void FileSizeAsync();
    void MkdirAsync();
    void RmdirAsync();
    void DeleteAsync();
    void DoQuoteAsync();
    void RenameAsync();
    void RenAsync();

    void Abort();
    // Ends the data transfer in progress as the progress report's abort does,
    // without waiting for a byte to report it: a server that stalls after 150
    // sends none. The request then ends at the server's reply, cut short.
    void CutTransfer();

    // Block sizes of the data connection (TransferFormat.h); 0 or less: the default.
    void SetDataBlockSizes(int upload, int download);
    int UploadBlockSize() const { return uploadBlock_; }
    int DownloadBlockSize() const { return downloadBlock_; }

    // Start a request and wait for it (at most Timeout seconds of silence);
    // true on success. A refused start also gives false.
    bool TypeSetSync();
    bool TypeBinarySync();
    bool TypeAsciiSync();
    bool AbortSync();

protected:
    // A continuation: empty, or a member of this object.
    using StepHandler = void (FtpClient::*)();

    void CheckReady() const;
    void CheckArguments(std::uint64_t steps) const;
    void SetState(FtpState state);
    void Display(std::string msg);
    void ExecAsync(FtpRequest request, FtpStep step, std::string command,
                   std::initializer_list<int> accepted, StepHandler doneHook = nullptr);
    void AwaitReply(StepHandler handler, StepHandler doneHook);
    void SendCommand(std::string command);
    void TriggerRequestDone(std::uint16_t error);
    void HandleRequestDone(FtpRequest request, std::uint16_t error);
    void BeginRequest(FtpRequest request);
    void SetErrorMessage(const std::string& text);
    void FailWithSocketError(int error);
    void StartMultiStep(FtpRequest request, std::initializer_list<FtpStep> steps);
    void NextStep();
    void ExtractResults();
    void EvaluateReply();
    void QuitDone();
    void FeatAsync();
    void FeatReply();
    void OptionalStepDone();
    // A refusal the session can live with: `note` (if any) goes to the log and
    // the step counts as done.
    void GoOnDespiteRefusal(const std::string& note);
    void ExtendedPassiveDone();
    void CheckSizeAsync();
    void CheckSizeDone();
    void FileTimeDone();
    void SetFileTimeAsync();
    void CloseLocalFile();
    const char* SocksLevel() const; // nothing unless a SOCKS connection type
    void ApplySocks(SocksSocket& socket);
    void ApplySocksToIdleSockets();
    void SetSocksSetting(std::string& setting, const std::string& value) {
        setting = value;
        ApplySocksToIdleSockets();
    }

    // Data connection steps.
    using DataHandler = void (FtpClient::*)(std::uint16_t error);
    AsyncSocket::ErrorEvent DataEvent(DataHandler handler);
    void WatchTransfer(DataHandler dataAvailable, DataHandler dataSent);
    bool AcceptTransfer(DataHandler dataAvailable, DataHandler dataSent);
    bool TakeQueuedConnection();
    void DoGetAsync(FtpRequest kind, FtpStep step, const char* verb);
    void DoPutAsync(bool append);
    bool OpenGetFile();
    bool OpenPutFile();
    bool ConnectPassive(int failCode, DataHandler connected);
    void SendTransferCommand(StepHandler firstReply);
    void FailTransfer(int code, const std::string& response);
    void AcceptForGet();
    void ConnectedForGet(std::uint16_t error);
    void GetData(std::uint16_t);
    bool AcceptFirstReply();
    void FinalReply(std::initializer_list<int> accepted, const char* failure);
    void GetFirstReply();
    void GetFinalReply();
    void AcceptForPut();
    void ConnectedForPut(std::uint16_t error);
    void PutDrain(std::uint16_t);
    void PutFirstReply();
    void PutFinalReply();
    void PutSend(std::uint16_t error);
    bool SendNextBlock();
    bool WriteReceived(const char* data, std::size_t size);
    void FinishReceivedText();
    void StartSending();
    void TransferClosed(std::uint16_t error);
    void CheckTransferEnd();
    void CutShort(const std::string& reason);
    bool FireProgress();
    bool DataConnected();
    void EndReceivedFile();
    void DetachDataHandlers();
    // At least `size` bytes, starting on a page boundary.
    char* DataBlock(int size);

    // Control socket events.
    void ControlDnsLookupDone(std::uint16_t error);
    void ConnectControl();
    void ControlSessionConnected(std::uint16_t error);
    void ControlDataAvailable(std::uint16_t error);
    void ControlSessionClosed(std::uint16_t error);
    void FailProtocol(const std::string& what);

    // TLS of the control and the data connections.
    void AuthTlsReplied();
    void ProtectionReplied();
    void ControlTlsDone(std::uint16_t error);
    void ControlTrusted();
    void FailSecurity(const std::string& why);
    void StartDataTlsWhenDue();
    void DataTlsDone(std::uint16_t error);

    // Runs one of the engine's event handlers: an error inside it fails the
    // request in progress, once, instead of leaving it without completion.
    template <typename Handler>
    void Contained(Handler&& handler) {
        try {
            handler();
        } catch (const std::exception& e) {
            FailInside(e.what());
        }
    }
    void FailInside(const std::string& what);

    // Waits until the engine is ready again, at most Timeout seconds of
    // silence; a timeout aborts with "426 Timeout".
    bool SyncWait();
    // Transfers call this per block, so the limit applies to silence.
    void MoveWaitDeadline();
    // Any byte of a request in progress starts its silence limit anew.
    void MoveSilenceDeadline();
    void SilenceTimedOut();

private:
    // What a request changes as it runs. One struct, so that a refusal, which
    // puts back everything a request changed before its first command went
    // out, cannot forget a field.
    struct Request {
        FtpRequest type = FtpRequest::None;
        int result = 0;
        int statusCode = 0;
        std::string lastResponse;
        std::string errorMessage;
        StepHandler next = nullptr;     // handles each final reply line while waiting
        StepHandler doneHook = nullptr; // replaces completion after a judged reply
        StepHandler nextSeq = nullptr;  // continues a multi-step request
        bool done = true;
        bool awaitingReply = false; // a command or greeting still has no final reply
        // Multi-step request.
        bool multiStep = false;
        std::uint64_t steps = 0;
        FtpStep currentStep = FtpStep::None;
        std::uint16_t seqError = 0;
        std::string savedResponse;
        int savedStatus = -1;
    };
    // The request's own fields and the engine's state and public results.
    struct RequestSnapshot {
        FtpState state;
        Request request;
        std::int64_t byteCount, resumeAt, sizeResult;
    };
    RequestSnapshot TakeSnapshot() const;
    void Restore(const RequestSnapshot& snapshot);

    bool Synchronize(void (FtpClient::*start)());
    void RunStep(FtpStep step);

    std::chrono::steady_clock::time_point waitDeadline_{};
    std::chrono::steady_clock::time_point lastSignOfLife_{}; // for the silence limit
    QTimer* silence_;

    TlsSocket* control_;
    TlsSocket* data_;
    std::unique_ptr<tls::ClientContext> tlsContext_;
    bool protectedData_ = false;
    bool certificatePending_ = false;
    std::string controlFingerprint_; // the data connections must present the same
    FtpState state_ = FtpState::ftpReady;
    bool connected_ = false;
    bool passive_ = false;
    FtpConnectionType connectionType_ = FtpConnectionType::ftpDirect;
    std::string socksServer_, socksPort_, socksUserCode_, socksPassword_;
    std::string proxyPort_ = "ftp";

    Request request_;
    ftpreply::ReplyBuffer reply_;
    ftpreply::ReplyAssembler assembler_;
    std::array<int, ftpreply::kMaxAcceptedCodes + 1> accepted_{};
    std::string pasvResponse_;
    std::string wholeReply_;       // every line of the reply being read, each ended by LF
    bool wholeReplyEnded_ = false; // the next line begins a new reply
    ftpfeatures::ServerFeatures features_;
    bool answeredFeat_ = false;
    bool epsvRefused_ = false;
    std::size_t addressIndex_ = 0;  // of the control socket's look-up, being tried
    bool switchingAddress_ = false; // the server said it knows no EPSV: PASV for the session

    // The transfer in progress.
    struct Transfer {
        std::string verb;            // RETR, LIST, NLST, STOR or APPE
        bool upload = false;         // STOR or APPE
        bool finalReply = false;     // the reply after 150 has come
        bool dataClosed = false;     // the data connection has closed
        bool got150 = false;         // uploads: the server is ready to receive
        bool dataReady = false;      // uploads: the data connection is up
        bool endOfFile = false;      // uploads: the whole file was handed over
        bool sending = false;        // uploads: sending has started
        bool accepted = false;       // downloads: the server answered 150 or 125
        std::string held;            // downloads: bytes that came before that answer
        std::string cutShort;        // why the transfer ended early; empty when it did not
        std::int64_t announced = -1; // the size the 150 reply named, -1 when none
        std::uint16_t closeError = 0;
        std::chrono::steady_clock::time_point start{};
        bool text = false; // a file in TYPE A: line ends change on the way
        ftptransfer::TextFromNetwork fromNetwork;
        ftptransfer::TextToNetwork toNetwork;
        std::string converted;
        bool tls = false;           // the data connection started TLS
        bool dataConnected = false; // connected or accepted
        bool cutWanted = false;     // a cut came while the data connection was on its way
    };
    Transfer transfer_;
    UniqueFd queuedConnection_; // active mode: the server's connection taken before the command
    LocalFile localFile_;
    int uploadBlock_ = ftptransfer::kDataBlock;
    int downloadBlock_ = ftptransfer::kDownloadDataBlock;
    std::vector<char> dataBlock_; // DataBlock's storage, a page larger than the block
};
