// The TLS layer of the socket: ciphertext from the network goes through a
// tls::Session, the owner reads and writes plaintext.
#include "net/TlsSocket.h"

#include <QTimer>
#include <array>
#include <chrono>
#include <cstring>

namespace {

// Reported with a failed handshake and with a connection closed because its
// TLS records could not be read.
constexpr std::uint16_t kTlsFailed = wsock::WSAECONNABORTED;

// Ciphertext read per call; a TLS record is at most 16 KiB and a few bytes.
constexpr std::size_t kRawChunk = 64 * 1024;

// How long an upload's end waits for the server's close before it ends the
// sending side of the connection as well.
constexpr std::chrono::milliseconds kHalfCloseDelay{2000};

} // namespace

TlsSocket::~TlsSocket() {
    OnTlsHandshakeDone = nullptr;
}

void TlsSocket::StartTls(const tls::ClientContext& context, const std::string& host,
                         const tls::Session* resumeFrom) {
    session_ = std::make_unique<tls::Session>(context, host, resumeFrom);
    tlsError_.clear();
    plain_.clear();
    plainPos_ = 0;
    early_.clear();
    tlsOn_ = true;
    sendingFinished_ = false;
    handshakeReported_ = false;
    peerClosed_ = false;
    peerGone_ = false;
    cutWithoutClose_ = false;
    SendOutgoing(); // the ClientHello
}

void TlsSocket::HoldPlain(bool hold) {
    hold_ = hold;
    if (!hold_)
        DeliverPlain();
}

void TlsSocket::SendOutgoing() {
    if (!session_ || !session_->HasOutgoing() || State() != SocketState::wsConnected)
        return;
    const std::string out = session_->TakeOutgoing();
    AsyncSocket::SendNow(out.data(), static_cast<int>(out.size()));
}

bool TlsSocket::Encrypt(const char* data, int len) {
    if (!session_->Write(std::string_view(data, static_cast<std::size_t>(std::max(len, 0))))) {
        Failed(session_->Error().empty() ? "cannot encrypt" : session_->Error());
        return false;
    }
    return true;
}

int TlsSocket::Send(const void* data, int len) {
    return session_ ? SendEncrypted(data, len, false) : SocksSocket::Send(data, len);
}

int TlsSocket::SendNow(const void* data, int len) {
    return session_ ? SendEncrypted(data, len, true) : SocksSocket::SendNow(data, len);
}

int TlsSocket::SendEncrypted(const void* data, int len, bool now) {
    if (session_->State() == tls::TlsState::Handshaking) {
        early_.append(static_cast<const char*>(data), static_cast<std::size_t>(std::max(len, 0)));
        return len;
    }
    if (!Encrypt(static_cast<const char*>(data), len))
        return -1;
    const std::string out = session_->TakeOutgoing();
    if (now)
        AsyncSocket::SendNow(out.data(), static_cast<int>(out.size()));
    else
        AsyncSocket::Send(out.data(), static_cast<int>(out.size()));
    return len;
}

int TlsSocket::Receive(void* buffer, int len) {
    if (!session_)
        return SocksSocket::Receive(buffer, len);
    if (hold_ || HeldPlain() == 0 || len <= 0) {
        SetLastError(wsock::WSAEWOULDBLOCK);
        return -1;
    }
    const std::size_t n = std::min(static_cast<std::size_t>(len), HeldPlain());
    std::memcpy(buffer, plain_.data() + plainPos_, n);
    plainPos_ += n;
    if (plainPos_ == plain_.size()) {
        plain_.clear();
        plainPos_ = 0;
    }
    return static_cast<int>(n);
}

int TlsSocket::PendingBytes() {
    const int raw = SocksSocket::PendingBytes();
    return session_ && !hold_ ? raw + static_cast<int>(HeldPlain()) : raw;
}

