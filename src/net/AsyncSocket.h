#pragma once

#include "net/SendBuffer.h"
#include "net/SocketErrors.h"

#include <QObject>
#include <array>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <vector>

class QHostInfo;
class QSocketNotifier;

using SocketHandle = int;
inline constexpr SocketHandle INVALID_SOCKET = -1;

// A socket's life only moves forward from wsClosed and back to it on close.
enum class SocketState : std::uint8_t {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed,
};
const char* SocketStateName(SocketState state);

enum class SocketLinger : std::uint8_t { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum class SocketSendFlags : std::uint8_t { wsSendNormal, wsSendUrgent };

struct SocketOptions {
    bool wsoNoReceiveLoop = false; // call OnDataAvailable once per notification
};

struct SocketAddressText {
    std::string Addr; // dotted, or an IPv6 address as inet_ntop writes it
    int Port = 0;
};

// True for exactly four dot-separated decimal groups of at most 255, optionally
// preceded and followed by blanks.
bool IsDottedIP(std::string_view text);
// The address of such a text, every group read as decimal.
std::optional<in_addr> ParseDottedIP(std::string_view text);

// Resolution of a socket's settings; each raises SocketException with the
// reason. A host name is looked up at once (blocking).
in_addr ResolveHost(const std::string& host);
// The same for IPv4 or IPv6: a dotted address, an IPv6 literal (brackets
// allowed) or a name, whose first address is taken. The port is 0.
sockaddr_storage ResolveAddress(const std::string& host);
std::uint16_t ResolvePort(const std::string& port, const std::string& proto);
int ResolveProto(const std::string& proto);

// Non-blocking TCP (or UDP) socket driven by the Qt event loop of the thread
// that created it. Every result arrives later through the On... events; the
// event handlers may close, reconnect or destroy nothing but what they own.
class AsyncSocket : public QObject {
    Q_OBJECT

public:
    using ErrorEvent = std::function<void(AsyncSocket* sender, std::uint16_t error)>;

    explicit AsyncSocket(QObject* parent = nullptr);
    ~AsyncSocket() override;
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    // Properties. Writing Addr, Port, Proto, LocalAddr or LocalPort while the
    // socket is not closed is refused, unless the value does not change.
    const std::string& Addr() const { return addr_; }
    void SetAddr(std::string_view value);
    const std::string& Port() const { return port_; }
    void SetPort(std::string_view value);
    const std::string& Proto() const { return proto_; }
    void SetProto(std::string_view value);
    const std::string& LocalAddr() const { return localAddr_; }
    void SetLocalAddr(std::string_view value);
    const std::string& LocalPort() const { return localPort_; }
    void SetLocalPort(std::string_view value);

    const std::string& DnsResult() const { return dnsResult_; }
    const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
    SocketState State() const { return state_; }
    std::int64_t ReadCount() const { return readCount_; }
    int LastError() const { return lastError_; }
    SocketHandle HSocket() const { return handle_; }
    SocketSendFlags SendFlags() const { return sendFlags_; }
    void SetSendFlags(int value);
    // The remote address of the last connect or accept, dotted.
    std::string PeerAddr() const;
    int PeerPort() const;

    bool MultiThreaded = false;
    SocketOptions ComponentOptions;
    SocketLinger LingerOnOff = SocketLinger::wsLingerOn;
    int LingerTimeout = 0;
    int FlushTimeout = 60;

    // Events.
    ErrorEvent OnSessionConnected;
    ErrorEvent OnSessionAvailable;
    ErrorEvent OnDataAvailable;
    ErrorEvent OnDataSent;
    ErrorEvent OnSessionClosed;
    ErrorEvent OnDnsLookupDone;
    std::function<void(AsyncSocket* sender, int bytesSent)> OnSendData;
    std::function<void(AsyncSocket* sender, SocketState oldState, SocketState newState)>
        OnChangeState;
    std::function<void(AsyncSocket* sender)> OnError;
    std::function<void(AsyncSocket* sender, const std::exception& e, bool& canClose)> OnBgException;

