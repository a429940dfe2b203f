// The SOCKS 4, 4A and 5 layer of the socket: a small state machine on the
// proxy's answers, between the raw socket and the owner.
#include "net/SocksSocket.h"

#include "net/HostAddress.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstring>

namespace {

constexpr std::uint8_t kSocks5 = 5;
constexpr std::uint8_t kSocks4 = 4;
constexpr std::uint8_t kMethodNone = 0;
constexpr std::uint8_t kMethodUserPass = 2;
constexpr std::uint8_t kUserPassVersion = 1;
constexpr std::uint8_t kCommandConnect = 1;
constexpr std::uint8_t kAddressIPv4 = 1;
constexpr std::uint8_t kAddressName = 3;
constexpr std::uint8_t kAddressIPv6 = 4;
// Requests are built in, and answers read into, buffers of this size.
constexpr std::size_t kBufferSize = 128;

// Texts of the version 5 reply codes 1 to 8, reported as 20004 to 20011.
constexpr std::array<const char*, 8> kReplyTexts{
    "general SOCKS server failure", "connection not allowed by ruleset",
    "network unreachable",          "host unreachable",
    "connection refused",           "time to live expired",
    "command not supported",        "address type not supported",
};

std::string Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return std::string(s);
}

void AppendText(std::vector<std::uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace

// --- settings ---------------------------------------------------------------------

// The proxy of an open socket is fixed; values are compared trimmed.
void SocksSocket::ChangeSetting(std::string& setting, std::string_view value, const char* refusal) {
    std::string text = Trimmed(value);
    if (text == setting)
        return;
    if (State() != SocketState::wsClosed)
        RaiseException(refusal);
    setting = std::move(text);
}

void SocksSocket::SetSocksServer(std::string_view value) {
    ChangeSetting(socksServer_, value, "Can't change socks server if not closed");
}

void SocksSocket::SetSocksPort(std::string_view value) {
    ChangeSetting(socksPort_, value, "Can't change socks port if not closed");
}

void SocksSocket::SetSocksLevel(std::string_view value) {
    std::string level(value);
    std::transform(level.begin(), level.end(), level.begin(),
                   [](char c) { return c == 'a' ? 'A' : c; });
    if (level == socksLevel_)
        return;
    if (State() != SocketState::wsClosed)
        RaiseException("Can't change socks level if not closed");
    if (level != "4" && level != "4A" && level != "5")
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
    socksLevel_ = level;
}

void SocksSocket::ApplyCloseDefaults() {
    AsyncSocket::ApplyCloseDefaults();
    negotiation_ = Negotiation::None;
    socksLevel_ = "5";
    socksServer_.clear();
    socksPort_.clear();
}

// --- connecting ---------------------------------------------------------------------

void SocksSocket::Listen() {
    if (UsingSocks())
        RaiseException("Listening is not supported thru socks server");
    AsyncSocket::Listen();
}

// Nothing is ever written past a request buffer: what does not fit is
// refused before the connection is opened.
void SocksSocket::CheckRequestFits() const {
    const std::size_t user = SocksUsercode.size();
    const std::size_t name = Addr().size();
    if (Version5()) {
        if (name > 255 || 7 + name > kBufferSize)
            throw SocketException("SOCKS: destination name too long for the proxy request");
        if (SocksAuthentication == SocksAuthentication::socksAuthenticateUsercode &&
            (user > 255 || SocksPassword.size() > 255 ||
             3 + user + SocksPassword.size() > kBufferSize))
            throw SocketException("SOCKS: user code and password too long for the proxy request");
        return;
    }
    const std::size_t extra = socksLevel_ == "4A" ? name + 1 : 0;
    if (9 + user + extra > kBufferSize)
        throw SocketException(
            "SOCKS: user code or destination name too long for the proxy request");
}

void SocksSocket::Connect() {
    if (!UsingSocks()) {
        AsyncSocket::Connect();
        return;
    }
    std::string proto = Proto();
    std::transform(proto.begin(), proto.end(), proto.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
    if (proto != "tcp")
        RaiseException("tcp is the only protocol supported thru socks server");
    CheckConnectable();
    in_addr proxy{};
    std::uint16_t proxyPort = 0;
    try {
        CheckRequestFits();
        destinationPort_ = ResolvePort(Port(), "tcp");
        if (socksLevel_ == "4")
            destinationAddr_ = ResolveHost(Addr());
        proxyPort = ResolvePort(socksPort_, "tcp");
        proxy = ResolveHost(socksServer_);
    } catch (const SocketException& e) {
        RaiseException("connect: " + std::string(e.what()));
        return;
    }
    SetRemoteTarget(proxy, proxyPort);
    negotiation_ = Negotiation::ProxyConnect;
    answerCount_ = 0;
    early_.clear();
    earlyPos_ = 0;
    boundAddr_.clear();
    boundPort_.clear();
    AsyncSocket::Connect();
}

void SocksSocket::SendBytes(const std::vector<std::uint8_t>& bytes) {
    AsyncSocket::Send(bytes.data(), static_cast<int>(bytes.size()));
}

void SocksSocket::TriggerSessionConnected(std::uint16_t error) {
    if (negotiation_ != Negotiation::ProxyConnect) {
        AsyncSocket::TriggerSessionConnected(error);
        return;
    }
    if (OnSocksConnected)
        OnSocksConnected(this, error);
    if (error != 0) {
        negotiation_ = Negotiation::None;
        AsyncSocket::TriggerSessionConnected(error);
        return;
    }
    if (!Version5()) {
        SendConnectRequest();
        return;
    }
    methodOffered_ = SocksAuthentication == SocksAuthentication::socksAuthenticateUsercode
                         ? kMethodUserPass
                         : kMethodNone;
    SendBytes({kSocks5, 1, methodOffered_});
}

void SocksSocket::SendAuthentication() {
    negotiation_ = Negotiation::Authenticating;
    answerCount_ = 0;
    if (OnSocksAuthState)
        OnSocksAuthState(this, SocksAuthState::socksAuthStart);
    std::vector<std::uint8_t> request{kUserPassVersion,
                                      static_cast<std::uint8_t>(SocksUsercode.size())};
    AppendText(request, SocksUsercode);
    request.push_back(static_cast<std::uint8_t>(SocksPassword.size()));
    AppendText(request, SocksPassword);
    SendBytes(request);
}

void SocksSocket::SendConnectRequest() {
    negotiation_ = Negotiation::ConnectSent;
    answerCount_ = 0;
    const std::uint8_t portHigh = static_cast<std::uint8_t>(destinationPort_ >> 8);
    const std::uint8_t portLow = static_cast<std::uint8_t>(destinationPort_ & 0xff);
    std::vector<std::uint8_t> request;
    if (Version5()) {
        // The destination goes as a name, even a dotted one; an IPv6 address,
        // which a proxy would not take for a name, as its 16 bytes.
        in6_addr ipv6{};
        if (net::IsIpv6Literal(Addr()) && ::inet_pton(AF_INET6, Addr().c_str(), &ipv6) == 1) {
            request = {kSocks5, kCommandConnect, 0, kAddressIPv6};
            request.insert(request.end(), ipv6.s6_addr, ipv6.s6_addr + 16);
        } else {
            request = {kSocks5, kCommandConnect, 0, kAddressName,
                       static_cast<std::uint8_t>(Addr().size())};
            AppendText(request, Addr());
        }
        request.push_back(portHigh);
        request.push_back(portLow);
    } else {
        const bool v4a = socksLevel_ == "4A";
        // 4A asks the proxy to look the name up: the address 0.0.0.1 says so.
        std::array<std::uint8_t, 4> address{0, 0, 0, 1};
        if (!v4a)
            std::memcpy(address.data(), &destinationAddr_.s_addr, 4);
        request = {kSocks4,    kCommandConnect, portHigh,   portLow,
                   address[0], address[1],      address[2], address[3]};
        AppendText(request, SocksUsercode);
        request.push_back(0);
        if (v4a) {
            AppendText(request, Addr());
            request.push_back(0);
        }
    }
    SendBytes(request);
}

// --- the proxy's answers ------------------------------------------------------------

void SocksSocket::TriggerDataAvailable(std::uint16_t error) {
    if (negotiation_ == Negotiation::None) {
        AsyncSocket::TriggerDataAvailable(error);
        return;
    }
    Negotiate();
}

void SocksSocket::Negotiate() {
    // Read only what there is room for; a longer answer is an error of its
    // state, never a write past the buffer.
    const int room = static_cast<int>(kBufferSize - 1 - answerCount_);
    if (room <= 0) {
        Fail(20013, "internal error");
        return;
    }
    const int n = AsyncSocket::Receive(answer_.data() + answerCount_, room);
    if (n < 0) {
        if (LastError() != wsock::WSAEWOULDBLOCK)
            Fail(LastError(), "data receive error");
        return;
    }
    if (n == 0)
        return; // the proxy closed; the close is reported on its own
    answerCount_ += static_cast<std::size_t>(n);
    switch (negotiation_) {
    case Negotiation::ProxyConnect:
        MethodAnswer();
        return;
    case Negotiation::Authenticating:
        AuthenticationAnswer();
        return;
    case Negotiation::ConnectSent:
        if (Version5())
            ConnectAnswer5();
        else
            ConnectAnswer4();
        return;
    case Negotiation::None:
        Fail(20013, "internal error");
        return;
    }
}

void SocksSocket::MethodAnswer() {
    if (!Version5()) {
        Fail(20001, "SocksSocket logic error");
        return;
    }
    if (answer_[0] != kSocks5) {
        Fail(20002, "socks version error");
        return;
    }
    if (answerCount_ < 2)
        return;
    if (answerCount_ > 2) {
        Fail(20001, "too much data availaible");
        return;
    }
    switch (answer_[1]) {
    case kMethodNone:
        if (methodOffered_ != kMethodNone && OnSocksAuthState)
            OnSocksAuthState(this, SocksAuthState::socksAuthNotRequired);
        SendConnectRequest();
        return;
    case kMethodUserPass:
        SendAuthentication();
        return;
    default:
        Fail(20003, "authentification method not acceptable");
        return;
    }
}

void SocksSocket::AuthenticationAnswer() {
    if (answer_[0] != kUserPassVersion) {
        Fail(20002, "socks version error");
        return;
    }
    if (answerCount_ > 2) {
        Fail(20001, "too much data availaible");
        return;
    }
    if (answerCount_ < 2)
        return;
    if (answer_[1] != 0) {
        Fail(20015, "socks authentication failed");
        return;
    }
    if (OnSocksAuthState)
        OnSocksAuthState(this, SocksAuthState::socksAuthSuccess);
    SendConnectRequest();
}

void SocksSocket::ConnectAnswer5() {
    if (answer_[0] != kSocks5) {
        Fail(20002, "socks version error");
        return;
    }
    if (answerCount_ < 2)
        return;
    if (const std::uint8_t code = answer_[1]; code != 0) {
        if (code <= kReplyTexts.size())
            Fail(20003 + code, kReplyTexts[code - 1]);
        else
            Fail(20012, "unassigned error #" + std::to_string(code));
        return;
    }
    if (answerCount_ < 5)
        return;
    const std::uint8_t type = answer_[3];
    const std::size_t needed = type == kAddressIPv4   ? 10
                               : type == kAddressIPv6 ? 22
                               : type == kAddressName ? std::size_t{answer_[4]} + 7
                                                      : 5;
    if (needed > kBufferSize - 1) {
        Fail(20013, "internal error");
        return;
    }
    if (answerCount_ < needed)
        return;
    if (type == kAddressIPv4) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &answer_[4], text, sizeof text);
        boundAddr_ = text;
    } else if (type == kAddressIPv6) {
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, &answer_[4], text, sizeof text);
        boundAddr_ = text;
    } else if (type == kAddressName) {
        boundAddr_.assign(reinterpret_cast<const char*>(&answer_[5]), answer_[4]);
    } else {
        Fail(20011, "address type not supported");
        return;
    }
    boundPort_ = std::to_string(answer_[needed - 2] << 8 | answer_[needed - 1]);
    Granted(needed);
}

