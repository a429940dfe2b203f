#include "net/HostAddress.h"
#include "net/SocksSocket.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long one readiness event may keep reading while data keeps arriving.
constexpr std::chrono::milliseconds kReceiveSlice{4};

constexpr std::array<const char*, 8> kStateNames{
    "wsInvalidState", "wsOpened",    "wsBound",     "wsConnecting",
    "wsConnected",    "wsAccepting", "wsListening", "wsClosed",
};
static_assert(kStateNames.size() == static_cast<std::size_t>(SocketState::wsClosed) + 1);

std::string Trim(std::string_view s) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

std::string Format(const char* format, const std::string& text, int number) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, text.c_str(), number);
    return buf;
}

std::string FormatNumber(const char* format, int number) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, number);
    return buf;
}

// Used when the system's services and protocols databases are missing (a bare
// container has no /etc/services): the names an FTP client is likely to meet.
struct NamedNumber {
    const char* name;
    int number;
};
constexpr std::array<NamedNumber, 8> kWellKnownServices{{
    {"ftp-data", 20},
    {"ftp", 21},
    {"ssh", 22},
    {"telnet", 23},
    {"smtp", 25},
    {"http", 80},
    {"https", 443},
    {"socks", 1080},
}};
constexpr std::array<NamedNumber, 3> kWellKnownProtocols{{{"ip", 0}, {"tcp", 6}, {"udp", 17}}};

int LookUpName(const auto& table, const std::string& name) {
    for (const auto& row : table)
        if (name == row.name)
            return row.number;
    return -1;
}

// Reads a decimal number after leading blanks, stopping at the first non-digit.
int LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long>(value * 10 + (text[i] - '0'), 1L << 30);
    return static_cast<int>(value);
}

bool StartsWithDigit(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

} // namespace

int ResolveProto(const std::string& proto) {
    if (proto.empty() || proto.size() >= 32)
        throw SocketException("ResolveProto: Invalid Protocol.");
    if (StartsWithDigit(proto))
        return LeadingNumber(proto);
    // The well-known names first: every data connection names "tcp", and the
    // C library would read /etc/protocols for it each time.
    if (const int n = LookUpName(kWellKnownProtocols, proto); n >= 0)
        return n;
    if (const protoent* p = ::getprotobyname(proto.c_str()))
        return p->p_proto;
    throw SocketException(
        Format("ResolveProto: Cannot convert protocol '%s', Error #%d", proto, wsock::WSANO_DATA));
}

std::uint16_t ResolvePort(const std::string& port, const std::string& proto) {
    if (port.empty() || port.size() >= 32)
        throw SocketException("ResolvePort: Invalid Port.");
    if (StartsWithDigit(port))
        return static_cast<std::uint16_t>(LeadingNumber(port));
    if (const servent* s = ::getservbyname(port.c_str(), proto.c_str()))
        return ntohs(static_cast<std::uint16_t>(s->s_port));
    if (const int n = LookUpName(kWellKnownServices, port); n >= 0)
        return static_cast<std::uint16_t>(n);
    throw SocketException(
        Format("ResolvePort: Cannot convert port '%s', Error #%d", port, wsock::WSANO_DATA));
}

namespace {

struct AddressListFree {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListFree>;

// The addresses of a host name of `family`, in the system's order; raises
// SocketException with the reason when there are none.
AddressList LookUpName(const std::string& host, int family) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    AddressList owned(list);
    if (rc != 0 || list == nullptr)
        throw SocketException(Format("ResolveHost: Cannot convert host address '%s', Error #%d",
                                     host, rc != 0 ? wsock::FromGaiError(rc) : wsock::WSANO_DATA));
    return owned;
}

// The empty, the overlong and the dotted are never looked up.
bool IsLookedUp(const std::string& host) {
    return !host.empty() && host.size() < 257 && !ParseDottedIP(host);
}

} // namespace

// Blocking; the FTP engine always hands over a dotted address from an
// asynchronous look-up, so this only waits for callers that pass a name.
in_addr ResolveHost(const std::string& host) {
    if (host.empty() || host.size() >= 257)
        throw SocketException("ResolveHost: '" + host + "' Invalid Hostname.");
    if (const std::optional<in_addr> dotted = ParseDottedIP(host)) {
        if (dotted->s_addr == INADDR_NONE && Trim(host) != "255.255.255.255")
            throw SocketException("ResolveHost: '" + host + "' Invalid IP address.");
        return *dotted;
    }
    return reinterpret_cast<const sockaddr_in*>(LookUpName(host, AF_INET)->ai_addr)->sin_addr;
}

