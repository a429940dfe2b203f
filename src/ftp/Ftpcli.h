#pragma once

#include "ftp/LocalFile.h"
#include "ftp/ReplyReader.h"
#include "ftp/TransferFormat.h"
#include "net/WSocket.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class FtpException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The engine's state; 6 is never used.
enum class TFtpState : std::uint8_t {
    ftpNotConnected = 0,
    ftpReady = 1,
    ftpInternalReady = 2,
    ftpDnsLookup = 3,
    ftpConnected = 4,
    ftpAbort = 5,
    ftpWaitingBanner = 7,
    ftpWaitingResponse = 8,
};
const char* FtpStateName(TFtpState state);

// The kind of a request, as OnRequestDone reports it.
enum class TFtpRequest : std::uint8_t {
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
const char* FtpRequestName(TFtpRequest request);

// Steps of multi-step requests; a set of them is a mask with bit n for step n.
enum class TFtpStep : std::uint8_t {
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
};

enum class TFtpConnectionType : std::uint8_t {
    ftpDirect,
    ftpProxy,
    ftpSocks4,
    ftpSocks4A,
    ftpSocks5
};

enum class TFtpShareMode : std::uint8_t {
    ftpShareCompat = 0,
    ftpShareExclusive = 16,
    ftpShareDenyWrite = 32,
    ftpShareDenyRead = 48,
    ftpShareDenyNone = 64,
};

struct TFtpOptions {
    bool ftpAcceptLF = true;        // a bare LF ends a reply line
    bool ftpNoAutoResumeAt = false; // REST does not look at the local file
};

// One asynchronous FTP client: one request at a time, each reported exactly
// once through OnRequestDone, always from the event loop, never from inside
// the call that started it.
class TCustomFtpCli : public QObject {
public:
    explicit TCustomFtpCli(QObject* parent = nullptr);
    ~TCustomFtpCli() override;
    TCustomFtpCli(const TCustomFtpCli&) = delete;
    TCustomFtpCli& operator=(const TCustomFtpCli&) = delete;

    // Published properties.
    std::string HostName;
    std::string Port = "ftp";
    std::string UserName;
    std::string PassWord;
    std::string HostDirName;
    std::string HostFileName;
    std::string LocalFileName;
    bool Binary = true;
    TFtpShareMode ShareMode = TFtpShareMode::ftpShareExclusive;
    TFtpOptions Options;
    std::string ProxyServer;
    int Timeout = 15; // seconds, for the synchronous wrappers; 0 or less: no limit
    bool MultiThreaded = false;

    // Where the FTP proxy listens (the server's own Port travels in the user
    // name); empty means "ftp".
    const std::string& ProxyPort() const { return proxyPort_; }
    void SetProxyPort(const std::string& port) { proxyPort_ = port.empty() ? "ftp" : port; }

    const std::string& ErrorMessage() const { return errorMessage_; }
    TFtpConnectionType ConnectionType() const { return connectionType_; }
    // Any value outside the enumeration counts as direct.
    void SetConnectionType(int value);
    void SetConnectionType(TFtpConnectionType value) { SetConnectionType(static_cast<int>(value)); }
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
    TFtpState State() const { return state_; }
    bool Connected() const { return connected_; }
    const std::string& LastResponse() const { return lastResponse_; }
    int StatusCode() const { return statusCode_; }
    TFtpRequest RequestType() const { return requestType_; }
    int RequestResult() const { return requestResult_; }
    bool Passive() const { return passive_; }
    void SetPassive(bool value);
    std::int64_t SizeResult = 0;
    std::string DirResult;
    std::int64_t ByteCount = 0;
    std::int64_t ResumeAt = 0;

    // Events.
    std::function<void(TCustomFtpCli* sender, std::string& msg)> OnDisplay;
    std::function<void(TCustomFtpCli* sender, std::int64_t count, bool& abort)> OnProgress;
    std::function<void(TCustomFtpCli* sender, std::uint16_t error)> OnSessionConnected;
    std::function<void(TCustomFtpCli* sender, std::uint16_t error)> OnSessionClosed;
    std::function<void(TCustomFtpCli* sender, TFtpRequest rqType, std::uint16_t error)>
        OnRequestDone;
    std::function<void(TCustomFtpCli* sender)> OnStateChange;
    std::function<void(TCustomFtpCli* sender, std::string& cmd)> OnCommand;
    std::function<void(TCustomFtpCli* sender)> OnResponse;
    std::function<void(TCustomFtpCli* sender, const std::exception& e)> OnBgException;

    bool IsControlOpen() const { return control_->State() != TSocketState::wsClosed; }
    void MessagePump();
    TWSocket& ControlSocket() { return *control_; }
    TWSocket& DataSocket() { return *data_; }

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

    // Block sizes of the data connection (TransferFormat.h); 0 or less: the default.
    void SetDataBlockSizes(int upload, int download);
    int UploadBlockSize() const { return uploadBlock_; }
    int DownloadBlockSize() const { return downloadBlock_; }

protected:
    // A continuation: empty, or a member of this object.
    using TProc = void (TCustomFtpCli::*)();

