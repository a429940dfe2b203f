#pragma once

#include "net/SocketErrors.h"
#include "net/WSockbuf.h"

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
#include <vector>

class QHostInfo;
class QSocketNotifier;

using TSocket = int;
inline constexpr TSocket INVALID_SOCKET = -1;

// A socket's life only moves forward from wsClosed and back to it on close.
enum class TSocketState : std::uint8_t {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed,
};
const char* SocketStateName(TSocketState state);

enum class TSocketLingerOnOff : std::uint8_t { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum class TSocketSendFlags : std::uint8_t { wsSendNormal, wsSendUrgent };

struct TWSocketOptions {
    bool wsoNoReceiveLoop = false; // call OnDataAvailable once per notification
};

struct TSockAddrText {
    std::string Addr; // dotted
    int Port = 0;
};

// True for exactly four dot-separated decimal groups of at most 255, optionally
// preceded and followed by blanks.
bool WSocketIsDottedIP(std::string_view text);
// The address of such a text, every group read as decimal.
std::optional<in_addr> ParseDottedIP(std::string_view text);

// Resolution of a socket's settings; each raises ESocketException with the
// reason. A host name is looked up at once (blocking).
in_addr WSocketResolveHost(const std::string& host);
std::uint16_t WSocketResolvePort(const std::string& port, const std::string& proto);
int WSocketResolveProto(const std::string& proto);

// Non-blocking TCP (or UDP) socket driven by the Qt event loop of the thread
// that created it. Every result arrives later through the On... events; the
// event handlers may close, reconnect or destroy nothing but what they own.
class TCustomWSocket : public QObject {
    Q_OBJECT

public:
    using TErrorEvent = std::function<void(TCustomWSocket* sender, std::uint16_t error)>;

    explicit TCustomWSocket(QObject* parent = nullptr);
    ~TCustomWSocket() override;
    TCustomWSocket(const TCustomWSocket&) = delete;
    TCustomWSocket& operator=(const TCustomWSocket&) = delete;

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
    TSocketState State() const { return state_; }
    std::int64_t ReadCount() const { return readCount_; }
    int LastError() const { return lastError_; }
    TSocket HSocket() const { return handle_; }
    TSocketSendFlags SendFlags() const { return sendFlags_; }
    void SetSendFlags(int value);
    // The remote address of the last connect or accept, dotted.
    std::string PeerAddr() const;
    int PeerPort() const;

    bool MultiThreaded = false;
    TWSocketOptions ComponentOptions;
    TSocketLingerOnOff LingerOnOff = TSocketLingerOnOff::wsLingerOn;
    int LingerTimeout = 0;
    int FlushTimeout = 60;

    // Events.
    TErrorEvent OnSessionConnected;
    TErrorEvent OnSessionAvailable;
    TErrorEvent OnDataAvailable;
    TErrorEvent OnDataSent;
    TErrorEvent OnSessionClosed;
    TErrorEvent OnDnsLookupDone;
    std::function<void(TCustomWSocket* sender, int bytesSent)> OnSendData;
    std::function<void(TCustomWSocket* sender, TSocketState oldState, TSocketState newState)>
        OnChangeState;
    std::function<void(TCustomWSocket* sender)> OnError;
    std::function<void(TCustomWSocket* sender, const std::exception& e, bool& canClose)>
        OnBgException;

    // Operations.
    virtual void DnsLookup(const std::string& host);
    virtual void CancelDnsLookup();
    virtual void Connect();
    virtual void Listen();
    TSocket Accept();
    void Dup(TSocket handle);
    virtual void Close();
    virtual void Abort();
    void ShutDown(int how);
    int Send(const void* data, int len);
    int SendStr(std::string_view text);
    virtual int Receive(void* buffer, int len);
    TSockAddrText GetSockName();
    void SetLingerOption();
    void MessagePump();
    bool Terminated() const { return terminated_; }
    // Bytes waiting in the send queue (not yet passed to the system).
    std::int64_t BufferedByteCount() const;
    // Size of each block of the send queue (1514 unless set); one block is
    // one call to the system.
    void SetSendBlockSize(int size) { sendBlockSize_ = size > 0 ? size : TBuffer::DefaultSize; }
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
    // Changes whenever the socket takes or drops a handle.
    std::uint64_t Connection() const { return serial_; }
    // The settings a closed socket returns to; called on every close.
    virtual void ApplyCloseDefaults();
    void RaiseException(const std::string& text);
    void ChangeState(TSocketState newState);
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
    void ReceiveLoop();
    void TryToSend();
    void OnReadReady();
    void OnWriteReady();
    void PostWritable();
    void Guarded(const std::function<void()>& work);
    void InternalClose(bool shutdownSend, std::uint16_t error);
    void CreateHandle(const char* func, bool reportOpened);
    void TakeHandle(TSocket handle);
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
    sockaddr_in sin_{};
    std::uint16_t localPortNumber_ = 0;