sockaddr_storage ResolveAddress(const std::string& host) {
    sockaddr_storage address{};
    const std::string bare = host.size() > 2 && host.front() == '[' && host.back() == ']'
                                 ? host.substr(1, host.size() - 2)
                                 : host;
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (net::IsIpv6Literal(bare) && ::inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        return address;
    }
    // A name is looked up once, for both families: its first address counts.
    if (IsLookedUp(host)) {
        const AddressList list = LookUpName(host, AF_UNSPEC);
        std::memcpy(&address, list->ai_addr,
                    std::min<std::size_t>(list->ai_addrlen, sizeof address));
        return address;
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_addr = ResolveHost(host);
    return address;
}

namespace {

std::string DottedText(in_addr address) {
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, buf, sizeof buf);
    return buf;
}

bool IsIpv6(const sockaddr_storage& address) {
    return address.ss_family == AF_INET6;
}

socklen_t AddressLength(const sockaddr_storage& address) {
    return IsIpv6(address) ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

std::string AddressText(const sockaddr_storage& address) {
    if (!IsIpv6(address))
        return DottedText(reinterpret_cast<const sockaddr_in&>(address).sin_addr);
    char buf[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, buf,
                sizeof buf);
    return buf;
}

std::uint16_t AddressPort(const sockaddr_storage& address) {
    return ntohs(IsIpv6(address) ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                                 : reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

void SetAddressPort(sockaddr_storage& address, std::uint16_t port) {
    if (IsIpv6(address))
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port);
}

// Errors that Windows Sockets reports through the connect notification rather
// than from the call; Linux may report them at once for loopback peers.
bool IsDeferredConnectError(int posixErrno) {
    return posixErrno == ECONNREFUSED || posixErrno == ETIMEDOUT || posixErrno == ENETUNREACH ||
           posixErrno == EHOSTUNREACH || posixErrno == ECONNRESET;
}

} // namespace

const char* SocketStateName(SocketState state) {
    return kStateNames[static_cast<std::size_t>(state)];
}

bool IsDottedIP(std::string_view text) {
    return ParseDottedIP(text).has_value();
}

// Groups are decimal whatever their leading zeros: "192.168.001.010" is .1.10,
// not the octal reading of inet_addr().
std::optional<in_addr> ParseDottedIP(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i < text.size() && text[i] == '.')
        return std::nullopt;
    std::uint32_t address = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (i >= text.size() || text[i] != '.')
                return std::nullopt;
            ++i;
        }
        int value = 0;
        const std::size_t start = i;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            value = std::min(value * 10 + (text[i] - '0'), 256);
        if (i == start || value > 255)
            return std::nullopt;
        address = address << 8 | static_cast<std::uint32_t>(value);
    }
    for (; i < text.size(); ++i)
        if (text[i] != ' ' && text[i] != '\t')
            return std::nullopt;
    in_addr result{};
    result.s_addr = htonl(address);
    return result;
}

// ---------------------------------------------------------------------------

AsyncSocket::AsyncSocket(QObject* parent)
    : QObject(parent), readNotifier_(new QSocketNotifier(QSocketNotifier::Read, this)),
      writeNotifier_(new QSocketNotifier(QSocketNotifier::Write, this)) {
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    connect(readNotifier_, &QSocketNotifier::activated, this, [this] { OnReadReady(); });
    connect(writeNotifier_, &QSocketNotifier::activated, this, [this] { OnWriteReady(); });
}

AsyncSocket::~AsyncSocket() {
    destroying_ = true;
    ForgetLookup();
    if (state_ != SocketState::wsClosed || handle_ != INVALID_SOCKET)
        InternalClose(true, 0);
}

// --- properties -------------------------------------------------------------

// Settings of an open socket are fixed; writing the value it already has is
// no change and so no error.
bool AsyncSocket::AcceptsChange(const std::string& current, std::string_view value,
                                const char* refusal) {
    if (value == current)
        return false;
    if (state_ != SocketState::wsClosed)
        RaiseException(refusal);
    return state_ == SocketState::wsClosed;
}