void TlsSocket::TriggerDataAvailable(std::uint16_t error) {
    if (!session_) {
        SocksSocket::TriggerDataAvailable(error);
        return;
    }
    const std::uint64_t connection = Connection();
    std::array<char, kRawChunk> raw; // NOLINT: filled before use
    const int n = SocksSocket::Receive(raw.data(), static_cast<int>(raw.size()));
    if (n <= 0)
        return; // nothing yet, or the close, which the socket reports itself
    session_->Feed(std::string_view(raw.data(), static_cast<std::size_t>(n)));
    SendOutgoing(); // handshake messages, alerts, the answer to a close_notify
    if (Connection() != connection)
        return;
    if (session_->State() == tls::TlsState::Failed) {
        Failed(session_->Error());
        return;
    }
    if (!handshakeReported_ && session_->State() != tls::TlsState::Handshaking) {
        handshakeReported_ = true;
        if (!early_.empty()) {
            const std::string early = std::exchange(early_, {});
            if (!Encrypt(early.data(), static_cast<int>(early.size())))
                return;
            SendOutgoing();
        }
        if (OnTlsHandshakeDone)
            OnTlsHandshakeDone(this, 0);
        if (Connection() != connection || !session_)
            return;
    }
    // The close_notify is answered: vsftpd closes only once it has ours. A
    // server that closes at once after its own may answer ours with a reset.
    if (session_->PeerClosedCleanly() && !peerClosed_) {
        peerClosed_ = true;
        session_->Close();
        SendOutgoing();
    }
    std::string plain = session_->TakePlain();
    if (!plain.empty()) {
        if (HeldPlain() == 0) {
            plain_ = std::move(plain);
            plainPos_ = 0;
        } else {
            plain_.erase(0, plainPos_);
            plainPos_ = 0;
            plain_ += plain;
        }
    }
    DeliverPlain();
}

// The owner reads as it would from a plain socket, until it stops taking.
void TlsSocket::DeliverPlain() {
    const std::uint64_t connection = Connection();
    while (!hold_ && session_ && HeldPlain() > 0) {
        const std::size_t before = HeldPlain();
        AsyncSocket::TriggerDataAvailable(0);
        if (Connection() != connection || HeldPlain() == before)
            return;
    }
}

void TlsSocket::Failed(const std::string& why) {
    tlsError_ = why.empty() ? "TLS error" : why;
    SendOutgoing(); // the alert that tells the peer
    const std::uint64_t connection = Connection();
    if (!handshakeReported_) {
        handshakeReported_ = true;
        if (OnTlsHandshakeDone)
            OnTlsHandshakeDone(this, kTlsFailed);
    }
    if (Connection() == connection && State() != SocketState::wsClosed)
        CloseWithError(kTlsFailed);
}

bool TlsSocket::FinishSending() {
    if (!session_ || sendingFinished_ || State() != SocketState::wsConnected ||
        session_->State() != tls::TlsState::Open || BufferedByteCount() > 0)
        return false;
    session_->Close();
    SendOutgoing();
    if (BufferedByteCount() > 0)
        return true; // the queue goes out first; Close ends it later
    sendingFinished_ = true;
    // A server ends on the close_notify and answers with its own; ending the
    // sending side now would make a proxy without half-close (microsocks)
    // close both ways before that answer, and the server would see a reset.
    // One that waits for the end of the stream gets it a moment later.
    const std::uint64_t connection = Connection();
    QTimer::singleShot(kHalfCloseDelay, this, [this, connection] {
        if (Connection() == connection && sendingFinished_ && State() == SocketState::wsConnected)
            ShutDown(1);
    });
    return true;
}

void TlsSocket::Close() {
    // A peer that has gone gets no close_notify: the send would only fail.
    if (session_ && !peerGone_ && !peerClosed_ && !sendingFinished_ &&
        State() == SocketState::wsConnected && session_->State() == tls::TlsState::Open) {
        session_->Close();
        SendOutgoing();
    }
    ourClose_ = true;
    SocksSocket::Close();
    ourClose_ = false;
}

void TlsSocket::Abort() {
    ourClose_ = true;
    SocksSocket::Abort();
    ourClose_ = false;
}

void TlsSocket::TriggerSessionClosed(std::uint16_t error) {
    cutWithoutClose_ = tlsOn_ && !ourClose_ && !peerClosed_;
    // After the peer's close_notify everything it sent has come, whatever
    // the connection does next.
    const bool clean = tlsOn_ && peerClosed_;
    tlsOn_ = false;
    peerGone_ = true;
    SocksSocket::TriggerSessionClosed(clean ? 0 : error);
}

void TlsSocket::ApplyCloseDefaults() {
    SocksSocket::ApplyCloseDefaults();
    if (session_ && handshakeReported_ && tlsError_.empty())
        last_ = std::move(session_);
    session_.reset();
    plain_.clear();
    plainPos_ = 0;
    early_.clear();
    hold_ = false;
}
