// The data connection of FtpClient: port step, downloads into and uploads
// from local files, and the end of a transfer.
#include "ftp/FtpClient.h"
#include "net/HostAddress.h"
#include "net/UniqueFd.h"
#include "text/TextFields.h"

#include <QMetaObject>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCutShort = 426;

constexpr std::size_t kPage = 4096;

// How long an upload may keep the event loop to itself while the socket takes
// every block at once.
constexpr std::chrono::milliseconds kSendSlice{4};

// What a download may hold in memory before the server has taken up the
// transfer. A server sends its 150 before the data, so only what arrives while
// the event loop turns to the control connection waits; a server that floods
// without a 150 is cut off.
constexpr std::size_t kMaxHeldBytes = 16 * 1024 * 1024;

// Whether bytes, or the peer's close, wait on a connected socket.
bool HasInput(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

std::int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool IsOneOf(int code, std::initializer_list<int> codes) {
    for (const int c : codes)
        if (c == code)
            return true;
    return false;
}

} // namespace

void FtpClient::SetDataBlockSizes(int upload, int download) {
    uploadBlock_ = upload > 0 ? upload : ftptransfer::kDataBlock;
    downloadBlock_ = download > 0 ? download : ftptransfer::kDownloadDataBlock;
}

// The kernel copies a file's pages into the block several times slower when
// the block starts a few bytes past a page boundary (measured: 16 bytes past
// one, as a fresh large allocation does, cost 0.5 to 0.7 processor seconds per
// GiB read instead of 0.15), so the block starts on one.
char* FtpClient::DataBlock(int size) {
    const std::size_t need = static_cast<std::size_t>(size) + kPage;
    if (dataBlock_.size() < need)
        dataBlock_.resize(need);
    void* start = dataBlock_.data();
    std::size_t space = dataBlock_.size();
    return static_cast<char*>(std::align(kPage, static_cast<std::size_t>(size), start, space));
}

void FtpClient::CloseLocalFile() {
    if (localFile_.IsOpen() && !localFile_.Close())
        CutShort("the local file could not be written");
}

// The first reason wins: it is the cause, what follows are its effects.
void FtpClient::CutShort(const std::string& reason) {
    if (transfer_.cutShort.empty())
        transfer_.cutShort = reason;
}

AsyncSocket::ErrorEvent FtpClient::DataEvent(DataHandler handler) {
    if (handler == nullptr)
        return nullptr;
    return [this, handler](AsyncSocket*, std::uint16_t error) {
        Contained([&] { (this->*handler)(error); });
    };
}

// The data socket's events while a transfer runs; its close always ends it.
void FtpClient::WatchTransfer(DataHandler dataAvailable, DataHandler dataSent) {
    data_->OnSessionClosed = DataEvent(&FtpClient::TransferClosed);
    data_->OnDataAvailable = DataEvent(dataAvailable);
    data_->OnDataSent = DataEvent(dataSent);
}

// Active mode: the server's connection replaces the listening socket. Anyone
// may reach the port, so a connection from another address than the control
// connection's peer is closed and the socket goes on listening.
bool FtpClient::AcceptTransfer(DataHandler dataAvailable, DataHandler dataSent) {
    UniqueFd accepted = std::exchange(queuedConnection_, UniqueFd());
    if (!accepted.valid()) {
        // The readiness may be stale: TakeQueuedConnection emptied the queue.
        if (!HasInput(data_->HSocket()))
            return false;
        accepted.reset(data_->Accept());
        if (!accepted.valid())
            return false;
        if (data_->PeerAddr() != control_->PeerAddr()) {
            Display("! Data connection from " + data_->PeerAddr() + " refused: not the server");
            return false;
        }
    }
    data_->Close();
    WatchTransfer(dataAvailable, dataSent);
    data_->Dup(accepted.release());
    return true;
}