void AsyncSocket::SetAddr(std::string_view value) {
    if (!AcceptsChange(addr_, value, "Cannot change Addr if not closed"))
        return;
    addr_ = Trim(value);
    addrAssigned_ = !addr_.empty();
    addrResolved_ = false;
}

void AsyncSocket::SetPort(std::string_view value) {
    if (!AcceptsChange(port_, value, "Cannot change Port if not closed"))
        return;
    port_ = Trim(value);
    portAssigned_ = !port_.empty();
    portResolved_ = false;
}

void AsyncSocket::SetProto(std::string_view value) {
    if (!AcceptsChange(proto_, value, "Cannot change Proto if not closed"))
        return;
    proto_ = Trim(value);
    protoAssigned_ = !proto_.empty();
    protoResolved_ = false;
    portResolved_ = false; // a service name resolves per protocol
}

void AsyncSocket::SetLocalAddr(std::string_view value) {
    if (!AcceptsChange(localAddr_, value, "Cannot change LocalAddr if not closed"))
        return;
    std::string text = Trim(value);
    if (text.empty())
        text = "0.0.0.0";
    if (!IsDottedIP(text))
        RaiseException("SetLocalAddr(): Invalid IP address");
    localAddr_ = text;
}

void AsyncSocket::SetLocalPort(std::string_view value) {
    if (!AcceptsChange(localPort_, value, "Cannot change LocalPort if not closed"))
        return;
    localPort_ = Trim(value);
    localPortResolved_ = false;
}

void AsyncSocket::SetSendFlags(int value) {
    switch (value) {
    case 0:
        sendFlags_ = SocketSendFlags::wsSendNormal;
        return;
    case 1:
        sendFlags_ = SocketSendFlags::wsSendUrgent;
        return;
    default:
        RaiseException("Invalid SendFlags");
    }
}

std::string AsyncSocket::PeerAddr() const {
    return AddressText(sin_);
}

int AsyncSocket::PeerPort() const {
    return AddressPort(sin_);
}

int AsyncSocket::SendBufferSize() const {
    int size = 0;
    socklen_t len = sizeof size;
    if (handle_ == INVALID_SOCKET || ::getsockopt(handle_, SOL_SOCKET, SO_SNDBUF, &size, &len) != 0)
        return -1;
    return size;
}

std::int64_t AsyncSocket::BufferedByteCount() const {
    std::int64_t total = 0;
    for (const SendBuffer& b : sendQueue_)
        total += b.Unread();
    return total;
}

// --- errors -----------------------------------------------------------------

void AsyncSocket::RaiseException(const std::string& text) {
    if (OnError) {
        OnError(this);
        return;
    }
    throw SocketException(text);
}

void AsyncSocket::SocketError(const std::string& func, int error) {
    if (error == 0)
        return;
    if (error == wsock::WSAECONNRESET || error == wsock::WSAENOTCONN) {
        ReleaseHandle();
        ChangeState(SocketState::wsClosed);
    }
    lastError_ = error;
    RaiseException(wsock::ErrorText(error, func));
}

void AsyncSocket::ChangeState(SocketState newState) {
    const SocketState oldState = state_;
    if (oldState == newState)
        return;
    state_ = newState;
    if (OnChangeState)
        OnChangeState(this, oldState, newState);
}

// --- name look-up -----------------------------------------------------------

void AsyncSocket::DnsLookup(const std::string& host) {
    if (host.empty())
        RaiseException("DNS lookup: invalid host name.");
    ForgetLookup();
    dnsResult_.clear();
    dnsResultList_.clear();
    if (const std::optional<in_addr> dotted = ParseDottedIP(host)) {
        dnsResult_ = DottedText(*dotted);
        dnsResultList_.push_back(dnsResult_);
        TriggerDnsLookupDone(0);
        return;
    }
    if (const std::optional<net::HostAndPort> typed = net::SplitHostAndPort(host);
        typed && typed->port.empty() && net::IsIpv6Literal(typed->host)) {
        dnsResult_ = AddressText(ResolveAddress(typed->host));
        dnsResultList_.push_back(dnsResult_);
        TriggerDnsLookupDone(0);
        return;
    }
    lookupId_ =
        QHostInfo::lookupHost(QString::fromStdString(host), this, SLOT(HostLookedUp(QHostInfo)));
}