    std::string dnsResult_;
    std::vector<std::string> dnsResultList_;
    int lookupId_ = -1;

    TSocket handle_ = INVALID_SOCKET;
    // Tells connections apart: the system reuses a closed descriptor number at
    // once, so a queued notification or a handler that reconnects must not be
    // mistaken for the connection it belonged to.
    std::uint64_t serial_ = 0;
    TSocketState state_ = TSocketState::wsClosed;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    std::int64_t readCount_ = 0;
    int lastError_ = 0;
    TSocketSendFlags sendFlags_ = TSocketSendFlags::wsSendNormal;
    bool closeReported_ = false;
    bool terminated_ = false;
    bool destroying_ = false;
    std::deque<TBuffer> sendQueue_;
    int sendBlockSize_ = TBuffer::DefaultSize;
};

enum class TSocksAuthentication : std::uint8_t { socksNoAuthentication, socksAuthenticateUsercode };

enum class TSocksAuthState : std::uint8_t {
    socksAuthStart,
    socksAuthSuccess,
    socksAuthFailure,
    socksAuthNotRequired,
};

// Reaches the destination through a SOCKS 4, 4A or 5 proxy when SocksServer
// is set: Connect opens the connection to the proxy, negotiates, and only
// then reports OnSessionConnected, so the owner sees an ordinary connection.
// Without a SOCKS server it passes everything on.
class TCustomSocksWSocket : public TCustomWSocket {
public:
    using TCustomWSocket::TCustomWSocket;

    const std::string& SocksServer() const { return socksServer_; }
    void SetSocksServer(std::string_view value);
    const std::string& SocksPort() const { return socksPort_; }
    void SetSocksPort(std::string_view value);
    const std::string& SocksLevel() const { return socksLevel_; }
    void SetSocksLevel(std::string_view value);
    std::string SocksUsercode;
    std::string SocksPassword;
    TSocksAuthentication SocksAuthentication = TSocksAuthentication::socksNoAuthentication;

    // What a version 5 proxy reported as the address it bound for us.
    const std::string& BoundAddr() const { return boundAddr_; }
    const std::string& BoundPort() const { return boundPort_; }

    TErrorEvent OnSocksConnected;
    std::function<void(TCustomWSocket* sender, int error, const std::string& msg)> OnSocksError;
    std::function<void(TCustomWSocket* sender, TSocksAuthState state)> OnSocksAuthState;

    void Connect() override;
    void Listen() override;
    int Receive(void* buffer, int len) override;

protected:
    void TriggerSessionConnected(std::uint16_t error) override;
    void TriggerDataAvailable(std::uint16_t error) override;
    void TriggerSessionClosed(std::uint16_t error) override;
    int PendingBytes() override;
    void ApplyCloseDefaults() override;

private:
    enum class Negotiation : std::uint8_t { None, ProxyConnect, Authenticating, ConnectSent };

    void ChangeSetting(std::string& setting, std::string_view value, const char* refusal);
    bool UsingSocks() const { return !socksServer_.empty(); }
    bool Version5() const { return socksLevel_ == "5"; }
    void Negotiate();
    void MethodAnswer();
    void AuthenticationAnswer();
    void ConnectAnswer5();
    void ConnectAnswer4();
    void SendAuthentication();
    void SendConnectRequest();
    void Granted(std::size_t answerLength);
    void Fail(int error, const std::string& text);
    void CheckRequestFits() const;
    void SendBytes(const std::vector<std::uint8_t>& bytes);

    std::string socksServer_;
    std::string socksPort_;
    std::string socksLevel_ = "5";
    Negotiation negotiation_ = Negotiation::None;
    std::uint8_t methodOffered_ = 0;
    std::uint16_t destinationPort_ = 0;
    in_addr destinationAddr_{}; // versions 4: the destination resolved
    std::array<std::uint8_t, 128> answer_{};
    std::size_t answerCount_ = 0;
    std::string boundAddr_;
    std::string boundPort_;
    std::string early_; // bytes that came after the proxy's answer
    std::size_t earlyPos_ = 0;
};

class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    using TCustomSocksWSocket::TCustomSocksWSocket;
};

class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    using TCustomLineWSocket::TCustomLineWSocket;
};

class TWSocket : public TCustomSyncWSocket {
public:
    using TCustomSyncWSocket::TCustomSyncWSocket;
};