// Active mode, just before the transfer command goes out: a connection that
// already waits came before the server was asked for this transfer. One that
// has sent bytes or closed carries an earlier request's data and is closed; a
// quiet one is the server's own (pyftpdlib connects as soon as PORT arrives)
// and is kept for this transfer.
bool FtpClient::TakeQueuedConnection() {
    while (data_->State() == SocketState::wsListening && HasInput(data_->HSocket())) {
        UniqueFd accepted(data_->Accept());
        if (!accepted.valid())
            return false;
        if (data_->PeerAddr() != control_->PeerAddr())
            Display("! Data connection from " + data_->PeerAddr() + " refused: not the server");
        else if (HasInput(accepted.get()))
            Display("! Data connection refused: it sent data before " + transfer_.verb);
        else {
            queuedConnection_ = std::move(accepted);
            return true;
        }
    }
    return false;
}

void FtpClient::DetachDataHandlers() {
    data_->OnSessionAvailable = nullptr;
    data_->OnSessionClosed = nullptr;
    data_->OnDataAvailable = nullptr;
    data_->OnDataSent = nullptr;
    data_->OnSessionConnected = nullptr;
}

bool FtpClient::FireProgress() {
    MoveWaitDeadline();
    MoveSilenceDeadline();
    bool abort = false;
    if (OnProgress)
        OnProgress(this, ByteCount + ResumeAt, abort);
    if (!abort)
        return true;
    CutTransfer();
    return false;
}

void FtpClient::CutTransfer() {
    if (request_.done || transfer_.verb.empty() || transfer_.dataClosed)
        return;
    if (!transfer_.dataConnected) {
        transfer_.cutWanted = true; // the 150 may come before the connection is up
        return;
    }
    Display("! Abort requested");
    CutShort("aborted");
    data_->Close();
}

// The data connection is up; false when a cut that came on its way ended it.
bool FtpClient::DataConnected() {
    transfer_.dataConnected = true;
    if (!transfer_.cutWanted)
        return true;
    CutTransfer();
    return false;
}

// --- port step ----------------------------------------------------------------

void FtpClient::PortAsync() {
    CheckReady();
    if (!connected_)
        throw FtpException("FTP component not connected");
    DetachDataHandlers();
    data_->SetProto("tcp");
    data_->SetAddr("0.0.0.0");
    data_->SetPort("0");
    // A server that answered FEAT speaks the protocol of today: EPSV first.
    std::string command = answeredFeat_ && !epsvRefused_ ? "EPSV" : "PASV";
    if (!passive_) {
        // The control connection's own address is where the server can reach us.
        const std::string local =
            control_->Addr() == "127.0.0.1" ? "127.0.0.1" : control_->GetSockName().Addr;
        const bool ipv6 = net::IsIpv6Literal(local);
        if (ipv6)
            data_->SetAddr("::");
        data_->LingerOnOff = SocketLinger::wsLingerOn;
        data_->LingerTimeout = 10;
        data_->Listen();
        const auto port = static_cast<std::uint16_t>(data_->GetSockName().Port);
        command = ipv6 ? ftptransfer::ExtendedPortCommand(local, port)
                       : ftptransfer::PortCommand(local, port);
    }
    ByteCount = 0;
    ExecAsync(FtpRequest::PortAsync, FtpStep::Port, command, {200, 227, 229},
              command == "EPSV" ? &FtpClient::ExtendedPassiveDone : nullptr);
}

// Many servers answer FEAT and still know no EPSV: "500 'EPSV': command not
// understood." They get PASV, for the rest of the session.
void FtpClient::ExtendedPassiveDone() {
    if (!IsOneOf(request_.statusCode, {500, 501, 502})) {
        TriggerRequestDone(static_cast<std::uint16_t>(request_.result));
        return;
    }
    epsvRefused_ = true;
    Display("! EPSV refused: PASV from now on");
    request_.result = 0;
    request_.errorMessage.clear();
    SetState(FtpState::ftpInternalReady);
    ExecAsync(FtpRequest::PortAsync, FtpStep::Port, "PASV", {200, 227});
}