void AsyncSocket::HostLookedUp(const QHostInfo& info) {
    int error = 0;
    std::vector<std::string> found;
    switch (info.error()) {
    case QHostInfo::NoError:
        // IPv4 first, as always; IPv6 after it, for the hosts that have only that.
        for (const auto protocol : {QAbstractSocket::IPv4Protocol, QAbstractSocket::IPv6Protocol})
            for (const QHostAddress& a : info.addresses())
                if (a.protocol() == protocol && a.scopeId().isEmpty())
                    found.push_back(a.toString().toStdString());
        error = found.empty() ? wsock::WSANO_DATA : 0;
        break;
    case QHostInfo::HostNotFound:
        error = wsock::WSAHOST_NOT_FOUND;
        break;
    case QHostInfo::UnknownError:
        error = wsock::WSANO_RECOVERY;
        break;
    }
    LookupFinished(info.lookupId(), error, found);
}

// The look-up runs on to its end in Qt's pool and its result is dropped as
// stale; aborting it would leave Qt holding its receiver record.
void AsyncSocket::ForgetLookup() {
    lookupId_ = -1;
}

void AsyncSocket::LookupFinished(int lookupId, int error,
                                 const std::vector<std::string>& addresses) {
    if (lookupId != lookupId_)
        return;
    lookupId_ = -1;
    Guarded([&] {
        if (error == 0) {
            dnsResultList_ = addresses;
            dnsResult_ = addresses.front();
        }
        TriggerDnsLookupDone(static_cast<std::uint16_t>(error));
    });
}

void AsyncSocket::CancelDnsLookup() {
    if (lookupId_ == -1)
        return;
    ForgetLookup();
    if (!destroying_)
        TriggerDnsLookupDone(wsock::WSAEINTR);
}

// --- connect, listen, accept ------------------------------------------------

void AsyncSocket::ResolveAll(const char* prefix) {
    try {
        if (!protoResolved_) {
            protoNumber_ = ResolveProto(proto_);
            datagram_ = protoNumber_ == IPPROTO_UDP;
            protoResolved_ = true;
        }
        if (!portResolved_) {
            portNumber_ = ResolvePort(port_, proto_);
            portResolved_ = true;
        }
        if (!localPortResolved_) {
            localPortNumber_ = ResolvePort(localPort_, proto_);
            localPortResolved_ = true;
        }
        if (!addrResolved_) {
            sin_ = ResolveAddress(addr_);
            addrResolved_ = true;
        }
        SetAddressPort(sin_, portNumber_);
    } catch (const SocketException& e) {
        RaiseException(prefix + std::string(e.what()));
    }
}