void SocksSocket::ConnectAnswer4() {
    if (answerCount_ < 8)
        return;
    if (answer_[0] != 0) {
        Fail(20002, "socks version error");
        return;
    }
    switch (answer_[1]) {
    case 90:
        Granted(8);
        return;
    case 91:
        Fail(20016, "request rejected or failed");
        return;
    case 92:
        Fail(20008, "connection refused");
        return;
    case 93:
        Fail(20015, "authentification failed");
        return;
    default:
        Fail(20012, "unassigned error #" + std::to_string(answer_[1]));
        return;
    }
}

// The proxy has connected us: from here on the owner sees an ordinary
// connection, starting with whatever came after the answer.
void SocksSocket::Granted(std::size_t answerLength) {
    early_.assign(reinterpret_cast<const char*>(answer_.data()) + answerLength,
                  answerCount_ - answerLength);
    earlyPos_ = 0;
    answerCount_ = 0;
    negotiation_ = Negotiation::None;
    const std::uint64_t connection = Connection();
    AsyncSocket::TriggerSessionConnected(0);
    while (Connection() == connection && earlyPos_ < early_.size()) {
        const std::size_t before = earlyPos_;
        AsyncSocket::TriggerDataAvailable(0);
        if (earlyPos_ == before)
            break; // the owner reads on its next data event
    }
}