// Connects the data socket to the port of the kept 227 reply, on the address
// the control connection goes to. False when the request was ended here.
bool FtpClient::ConnectPassive(int failCode, DataHandler connected) {
    // Either reply may name an address; the data goes to the server's all the same.
    const std::optional<std::uint16_t> port =
        pasvResponse_.starts_with("229") ? ftptransfer::ParseExtendedPassivePort(pasvResponse_)
                                         : ftptransfer::ParsePassivePort(pasvResponse_);
    if (!port) {
        // The session cannot go on with a reply it does not understand; the
        // close completes the request with a failure rather than success.
        CloseLocalFile();
        request_.result = 550;
        SetErrorMessage("550 Invalid passive reply: " + pasvResponse_);
        control_->Abort();
        return false;
    }
    try {
        // Addr, not the peer: through a proxy the peer is the proxy.
        data_->SetAddr(control_->Addr());
        ApplySocks(*data_);
        data_->SetPort(std::to_string(*port));
        data_->OnSessionConnected = DataEvent(connected);
        data_->LingerOnOff = SocketLinger::wsLingerOff;
        data_->LingerTimeout = 0;
        data_->Connect();
    } catch (const SocketException& e) {
        CloseLocalFile();
        FailTransfer(failCode,
                     std::to_string(failCode) + " SocketException: " + std::string(e.what()));
        return false;
    }
    return true;
}

void FtpClient::FailTransfer(int code, const std::string& response) {
    request_.lastResponse = response;
    request_.statusCode = code;
    SetErrorMessage(request_.lastResponse);
    if (data_->State() != SocketState::wsClosed)
        data_->Close();
    request_.result = code;
    TriggerRequestDone(static_cast<std::uint16_t>(code));
}

void FtpClient::SendTransferCommand(StepHandler firstReply) {
    AwaitReply(firstReply, nullptr);
    std::string command = transfer_.verb;
    if (!HostFileName.empty())
        command += " " + HostFileName;
    SendCommand(std::move(command));
}

// --- downloads ------------------------------------------------------------------

void FtpClient::DoGetAsync(FtpRequest kind, FtpStep step, const char* verb) {
    if (!connected_)
        throw FtpException(std::string(verb) + ": not connected");
    if (LocalFileName.empty())
        throw FtpException("LocalFileName empty");
    CheckArguments(StepBit(step));
    BeginRequest(kind);
    request_.currentStep = step;
    transfer_ = Transfer{};
    transfer_.verb = verb;
    // A listing is the program's own file and is read as the server sent it.
    transfer_.text = !Binary && transfer_.verb == "RETR";
    request_.done = false;
    ByteCount = 0;
    data_->OnSessionAvailable = [this](AsyncSocket*, std::uint16_t) {
        Contained([&] { AcceptForGet(); });
    };
    if (!OpenGetFile())
        return;
    if (passive_ && !ConnectPassive(550, &FtpClient::ConnectedForGet))
        return;
    const bool queued = !passive_ && TakeQueuedConnection();
    // In passive mode the command goes out without waiting for the connection.
    SendTransferCommand(&FtpClient::GetFirstReply);
    if (queued)
        AcceptForGet();
}

bool FtpClient::OpenGetFile() {
    CloseLocalFile();
    // A listing file is the program's own, private like its other files; a
    // download gets the usual permissions.
    const bool listing = transfer_.verb != "RETR";
    const bool opened =
        ResumeAt > 0
            ? localFile_.Open(LocalFileName, LocalFile::Mode::WriteAt, ResumeAt)
            : localFile_.Open(LocalFileName, LocalFile::Mode::Replace, 0, listing ? 0600 : 0666);
    if (!opened)
        FailTransfer(550, "Unable to open local file " + LocalFileName);
    return opened;
}

void FtpClient::AcceptForGet() {
    if (!AcceptTransfer(&FtpClient::GetData, nullptr))
        return;
    transfer_.start = Clock::now();
    if (DataConnected())
        StartDataTlsWhenDue();
}

void FtpClient::ConnectedForGet(std::uint16_t error) {
    WatchTransfer(&FtpClient::GetData, nullptr);
    transfer_.start = Clock::now();
    if (error != 0)
        FailTransfer(550, "Unable to establish data connection, error #" + std::to_string(error));
    else if (DataConnected())
        StartDataTlsWhenDue();
}