void AsyncSocket::CreateHandle(const char* func, bool reportOpened) {
    const int type = (datagram_ ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC;
    const SocketHandle h =
        ::socket(IsIpv6(sin_) ? AF_INET6 : AF_INET, type, datagram_ ? IPPROTO_UDP : IPPROTO_TCP);
    if (h == INVALID_SOCKET) {
        SocketError(func, wsock::FromErrno(errno));
        return;
    }
    TakeHandle(h);
    if (reportOpened)
        ChangeState(SocketState::wsOpened);
}

void AsyncSocket::TakeHandle(SocketHandle handle) {
    handle_ = handle;
    ++serial_;
    readCount_ = 0;
    closeReported_ = false;
    sendQueue_.clear();
}

void AsyncSocket::CheckConnectable() {
    if (handle_ != INVALID_SOCKET && state_ != SocketState::wsClosed)
        RaiseException("Connect: Socket already in use");
    if (!portAssigned_)
        RaiseException("Connect: No Port Specified");
    if (!addrAssigned_)
        RaiseException("Connect: No IP Address Specified");
    if (!protoAssigned_)
        RaiseException("Connect: No Protocol Specified");
}

void AsyncSocket::SetRemoteTarget(in_addr address, std::uint16_t port) {
    sin_ = {};
    auto& v4 = reinterpret_cast<sockaddr_in&>(sin_);
    v4.sin_family = AF_INET;
    v4.sin_addr = address;
    v4.sin_port = htons(port);
    portNumber_ = port;
    addrResolved_ = true;
    portResolved_ = true;
}

void AsyncSocket::Connect() {
    CheckConnectable();
    ResolveAll("connect: ");
    sendQueue_.clear();
    CreateHandle("Connect (socket)", true);
    if (handle_ == INVALID_SOCKET)
        return;

    if (!datagram_) {
        const int on = 1;
        ::setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        SetLingerOption();
        ::setsockopt(handle_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    }
    if (datagram_ || localPortNumber_ != 0 || localAddr_ != "0.0.0.0") {
        // The local address is IPv4; an IPv6 connection binds the port alone.
        sockaddr_storage local{};
        local.ss_family = sin_.ss_family;
        if (!IsIpv6(sin_))
            reinterpret_cast<sockaddr_in&>(local).sin_addr =
                ParseDottedIP(localAddr_).value_or(in_addr{});
        SetAddressPort(local, localPortNumber_);
        if (::bind(handle_, reinterpret_cast<sockaddr*>(&local), AddressLength(local)) != 0)
            RaiseException(FormatNumber("winsock.bind failed, error #%d", wsock::FromErrno(errno)));
        socklen_t len = sizeof local;
        if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &len) != 0)
            RaiseException(
                FormatNumber("winsock.getsockname failed, error #%d", wsock::FromErrno(errno)));
        localPort_ = std::to_string(AddressPort(local));
        if (datagram_ && !IsIpv6(sin_) &&
            reinterpret_cast<const sockaddr_in&>(sin_).sin_addr.s_addr == INADDR_BROADCAST) {
            const int on = 1;
            ::setsockopt(handle_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        }
    }
    WatchHandle();

    const int rc =
        ::connect(handle_, reinterpret_cast<const sockaddr*>(&sin_), AddressLength(sin_));
    const int err = rc == 0 ? 0 : errno;
    if (datagram_) {
        if (err != 0)
            SocketError("Connect", wsock::FromErrno(err));
        ChangeState(SocketState::wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (err != 0 && err != EINPROGRESS && !IsDeferredConnectError(err)) {
        SocketError("Connect", wsock::FromErrno(err));
        return;
    }
    ChangeState(SocketState::wsConnecting);
    // The outcome, even an immediate refusal, is reported by the write watch.
    UpdateWriteWatch();
}

void AsyncSocket::Listen() {
    if (!portAssigned_)
        SocketError("listen: port not assigned", wsock::WSAEINVAL);
    if (!protoAssigned_)
        SocketError("listen: protocol not assigned", wsock::WSAEINVAL);
    if (!addrAssigned_)
        SocketError("listen: address not assigned", wsock::WSAEINVAL);
    ResolveAll("listen: ");
    CreateHandle("socket", false);
    if (handle_ == INVALID_SOCKET)
        return;
    if (::bind(handle_, reinterpret_cast<const sockaddr*>(&sin_), AddressLength(sin_)) != 0) {
        const int err = wsock::FromErrno(errno);
        ReleaseHandle();
        ChangeState(SocketState::wsClosed);
        SocketError("Bind", err);
        return;
    }
    ChangeState(SocketState::wsBound);
    if (!datagram_) {
        if (::listen(handle_, 5) != 0) {
            SocketError("Listen", wsock::FromErrno(errno));
            return;
        }
        ChangeState(SocketState::wsListening);
        WatchHandle();
        return;
    }
    ChangeState(SocketState::wsListening);
    ChangeState(SocketState::wsConnected);
    WatchHandle();
    TriggerSessionConnected(0);
}

SocketHandle AsyncSocket::Accept() {
    if (state_ != SocketState::wsListening) {
        SocketError("not a listening socket", wsock::WSAEINVAL);
        return INVALID_SOCKET;
    }
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    const SocketHandle h =
        ::accept4(handle_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (h == INVALID_SOCKET) {
        SocketError("Accept", wsock::FromErrno(errno));
        return INVALID_SOCKET;
    }
    sin_ = peer;
    return h;
}

void AsyncSocket::Dup(SocketHandle handle) {
    if (handle == INVALID_SOCKET) {
        SocketError("Dup", wsock::WSAEINVAL);
        return;
    }
    if (handle_ != INVALID_SOCKET) {
        ReleaseHandle();
        ChangeState(SocketState::wsClosed);
    }
    TakeHandle(handle);
    ::fcntl(handle_, F_SETFL, ::fcntl(handle_, F_GETFL) | O_NONBLOCK);
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(handle_, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
        sin_ = peer;
    SetLingerOption();
    WatchHandle();
    ChangeState(SocketState::wsConnected);
}

SocketAddressText AsyncSocket::GetSockName() {
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (handle_ == INVALID_SOCKET ||
        ::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        SocketError("GetSockName",
                    handle_ == INVALID_SOCKET ? wsock::WSAENOTSOCK : wsock::FromErrno(errno));
        return {};
    }
    return {AddressText(local), AddressPort(local)};
}

void AsyncSocket::SetLingerOption() {
    if (LingerOnOff == SocketLinger::wsLingerNoSet)
        return;
    if (handle_ == INVALID_SOCKET)
        RaiseException("Cannot set linger option at this time");
    // On Linux a linger time makes close() of a non-blocking socket block the
    // event loop, and a zero time resets the connection and drops data still in
    // the send buffer (a truncated upload). Either way the sound choice is to
    // let the system finish the close in the background.
    const linger value{0, 0};
    if (::setsockopt(handle_, SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0)
        SocketError("setsockopt(SO_LINGER)", wsock::FromErrno(errno));
}

void AsyncSocket::ShutDown(int how) {
    if (handle_ != INVALID_SOCKET)
        ::shutdown(handle_, how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR);
}

// --- readiness --------------------------------------------------------------

void AsyncSocket::WatchHandle() {
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    readNotifier_->setSocket(handle_);
    writeNotifier_->setSocket(handle_);
    readNotifier_->setEnabled(true);
    UpdateWriteWatch();
}

// The write watch stays off unless there is something to learn from it: the
// result of a connect, or room for queued data.
void AsyncSocket::UpdateWriteWatch() {
    const bool want = handle_ != INVALID_SOCKET &&
                      (state_ == SocketState::wsConnecting || BufferedByteCount() > 0);
    if (writeNotifier_->isEnabled() != want)
        writeNotifier_->setEnabled(want);
}

void AsyncSocket::ReleaseHandle() {
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    if (handle_ != INVALID_SOCKET)
        ::close(handle_);
    handle_ = INVALID_SOCKET;
    ++serial_;
}

void AsyncSocket::OnReadReady() {
    Guarded([this] {
        if (handle_ == INVALID_SOCKET || state_ == SocketState::wsConnecting)
            return;
        if (state_ == SocketState::wsListening) {
            Dispatch(kIncoming, 0);
            return;
        }
        if (datagram_) {
            Dispatch(kReadable, 0); // an empty datagram is not a close
            return;
        }
        // A peek tells readable data from the peer's close, which Linux
        // reports through the same notification.
        char probe;
        const ssize_t n = ::recv(handle_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0)
            Dispatch(kReadable, 0);
        else if (n == 0)
            Dispatch(kClosed, 0);
        else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            Dispatch(kClosed, static_cast<std::uint16_t>(wsock::FromErrno(errno)));
    });
}

void AsyncSocket::OnWriteReady() {
    Guarded([this] {
        if (handle_ == INVALID_SOCKET)
            return;
        if (state_ == SocketState::wsConnecting) {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
            if (err == EINPROGRESS || err == EALREADY)
                return;
            Dispatch(kConnected, static_cast<std::uint16_t>(wsock::FromErrno(err)));
            return;
        }
        Dispatch(kWritable, 0);
    });
}

void AsyncSocket::PostWritable() {
    const std::uint64_t connection = serial_;
    QMetaObject::invokeMethod(
        this,
        [this, connection] {
            if (serial_ == connection && handle_ != INVALID_SOCKET)
                Guarded([this] { Dispatch(kWritable, 0); });
        },
        Qt::QueuedConnection);
}

void AsyncSocket::Guarded(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        bool canClose = true;
        try {
            if (OnBgException)
                OnBgException(this, e, canClose);
        } catch (...) {
        }
        if (canClose) {
            try {
                Abort();
            } catch (...) {
            }
        }
    }
}

// Several conditions may arrive together; they are handled in this order, and
// handling stops as soon as a handler closed or replaced the handle.
void AsyncSocket::Dispatch(unsigned conditions, std::uint16_t error) {
    const std::uint64_t connection = serial_;
    const auto same = [&] { return serial_ == connection && handle_ != INVALID_SOCKET; };

    if (conditions & kConnected) {
        ChangeState(SocketState::wsConnected);
        if (error == 0)
            UpdateWriteWatch();
        TriggerSessionConnected(error);
        if (!same())
            return;
        if (error != 0) {
            Close();
            return;
        }
    }
    if (conditions & kReadable) {
        ReceiveLoop(true);
        if (!same())
            return;
    }
    if (conditions & kWritable) {
        TryToSend();
        if (!same())
            return;
        if (BufferedByteCount() == 0 && OnDataSent) {
            OnDataSent(this, error);
            if (!same())
                return;
        }
    }
    if (conditions & kIncoming) {
        if (OnSessionAvailable)
            OnSessionAvailable(this, error);
        if (!same())
            return;
    }
    if ((conditions & kClosed) && state_ != SocketState::wsConnecting) {
        ReceiveLoop(false); // everything that came before the close is read first
        if (!same())
            return;
        if (!closeReported_) {
            closeReported_ = true;
            TriggerSessionClosed(error);
        }
        if (same() && state_ != SocketState::wsClosed)
            Close();
    }
}

void AsyncSocket::ReceiveLoop(bool bounded) {
    const std::uint64_t connection = serial_;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        lastError_ = 0;
        const std::int64_t before = readCount_;
        TriggerDataAvailable(0);
        if (serial_ != connection || handle_ == INVALID_SOCKET)
            return;
        if (ComponentOptions.wsoNoReceiveLoop || lastError_ != 0)
            return;
        // A handler that reads nothing would spin here forever; the readiness
        // watch calls again while data is waiting.
        if (readCount_ == before)
            return;
        if (PendingBytes() <= 0)
            return;
        // A peer that sends as fast as we read would keep the loop here for
        // the whole transfer; the readiness watch calls again for the rest.
        if (bounded && std::chrono::steady_clock::now() - start >= kReceiveSlice)
            return;
    }
}

void AsyncSocket::TriggerDataAvailable(std::uint16_t error) {
    if (OnDataAvailable) {
        OnDataAvailable(this, error);
        return;
    }
    char discard[1024];
    if (Receive(discard, sizeof discard) < 0 && lastError_ == wsock::WSAEWOULDBLOCK)
        lastError_ = 0;
}

void AsyncSocket::TriggerSessionConnected(std::uint16_t error) {
    if (OnSessionConnected)
        OnSessionConnected(this, error);
}

void AsyncSocket::TriggerSessionClosed(std::uint16_t error) {
    if (OnSessionClosed)
        OnSessionClosed(this, error);
}

void AsyncSocket::TriggerDnsLookupDone(std::uint16_t error) {
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, error);
}

// --- sending and receiving ----------------------------------------------------

int AsyncSocket::Send(const void* data, int len) {
    if (state_ != SocketState::wsConnected) {
        SocketError("Send", wsock::WSAENOTCONN);
        return -1;
    }
    Enqueue(static_cast<const char*>(data), std::max(len, 0));
    TryToSend();
    if (handle_ != INVALID_SOCKET && BufferedByteCount() == 0)
        PostWritable(); // OnDataSent is never called from inside Send
    return len;
}

int AsyncSocket::SendNow(const void* data, int len) {
    if (state_ != SocketState::wsConnected) {
        SocketError("Send", wsock::WSAENOTCONN);
        return -1;
    }
    const char* p = static_cast<const char*>(data);
    int left = std::max(len, 0);
    // Queued bytes go first; only behind an empty queue may the caller's go out directly.
    if (BufferedByteCount() == 0 && handle_ != INVALID_SOCKET) {
        const std::uint64_t connection = serial_;
        while (left > 0) {
            const ssize_t n = ::send(handle_, p, static_cast<std::size_t>(left), SendSystemFlags());
            if (n > 0) {
                p += n;
                left -= static_cast<int>(n);
                if (OnSendData)
                    OnSendData(this, static_cast<int>(n));
                if (serial_ != connection)
                    return len;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                SendFailed(errno);
                return len;
            }
            break;
        }
    }
    Enqueue(p, left);
    UpdateWriteWatch();
    return len;
}

void AsyncSocket::PostDataSent() {
    if (handle_ != INVALID_SOCKET)
        PostWritable();
}

void AsyncSocket::Enqueue(const char* data, int len) {
    while (len > 0) {
        if (sendQueue_.empty() || sendQueue_.back().Room() == 0)
            sendQueue_.emplace_back(sendBlockSize_);
        const int n = sendQueue_.back().Write(data, len);
        data += n;
        len -= n;
    }
}

int AsyncSocket::SendSystemFlags() const {
    return MSG_NOSIGNAL | (sendFlags_ == SocketSendFlags::wsSendUrgent ? MSG_OOB : 0);
}

// A reset or a vanished peer closes the socket and says so; anything else is raised.
void AsyncSocket::SendFailed(int err) {
    const int error = wsock::FromErrno(err);
    switch (error) {
    case wsock::WSAECONNRESET:
    case wsock::WSAENOTSOCK:
    case wsock::WSAENOTCONN:
    case wsock::WSAEINVAL:
    case wsock::WSAECONNABORTED:
        closeReported_ = true;
        InternalClose(false, 0);
        TriggerSessionClosed(static_cast<std::uint16_t>(error));
        return;
    default:
        SocketError("TryToSend failed", error);
        return;
    }
}

int AsyncSocket::SendStr(std::string_view text) {
    return Send(text.data(), static_cast<int>(text.size()));
}

void AsyncSocket::TryToSend() {
    if (handle_ == INVALID_SOCKET || sendQueue_.empty())
        return;
    const SocketHandle h = handle_;
    const std::uint64_t connection = serial_;
    const int flags = SendSystemFlags();
    while (!sendQueue_.empty()) {
        SendBuffer& block = sendQueue_.front();
        const auto unread = block.Peek();
        if (unread.empty()) {
            if (sendQueue_.size() > 1) {
                sendQueue_.pop_front();
                continue;
            }
            break;
        }
        const ssize_t n = ::send(h, unread.data(), unread.size(), flags);
        if (n > 0) {
            block.Remove(static_cast<int>(n));
            if (OnSendData)
                OnSendData(this, static_cast<int>(n));
            if (serial_ != connection)
                return;
            if (static_cast<std::size_t>(n) < unread.size())
                break;
            continue;
        }
        if (n == 0)
            break;
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)
            break;
        SendFailed(err);
        return;
    }
    UpdateWriteWatch();
}

int AsyncSocket::PendingBytes() {
    int pending = 0;
    if (handle_ == INVALID_SOCKET || ::ioctl(handle_, FIONREAD, &pending) != 0) {
        lastError_ = handle_ == INVALID_SOCKET ? wsock::WSAENOTSOCK : wsock::FromErrno(errno);
        return 0;
    }
    return pending;
}

void AsyncSocket::CloseWithError(std::uint16_t error) {
    InternalClose(true, error);
}

int AsyncSocket::Receive(void* buffer, int len) {
    if (handle_ == INVALID_SOCKET) {
        lastError_ = wsock::WSAENOTSOCK;
        return -1;
    }
    const ssize_t n = ::recv(handle_, buffer, static_cast<std::size_t>(std::max(len, 0)), 0);
    if (n < 0) {
        lastError_ = wsock::FromErrno(errno);
        return -1;
    }
    readCount_ += n;
    return static_cast<int>(n);
}

// --- closing ------------------------------------------------------------------

void AsyncSocket::Close() {
    InternalClose(true, 0);
}

void AsyncSocket::Abort() {
    CancelDnsLookup();
    sendQueue_.clear();
    if (state_ == SocketState::wsConnected && !datagram_ && handle_ != INVALID_SOCKET) {
        LingerOnOff = SocketLinger::wsLingerOff;
        SetLingerOption();
    }
    InternalClose(false, 0);
}

void AsyncSocket::InternalClose(bool shutdownSend, std::uint16_t error) {
    if (state_ == SocketState::wsClosed && handle_ == INVALID_SOCKET)
        return;
    if (handle_ != INVALID_SOCKET && shutdownSend)
        ::shutdown(handle_, SHUT_WR);
    ReleaseHandle();
    sendQueue_.clear();
    ChangeState(SocketState::wsClosed);

    ApplyCloseDefaults();

    const bool report = !destroying_ && !closeReported_;
    closeReported_ = false;
    if (report)
        TriggerSessionClosed(error);
}

// Back to the defaults, so the next connection starts from a clean slate;
// address and port must be given again.
void AsyncSocket::ApplyCloseDefaults() {
    addr_.clear();
    port_.clear();
    addrAssigned_ = portAssigned_ = false;
    addrResolved_ = portResolved_ = false;
    proto_ = "tcp";
    protoAssigned_ = true;
    protoResolved_ = false;
    localAddr_ = "0.0.0.0";
    localPort_ = "0";
    localPortResolved_ = false;
    LingerOnOff = SocketLinger::wsLingerOn;
    LingerTimeout = 0;
}

void AsyncSocket::MessagePump() {
    if (QCoreApplication::closingDown())
        terminated_ = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