void SocksSocket::Fail(int error, const std::string& text) {
    if (OnSocksError)
        OnSocksError(this, error, text);
    negotiation_ = Negotiation::None;
    const std::uint64_t connection = Connection();
    AsyncSocket::TriggerSessionConnected(static_cast<std::uint16_t>(error));
    if (Connection() == connection && State() != SocketState::wsClosed)
        CloseWithError(static_cast<std::uint16_t>(error));
}

void SocksSocket::TriggerSessionClosed(std::uint16_t error) {
    // A proxy that hangs up on the credentials has refused them.
    if (negotiation_ == Negotiation::Authenticating && OnSocksAuthState)
        OnSocksAuthState(this, SocksAuthState::socksAuthFailure);
    negotiation_ = Negotiation::None;
    AsyncSocket::TriggerSessionClosed(error);
}

// --- what the owner reads -------------------------------------------------------------

int SocksSocket::Receive(void* buffer, int len) {
    if (earlyPos_ < early_.size() && len > 0) {
        const std::size_t n = std::min(static_cast<std::size_t>(len), early_.size() - earlyPos_);
        std::memcpy(buffer, early_.data() + earlyPos_, n);
        earlyPos_ += n;
        if (earlyPos_ == early_.size()) {
            early_.clear();
            earlyPos_ = 0;
        }
        AddReadCount(static_cast<int>(n));
        return static_cast<int>(n);
    }
    return AsyncSocket::Receive(buffer, len);
}

int SocksSocket::PendingBytes() {
    return static_cast<int>(early_.size() - earlyPos_) + AsyncSocket::PendingBytes();
}