void FtpClient::GetData(std::uint16_t) {
    if (!FireProgress())
        return;
    char* const block = DataBlock(downloadBlock_);
    const int n = data_->Receive(block, downloadBlock_);
    if (n > 0 && !transfer_.accepted) {
        // Until the server takes up the transfer, its bytes may be an earlier
        // request's: they wait here and go to the file only after a 150.
        ByteCount += n;
        transfer_.held.append(block, static_cast<std::size_t>(n));
        if (transfer_.held.size() > kMaxHeldBytes) {
            CutShort("data came before the server accepted the transfer");
            data_->ShutDown(2);
        }
        return;
    }
    if (n < 0) {
        if (data_->State() == SocketState::wsConnected &&
            data_->LastError() != wsock::WSAEWOULDBLOCK) {
            Display("! Data: Receive error " + std::to_string(data_->LastError()));
            CutShort("receive error " + std::to_string(data_->LastError()));
            data_->ShutDown(2);
        }
        return;
    }
    if (n == 0)
        return;
    ByteCount += n;
    if (!WriteReceived(block, static_cast<std::size_t>(n))) {
        CutShort("the local file could not be written");
        Display("! Error writing local file");
        data_->ShutDown(2);
    } else if (OnListingData && transfer_.verb != "RETR") {
        OnListingData(this, {block, static_cast<std::size_t>(n)}, false);
    }
}

bool FtpClient::WriteReceived(const char* data, std::size_t size) {
    if (!transfer_.text)
        return localFile_.Write(data, static_cast<int>(size));
    transfer_.converted.clear();
    transfer_.fromNetwork.Convert({data, size}, transfer_.converted);
    return localFile_.Write(transfer_.converted.data(),
                            static_cast<int>(transfer_.converted.size()));
}

// The data of an accepted download has ended. A clean end with no byte is an
// empty file on the server, and only then may it replace the local one.
void FtpClient::EndReceivedFile() {
    FinishReceivedText();
    if (transfer_.cutShort.empty() && transfer_.closeError == 0 && !localFile_.Begin())
        CutShort("the local file could not be written");
    CloseLocalFile();
}

// The data has ended: a CR that waited for its LF is the file's last byte.
void FtpClient::FinishReceivedText() {
    if (!transfer_.text || !localFile_.IsOpen())
        return;
    transfer_.converted.clear();
    transfer_.fromNetwork.Finish(transfer_.converted);
    if (!localFile_.Write(transfer_.converted.data(), static_cast<int>(transfer_.converted.size())))
        CutShort("the local file could not be written");
}

// The reply to RETR, LIST, NLST, STOR or APPE: 150 or 125 lets the transfer
// run, anything else ends the request with its code.
bool FtpClient::AcceptFirstReply() {
    Display("< " + request_.lastResponse);
    if (IsOneOf(request_.statusCode, {150, 125})) {
        request_.awaitingReply = true;
        return true;
    }
    if (request_.statusCode >= 100 && request_.statusCode < 200) {
        request_.awaitingReply = true; // another preliminary reply; the first one is still to come
        return false;
    }
    SetErrorMessage(request_.lastResponse);
    request_.next = nullptr;
    if (data_->State() != SocketState::wsClosed)
        data_->Close();
    CloseLocalFile();
    ResumeAt = 0;
    request_.result = request_.statusCode;
    TriggerRequestDone(static_cast<std::uint16_t>(request_.statusCode));
    return false;
}

// The reply that ends a transfer on the server's side; the transfer is over
// once the data connection has closed as well.
void FtpClient::FinalReply(std::initializer_list<int> accepted, const char* failure) {
    Display("< " + request_.lastResponse);
    if (request_.statusCode >= 100 && request_.statusCode < 200) {
        if (transfer_.cutShort.empty()) {
            request_.awaitingReply = true; // preliminary: the final reply is still to come
            return;
        }
        // The server's end of a transfer this side cut short (IsAbortTrailer):
        // it fails as cut short, whatever the code says.
        transfer_.finalReply = true;
        CheckTransferEnd();
        return;
    }
    if (!IsOneOf(request_.statusCode, accepted)) {
        SetErrorMessage(request_.lastResponse);
        CloseLocalFile();
        if (data_->State() != SocketState::wsClosed)
            data_->Close();
        Display(failure);
        request_.result = request_.statusCode;
        TriggerRequestDone(static_cast<std::uint16_t>(request_.statusCode));
        return;
    }
    transfer_.finalReply = true;
    // An upload whose server has answered needs its data connection no more.
    if (transfer_.endOfFile && data_->State() != SocketState::wsClosed)
        data_->Close();
    CheckTransferEnd();
}

