#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// TLS over bytes the caller moves: ciphertext from the network goes in, the
// ciphertext to send comes out, plaintext is read and written in between. It
// never touches a socket, so it sits below the engine beside SOCKS, works over
// any proxy and never blocks the event loop.
namespace tls {

struct CertificateInfo {
    std::string subject;
    std::string issuer;
    std::string notBefore; // "2026-12-08 02:30:00 UTC"
    std::string notAfter;
    std::string fingerprint; // SHA-256, "AB:CD:..."

    bool operator==(const CertificateInfo&) const = default;
};

// What to do with a server's certificate after the handshake.
enum class CertificateTrust : std::uint8_t {
    Accept,
    AskNew,     // not verified and never trusted: show it, the user decides
    AskChanged, // differs from the one the user trusted: warn, never accept silently
};
// `stored` is the fingerprint the user chose to trust always for the site
// (empty: none). A stored fingerprint wins over the trust store both ways: a
// certificate that changed is questioned even when an authority signed it.
CertificateTrust JudgeCertificate(bool verified, std::string_view presented,
                                  std::string_view stored);

// The client side's settings, shared by the control connection and its data
// connections: the system's trust store, TLS 1.2 at least.
class ClientContext {
public:
    ClientContext();
    ~ClientContext();
    ClientContext(const ClientContext&) = delete;
    ClientContext& operator=(const ClientContext&) = delete;

    // Trust these PEM certificates as well (tests, a user's own authority).
    bool AddTrustedPem(std::string_view pem);

    struct Handle;
    Handle& handle() const { return *handle_; }

private:
    std::unique_ptr<Handle> handle_;
};

enum class TlsState : std::uint8_t { Handshaking, Open, Closed, Failed };

class Session {
public:
    // `host` is checked against the certificate. A data connection passes its
    // control connection's session, which servers such as vsftpd require it
    // to resume.
    Session(const ClientContext& context, const std::string& host,
            const Session* resumeFrom = nullptr);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    TlsState State() const { return state_; }
    // Why the session failed, in words; empty otherwise.
    const std::string& Error() const { return error_; }

    // Bytes received from the network; moves the handshake on and decrypts.
    void Feed(std::string_view ciphertext);
    // Bytes to send to the network; empty when there are none.
    std::string TakeOutgoing();
    bool HasOutgoing() const;

    // Encrypts; false (and nothing taken) until the handshake is done.
    bool Write(std::string_view plain);
    // Decrypted bytes received so far, taken.
    std::string TakePlain();

    // Sends close_notify. Closed follows once the peer's arrives.
    void Close();
    // True when the peer closed with close_notify; a connection that ends
    // without it was cut short, and so was the data it carried.
    bool PeerClosedCleanly() const { return peerClosed_; }

    // After the handshake.
    bool CertificateVerified() const;
    std::string VerificationError() const;
    CertificateInfo PeerCertificate() const;
    std::string VersionAndCipher() const; // "TLS 1.3, TLS_AES_256_GCM_SHA384"
    bool Resumed() const;

    struct Handle;

private:
    void Pump();
    void Fail(std::string why);

    std::unique_ptr<Handle> handle_;
    TlsState state_ = TlsState::Handshaking;
    std::string error_;
    std::string plain_;
    bool peerClosed_ = false;
};

} // namespace tls