    void CheckReady() const;
    void SetState(TFtpState state);
    void Display(std::string msg);
    void ExecAsync(TFtpRequest request, TFtpStep step, std::string command,
                   std::initializer_list<int> accepted, TProc doneHook = nullptr);
    void AwaitReply(TProc handler, TProc doneHook);
    void SendCommand(std::string command);
    void TriggerRequestDone(std::uint16_t error);
    void HandleRequestDone(TFtpRequest request, std::uint16_t error);
    void SetErrorMessage(const std::string& text);
    void FailWithSocketError(int error);
    void StartMultiStep(TFtpRequest request, std::initializer_list<TFtpStep> steps);
    void NextStep();
    void ExtractResults();
    void EvaluateReply();
    void QuitDone();
    void CloseLocalFile();
    const char* SocksLevel() const; // nothing unless a SOCKS connection type
    void ApplySocks(TWSocket& socket);
    void ApplySocksToIdleSockets();
    void SetSocksSetting(std::string& setting, const std::string& value) {
        setting = value;
        ApplySocksToIdleSockets();
    }

    // Data connection steps.
    using TDataEvent = void (TCustomFtpCli::*)(std::uint16_t error);
    TCustomWSocket::TErrorEvent DataEvent(TDataEvent handler);
    void WatchTransfer(TDataEvent dataAvailable, TDataEvent dataSent);
    void AcceptTransfer(TDataEvent dataAvailable, TDataEvent dataSent);
    void DoGetAsync(TFtpRequest kind, TFtpStep step, const char* verb);
    void DoPutAsync(bool append);
    bool OpenGetFile();
    bool OpenPutFile();
    bool ConnectPassive(int failCode, TDataEvent connected);
    void SendTransferCommand(TProc firstReply);
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
    void StartSending();
    void TransferClosed(std::uint16_t error);
    void CheckTransferEnd();
    bool FireProgress();
    void DetachDataHandlers();
    std::vector<char>& DataBlock(int size);

    // Control socket events.
    void ControlDnsLookupDone(std::uint16_t error);
    void ControlSessionConnected(std::uint16_t error);
    void ControlDataAvailable(std::uint16_t error);
    void ControlSessionClosed(std::uint16_t error);

    // Waits until the engine is ready again, at most Timeout seconds of
    // silence; a timeout aborts with "426 Timeout".
    bool SyncWait();
    // Transfers call this per block, so the limit applies to silence.
    void MoveWaitDeadline();

private:
    void RunStep(TFtpStep step);

    std::chrono::steady_clock::time_point waitDeadline_{};

    TWSocket* control_;
    TWSocket* data_;
    TFtpState state_ = TFtpState::ftpReady;
    bool connected_ = false;
    std::string lastResponse_;
    int statusCode_ = 0;
    TFtpRequest requestType_ = TFtpRequest::None;
    int requestResult_ = 0;
    std::string errorMessage_;
    bool passive_ = false;
    TFtpConnectionType connectionType_ = TFtpConnectionType::ftpDirect;
    std::string socksServer_, socksPort_, socksUserCode_, socksPassword_;
    std::string proxyPort_ = "ftp";

    ftpreply::TReplyBuffer reply_;
    std::array<int, ftpreply::kMaxAcceptedCodes + 1> accepted_{};
    TProc next_ = nullptr;     // handles each final reply line while waiting
    TProc doneHook_ = nullptr; // replaces completion after a judged reply
    TProc nextSeq_ = nullptr;  // continues a multi-step request
    bool requestDone_ = true;
    bool awaitingReply_ = false; // a command or greeting still has no final reply
    std::string pasvResponse_;

    // The transfer in progress.
    struct TTransfer {
        std::string verb;         // RETR, LIST, NLST, STOR or APPE
        bool finalReply = false;  // the reply after 150 has come
        bool dataClosed = false;  // the data connection has closed
        bool got150 = false;      // uploads: the server is ready to receive
        bool dataReady = false;   // uploads: the data connection is up
        bool endOfFile = false;   // uploads: the whole file was handed over
        bool sending = false;     // uploads: sending has started
        bool localFailed = false; // the local file could not be written or read
        std::uint16_t closeError = 0;
        std::chrono::steady_clock::time_point start{};
    };
    TTransfer transfer_;
    TLocalFile localFile_;
    int uploadBlock_ = ftptransfer::kDataBlock;
    int downloadBlock_ = ftptransfer::kDataBlock;
    std::vector<char> dataBlock_;

    // Multi-step request.
    bool multiStep_ = false;
    std::uint32_t steps_ = 0;
    TFtpStep currentStep_ = TFtpStep::None;
    std::uint16_t seqError_ = 0;
    std::string savedResponse_;
    int savedStatus_ = -1;
};

class TFtpClient : public TCustomFtpCli {
public:
    using TCustomFtpCli::TCustomFtpCli;

    // Start a request and wait for it (at most Timeout seconds of silence);
    // true on success. A refused start also gives false.
    bool CwdSync();
    bool TypeSetSync();
    bool TypeBinarySync();
    bool TypeAsciiSync();
    bool AbortSync();

private:
    bool Synchronize(void (TCustomFtpCli::*start)());
};