void FtpClient::GetFirstReply() {
    if (!AcceptFirstReply())
        return;
    request_.next = &FtpClient::GetFinalReply;
    transfer_.accepted = true;
    StartDataTlsWhenDue();
    // Only an accepted transfer may replace what the local file held, and only
    // with bytes of its own: one cut before its first byte leaves the file whole.
    if (!transfer_.held.empty() && !WriteReceived(transfer_.held.data(), transfer_.held.size()))
        CutShort("the local file could not be written");
    else if (OnListingData && transfer_.verb != "RETR")
        OnListingData(this, transfer_.held, true);
    transfer_.held.clear();
    if (transfer_.dataClosed)
        EndReceivedFile();
    if (transfer_.verb == "RETR" && Binary)
        transfer_.announced = ftptransfer::AnnouncedSize(request_.lastResponse);
}

void FtpClient::GetFinalReply() {
    FinalReply({226, 250}, "! RETR/LIST/NLST Failed");
}

// --- uploads ------------------------------------------------------------------------

void FtpClient::DoPutAsync(bool append) {
    if (!connected_)
        throw FtpException("STOR/APPE: not connected");
    if (LocalFileName.empty())
        throw FtpException("LocalFileName empty");
    CheckArguments(StepBit(append ? FtpStep::Append : FtpStep::Put));
    request_.type = append ? FtpRequest::AppendAsync : FtpRequest::PutAsync;
    request_.currentStep = append ? FtpStep::Append : FtpStep::Put;
    transfer_ = Transfer{};
    transfer_.verb = append ? "APPE" : "STOR";
    transfer_.upload = true;
    transfer_.text = !Binary;
    request_.done = false;
    ByteCount = 0;
    data_->OnSessionAvailable = [this](AsyncSocket*, std::uint16_t) {
        Contained([&] { AcceptForPut(); });
    };
    if (!OpenPutFile())
        return;
    if (passive_) {
        // The command waits until the data connection is up.
        ConnectPassive(426, &FtpClient::ConnectedForPut);
        return;
    }
    const bool queued = TakeQueuedConnection();
    SendTransferCommand(&FtpClient::PutFirstReply);
    if (queued)
        AcceptForPut();
}

bool FtpClient::OpenPutFile() {
    CloseLocalFile();
    if (localFile_.Open(LocalFileName, LocalFile::Mode::Read, ResumeAt > 0 ? ResumeAt : 0))
        return true;
    request_.errorMessage = "426 Unable to open local file " + LocalFileName;
    request_.statusCode = 426;
    Display("! " + request_.errorMessage);
    if (data_->State() != SocketState::wsClosed)
        data_->Close();
    request_.result = 426;
    TriggerRequestDone(426);
    return false;
}

void FtpClient::AcceptForPut() {
    if (!AcceptTransfer(&FtpClient::PutDrain, &FtpClient::PutSend))
        return;
    data_->SetSendBlockSize(uploadBlock_);
    if (data_->SendBufferSize() < 0)
        throw FtpException("winsock.getsockopt(SO_SNDBUF) failed");
    data_->LingerOnOff = SocketLinger::wsLingerOff;
    data_->LingerTimeout = 10;
    data_->SetLingerOption();
    // Over TLS the data connection is ready once its handshake is done.
    transfer_.dataReady = !protectedData_;
    if (!DataConnected())
        return;
    StartDataTlsWhenDue();
    if (transfer_.dataReady && transfer_.got150 && !transfer_.sending)
        QMetaObject::invokeMethod(
            this, [this] { Contained([&] { StartSending(); }); }, Qt::QueuedConnection);
}

void FtpClient::ConnectedForPut(std::uint16_t error) {
    WatchTransfer(nullptr, nullptr);
    transfer_.dataReady = !protectedData_;
    transfer_.start = Clock::now();
    if (error != 0) {
        CloseLocalFile();
        FailTransfer(550, "Unable to establish data connection, error #" + std::to_string(error));
        return;
    }
    data_->SetSendBlockSize(uploadBlock_);
    transfer_.dataConnected = true;
    SendTransferCommand(&FtpClient::PutFirstReply);
}