    // Operations.
    virtual void DnsLookup(const std::string& host);
    virtual void CancelDnsLookup();
    virtual void Connect();
    virtual void Listen();
    SocketHandle Accept();
    void Dup(SocketHandle handle);
    virtual void Close();
    virtual void Abort();
    void ShutDown(int how);
    // Virtual, as Receive is, so that a layer above (TLS) can encrypt what
    // the owner sends; the layer reaches the network through AsyncSocket's own.
    virtual int Send(const void* data, int len);
    // Hands the system what it takes at once straight from `data` and queues
    // only the rest (queued bytes always go first). Unlike Send, no OnDataSent
    // follows when everything was taken: the caller learns that from
    // BufferedByteCount() and goes on itself, or asks for one with PostDataSent.
    virtual int SendNow(const void* data, int len);
    // OnDataSent from the event loop, once, unless the connection has changed by then.
    void PostDataSent();
    int SendStr(std::string_view text);
    virtual int Receive(void* buffer, int len);
    SocketAddressText GetSockName();
    void SetLingerOption();
    void MessagePump();
    bool Terminated() const { return terminated_; }
    // Bytes waiting in the send queue (not yet passed to the system).
    std::int64_t BufferedByteCount() const;
    // Size of each block of the send queue (1514 unless set); one block is
    // one call to the system.
    void SetSendBlockSize(int size) { sendBlockSize_ = size > 0 ? size : SendBuffer::DefaultSize; }
    int SendBlockSize() const { return sendBlockSize_; }
    // The system's send buffer size of the open handle, -1 when unknown.
    int SendBufferSize() const;

protected:
    // Points where a layer above (SOCKS) takes over what the application sees.
    virtual void TriggerSessionConnected(std::uint16_t error);
    virtual void TriggerDataAvailable(std::uint16_t error);
    virtual void TriggerSessionClosed(std::uint16_t error);
    virtual void TriggerDnsLookupDone(std::uint16_t error);

    // Raises the socket error of `func` for the given (Winsock) number; with
    // OnError set, reports through it instead.
    void SocketError(const std::string& func, int error);
    // Connect's refusals of missing settings.
    void CheckConnectable();
    // Connect goes to this address and port instead of Addr and Port.
    void SetRemoteTarget(in_addr address, std::uint16_t port);
    // Bytes that Receive would return now.
    virtual int PendingBytes();
    // An orderly close that reports `error` through OnSessionClosed.
    void CloseWithError(std::uint16_t error);
    void AddReadCount(int count) { readCount_ += count; }
    void SetLastError(int error) { lastError_ = error; }
    // Changes whenever the socket takes or drops a handle.
    std::uint64_t Connection() const { return serial_; }
    // The settings a closed socket returns to; called on every close.
    virtual void ApplyCloseDefaults();
    void RaiseException(const std::string& text);
    void ChangeState(SocketState newState);
    bool AcceptsChange(const std::string& current, std::string_view value, const char* refusal);
    bool InDestructor() const { return destroying_; }

private slots:
    // Connected by name: Qt 6.4 leaks the functor of a look-up whose context
    // object is destroyed before the result arrives.
    void HostLookedUp(const QHostInfo& info);

private:
    enum Condition : unsigned {
        kConnected = 1,
        kReadable = 2,
        kWritable = 4,
        kIncoming = 8,
        kClosed = 16,
    };

    void Dispatch(unsigned conditions, std::uint16_t error);
    // `bounded`: gives the event loop back after a few milliseconds.
    void ReceiveLoop(bool bounded);
    void TryToSend();
    void OnReadReady();
    void OnWriteReady();
    void PostWritable();
    void Enqueue(const char* data, int len);
    int SendSystemFlags() const;
    void SendFailed(int err);
    void Guarded(const std::function<void()>& work);
    void InternalClose(bool shutdownSend, std::uint16_t error);
    void CreateHandle(const char* func, bool reportOpened);
    void TakeHandle(SocketHandle handle);
    void WatchHandle();
    void UpdateWriteWatch();
    void ReleaseHandle();
    void ResolveAll(const char* prefix);
    void ForgetLookup();
    void LookupFinished(int lookupId, int error, const std::vector<std::string>& addresses);

    std::string addr_;
    std::string port_;
    std::string proto_ = "tcp";
    std::string localAddr_ = "0.0.0.0";
    std::string localPort_ = "0";
    bool addrAssigned_ = false;
    bool portAssigned_ = false;
    bool protoAssigned_ = true;
    bool addrResolved_ = false;
    bool portResolved_ = false;
    bool protoResolved_ = false;
    bool localPortResolved_ = false;
    int protoNumber_ = 6;
    bool datagram_ = false;
    sockaddr_storage sin_{}; // the peer: IPv4 or IPv6
    std::uint16_t portNumber_ = 0;
    std::uint16_t localPortNumber_ = 0;

    std::string dnsResult_;
    std::vector<std::string> dnsResultList_;
    int lookupId_ = -1;

    SocketHandle handle_ = INVALID_SOCKET;
    // Tells connections apart: the system reuses a closed descriptor number at
    // once, so a queued notification or a handler that reconnects must not be
    // mistaken for the connection it belonged to.
    std::uint64_t serial_ = 0;
    SocketState state_ = SocketState::wsClosed;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    std::int64_t readCount_ = 0;
    int lastError_ = 0;
    SocketSendFlags sendFlags_ = SocketSendFlags::wsSendNormal;
    bool closeReported_ = false;
    bool terminated_ = false;
    bool destroying_ = false;
    std::deque<SendBuffer> sendQueue_;
    int sendBlockSize_ = SendBuffer::DefaultSize;
};
