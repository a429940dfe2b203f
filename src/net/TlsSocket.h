#pragma once

#include "net/SocksSocket.h"
#include "net/TlsEngine.h"

#include <memory>
#include <string>

// TLS as a layer of the socket, above SOCKS: once StartTls is called on an
// open connection, what arrives is decrypted before the owner's Receive sees
// it and what the owner sends is encrypted, through the same events and calls
// as a plain connection. Nothing blocks: the handshake moves on as bytes
// arrive and ends in OnTlsHandshakeDone.
class TlsSocket : public SocksSocket {
public:
    using SocksSocket::SocksSocket;
    ~TlsSocket() override;

    // Starts the handshake on the connected socket; `host` is checked against
    // the certificate. A data connection passes its control connection's
    // session to resume.
    void StartTls(const tls::ClientContext& context, const std::string& host,
                  const tls::Session* resumeFrom = nullptr);
    // The session of the open connection; null while it is plain.
    const tls::Session* Tls() const { return session_.get(); }
    // The session of the last connection whose handshake succeeded, kept past
    // its close: a server that hands out single-use tickets (TLS 1.3) lets the
    // next data connection resume only the newest one.
    const tls::Session* LastSession() const { return last_.get(); }
    void ForgetLastSession() { last_.reset(); }
    // Why TLS failed on this connection; empty while it has not.
    const std::string& TlsError() const { return tlsError_; }
    // The peer ended the last TLS connection without a close_notify: what it
    // carried may have been cut short.
    bool CutWithoutTlsClose() const { return cutWithoutClose_; }

    // While held, decrypted bytes wait here instead of going to the owner
    // (a certificate the user has not yet accepted). Releasing hands them on.
    void HoldPlain(bool hold);

    // Error 0: the handshake is done. Otherwise it failed (TlsError says why);
    // the connection closes after the event unless the owner closed it.
    ErrorEvent OnTlsHandshakeDone;

    // Sends close_notify and ends the sending side, but goes on reading until
    // the peer closes. False, with nothing done, when TLS is not open.
    bool FinishSending();

    int Send(const void* data, int len) override;
    int SendNow(const void* data, int len) override;
    int Receive(void* buffer, int len) override;
    // With TLS open a close_notify goes out first.
    void Close() override;
    void Abort() override;

protected:
    void TriggerDataAvailable(std::uint16_t error) override;
    void TriggerSessionClosed(std::uint16_t error) override;
    int PendingBytes() override;
    void ApplyCloseDefaults() override;

private:
    void SendOutgoing();
    // False when the connection ended inside.
    bool Encrypt(const char* data, int len);
    // Send or SendNow of the plain socket, with the bytes encrypted; held
    // back until the handshake is done.
    int SendEncrypted(const void* data, int len, bool now);
    void DeliverPlain();
    void Failed(const std::string& why);
    std::size_t HeldPlain() const { return plain_.size() - plainPos_; }

    std::unique_ptr<tls::Session> session_;
    std::unique_ptr<tls::Session> last_;
    std::string tlsError_;
    std::string plain_; // decrypted, not yet read by the owner
    std::size_t plainPos_ = 0;
    std::string early_; // written by the owner before the handshake was done
    bool hold_ = false;
    bool tlsOn_ = false; // this connection started TLS
    bool handshakeReported_ = false;
    bool peerClosed_ = false; // the peer's close_notify came
    bool peerGone_ = false;   // the connection's close was seen
    bool ourClose_ = false;
    bool sendingFinished_ = false;
    bool cutWithoutClose_ = false;
};