void FtpClient::PutDrain(std::uint16_t) {
    char discard[ftptransfer::kDownloadBlock];
    data_->Receive(discard, sizeof discard);
}

void FtpClient::PutFirstReply() {
    if (!AcceptFirstReply())
        return;
    transfer_.got150 = true;
    StartDataTlsWhenDue();
    request_.next = &FtpClient::PutFinalReply;
    if (passive_) {
        data_->OnDataSent = DataEvent(&FtpClient::PutSend);
        if (transfer_.dataReady) {
            transfer_.sending = true;
            PutSend(0);
        }
    } else if (transfer_.dataReady && !transfer_.sending) {
        QMetaObject::invokeMethod(
            this, [this] { Contained([&] { StartSending(); }); }, Qt::QueuedConnection);
    }
}

void FtpClient::StartSending() {
    if (transfer_.sending)
        return;
    transfer_.sending = true;
    transfer_.start = Clock::now();
    PutSend(0);
}

// Called when the socket has passed everything on. Blocks go out one after
// the other while the system takes them whole, straight from the file's
// buffer; a block it takes only in part waits in the socket's queue, and its
// drain calls again. The progress handler may stop the upload between blocks.
void FtpClient::PutSend(std::uint16_t error) {
    const Clock::time_point start = Clock::now();
    for (;;) {
        if (!localFile_.IsOpen())
            return;
        if (!FireProgress() || !localFile_.IsOpen())
            return;
        if (error != 0) {
            Display("! Error #" + std::to_string(error) + " sending data");
            CutShort("send error " + std::to_string(error));
            data_->Close();
            return;
        }
        if (transfer_.endOfFile || !transfer_.got150 || !transfer_.dataReady)
            return;
        if (!SendNextBlock())
            return;
        if (data_->BufferedByteCount() > 0)
            return; // the socket's drain calls again
        // Replies, a stop and the windows are served every few milliseconds.
        if (Clock::now() - start >= kSendSlice) {
            data_->PostDataSent();
            return;
        }
    }
}

// False when the upload has ended (end of file, or a failure).
bool FtpClient::SendNextBlock() {
    char* const block = DataBlock(uploadBlock_);
    const int n = localFile_.Read(block, uploadBlock_);
    if (n > 0) {
        ByteCount += n; // the file's bytes, whatever the line ends add on the wire
        if (transfer_.text) {
            transfer_.converted.clear();
            transfer_.toNetwork.Convert({block, static_cast<std::size_t>(n)}, transfer_.converted);
            data_->SendNow(transfer_.converted.data(),
                           static_cast<int>(transfer_.converted.size()));
        } else {
            data_->SendNow(block, n);
        }
        return data_->State() == SocketState::wsConnected;
    }
    if (n == 0) {
        transfer_.endOfFile = true;
        // Over TLS the server's side of the close is awaited: closing at once
        // could reset the connection before it has read our last records.
        if (transfer_.tls && data_->FinishSending())
            return false;
    } else {
        CutShort("the local file could not be read");
        Display("! Error reading file");
    }
    data_->Close();
    return false;
}

void FtpClient::PutFinalReply() {
    FinalReply({226, 250}, "! STOR Failed");
}

// --- the end of a transfer -----------------------------------------------------------

void FtpClient::TransferClosed(std::uint16_t error) {
    const bool upload = transfer_.upload;
    // A reset that follows this side's own cut (a full disk, an abort) is its
    // effect, not the cause the request reports.
    const bool cutBefore = !transfer_.cutShort.empty();
    if (upload && !transfer_.endOfFile)
        CutShort("the data connection closed before the whole file was sent");
    if (transfer_.tls && !data_->TlsError().empty())
        CutShort("TLS on the data connection failed: " + data_->TlsError());
    else if (transfer_.tls && !upload && data_->CutWithoutTlsClose())
        CutShort("the server closed the data connection without a TLS close");
    transfer_.dataClosed = true;
    transfer_.closeError = cutBefore ? 0 : error;
    // A download's held bytes still go to the file once the server accepts.
    if (upload)
        CloseLocalFile();
    else if (transfer_.accepted)
        EndReceivedFile();
    CheckTransferEnd();
}

// A transfer is over when both the final reply and the close of the data
// connection have been seen, in whichever order they came.
void FtpClient::CheckTransferEnd() {
    if (!transfer_.finalReply || !transfer_.dataClosed || request_.done)
        return;
    DetachDataHandlers();
    Display("! " + ftptransfer::StatisticsLine(ByteCount, MillisecondsSince(transfer_.start)));
    // A vsftpd-style "150 ... (1200000 bytes)." tells what a whole download holds.
    if (transfer_.announced >= 0 &&
        ByteCount + std::max<std::int64_t>(ResumeAt, 0) < transfer_.announced)
        CutShort("the data connection closed after " + std::to_string(ByteCount) + " of " +
                 std::to_string(transfer_.announced) + " bytes");
    ResumeAt = 0;
    request_.result = transfer_.closeError;
    // The server may have answered 226 for what it sent, but the local side
    // knows the transfer is not whole: that is never a success.
    if (!transfer_.cutShort.empty()) {
        request_.result = request_.result != 0 ? request_.result : kCutShort;
        request_.lastResponse = "426 Transfer cut short: " + transfer_.cutShort;
        request_.statusCode = kCutShort;
        SetErrorMessage(request_.lastResponse);
    }
    TriggerRequestDone(static_cast<std::uint16_t>(request_.result));
}

// --- after a transfer ------------------------------------------------------------------

// A download whose local size differs from the server's is not whole, whatever
// the 226 said. SIZE is asked where offered (the listing may be old); else the
// listing's size is taken.
void FtpClient::CheckSizeAsync() {
    if (features_.size) {
        ExecAsync(FtpRequest::GetAsync, FtpStep::CheckSize, "SIZE " + HostFileName, {213},
                  &FtpClient::CheckSizeDone);
        return;
    }
    request_.currentStep = FtpStep::CheckSize;
    request_.statusCode = 0;
    request_.done = false;
    CheckSizeDone();
}

void FtpClient::CheckSizeDone() {
    std::int64_t expected = std::exchange(ListedSize, -1);
    if (request_.statusCode == 213) {
        std::size_t pos = 0;
        ftpreply::ReadNumber(request_.lastResponse, pos);
        expected = ftpreply::ReadNumber(request_.lastResponse, pos);
    }
    request_.result = 0;
    request_.errorMessage.clear();
    std::error_code error;
    const auto local = std::filesystem::file_size(LocalFileName, error);
    if (expected < 0 || (request_.statusCode != 213 && expected == 0) || error ||
        static_cast<std::int64_t>(local) == expected) {
        TriggerRequestDone(0);
        return;
    }
    request_.savedStatus = -1; // the failure is the request's answer, not the 226
    request_.result = kCutShort;
    request_.statusCode = kCutShort;
    request_.lastResponse = "426 Size differs: " + std::to_string(local) + " bytes here, " +
                            std::to_string(expected) + " on the server";
    SetErrorMessage(request_.lastResponse);
    Display("! " + request_.lastResponse);
    TriggerRequestDone(kCutShort);
}

void FtpClient::FileTimeDone() {
    std::optional<std::int64_t> time;
    if (request_.statusCode == 213)
        time = ftptransfer::ParseFactTime(text::TrimBlanks(request_.lastResponse.substr(3)));
    if (!time) {
        GoOnDespiteRefusal("! No usable modification time: the file keeps the time of its arrival");
        return;
    }
    const timespec times[2] = {{0, UTIME_NOW}, {static_cast<time_t>(*time), 0}};
    const bool set = ::utimensat(AT_FDCWD, LocalFileName.c_str(), times, 0) == 0;
    GoOnDespiteRefusal(set ? "" : "! The local file's time could not be set");
}

void FtpClient::SetFileTimeAsync() {
    struct stat info {};
    if (::stat(LocalFileName.c_str(), &info) != 0) {
        request_.currentStep = FtpStep::SetFileTime;
        request_.done = false;
        TriggerRequestDone(0);
        return;
    }
    ExecAsync(FtpRequest::PutAsync, FtpStep::SetFileTime,
              "MFMT " + ftptransfer::FactTime(info.st_mtim.tv_sec) + " " + HostFileName, {0},
              &FtpClient::OptionalStepDone);
}
