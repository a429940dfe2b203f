#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>

class QProcess;
class QTemporaryDir;

namespace testsupport {

// A real FTP server from Debian on 127.0.0.1, on a free port, serving a fresh temporary folder
// with rights to read, write, rename and delete. Passive data connections stay on loopback.
//
//     RealFtpServer server;                            // pyftpdlib
//     RealFtpServer other(RealFtpServer::Kind::Vsftpd);
//     CORVANE_START_REAL_FTP(server);
//     ... put files under server.root(), log in as user() / password() on server.port() ...
//
// pyftpdlib serves one user (User, Password) with full rights. vsftpd runs as the user who
// starts it, so it can only serve its anonymous account: user() is "anonymous", and only
// password() is let in. The destructor stops the server and removes the folder.
class RealFtpServer {
public:
    enum class Kind { Pyftpdlib, Vsftpd };
    // FTP over TLS with a self-signed certificate for "localhost" made at start (openssl).
    // Implicit is vsftpd's only; both refuse a plain login and plain data connections.
    enum class Tls { Off, Explicit, Implicit };

    // pyftpdlib's account.
    static constexpr const char* User = "corvane";
    static constexpr const char* Password = "secret";
    static constexpr const char* Package = "python3-pyftpdlib";

    explicit RealFtpServer(Kind kind = Kind::Pyftpdlib, Tls tls = Tls::Off);
    ~RealFtpServer();
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    // Waits until the server listens. false, with the reason (naming the package), when the
    // interpreter or the package is missing or the server did not come up.
    bool start(std::string* whyNot);

    Kind kind() const { return kind_; }
    const char* name() const { return kind_ == Kind::Vsftpd ? "vsftpd" : "pyftpdlib"; }
    const char* package() const { return kind_ == Kind::Vsftpd ? "vsftpd" : Package; }
    const char* user() const { return kind_ == Kind::Vsftpd ? "anonymous" : User; }
    const char* password() const { return Password; }
    // The folder PWD names at login: vsftpd, run as the launching user, does not chroot.
    std::string home() const { return kind_ == Kind::Vsftpd ? root_ : "/"; }
    // Whether the account may run SITE CHMOD (vsftpd refuses it to anonymous users).
    bool allowsChmod() const { return kind_ == Kind::Pyftpdlib; }

    // pyftpdlib only: the loopback address to listen on, "::1" for IPv6; before start().
    void listenOn(std::string host) { host_ = std::move(host); }
    const std::string& host() const { return host_; }

    uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    const std::string& root() const { return root_; } // empty before start()
    Tls tls() const { return tls_; }
    // Set before start(): a fault of pyftpdlib's TLS ("plain-data", "cut-data";
    // pyftpd_server.py says what each does).
    std::string fault;
    // The server certificate's PEM file; empty without TLS or before start().
    const std::string& certificateFile() const { return certificate_; }

private:
    bool launch(std::string* whyNot);
    bool launchPyftpdlib(std::string* whyNot);
    bool launchVsftpd(std::string* whyNot);
    void stop();
    bool makeCertificate(std::string* whyNot);

    Kind kind_;
    Tls tls_;
    std::string certificate_;
    std::string key_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QTemporaryDir> runDir_; // vsftpd's configuration, outside the served folder
    std::unique_ptr<QProcess> process_;
    std::string root_;
    uint16_t port_ = 0;
    std::string host_ = "127.0.0.1";
};

// CI=true in the environment: a missing real peer is a failure there, not a skip.
bool RunningUnderCi();

} // namespace testsupport

// Starts a real peer (anything with start(std::string* whyNot)) or ends the
// test: skipped with the reason, or failed under CI.
#define CORVANE_START_REAL_PEER(peer)                                                              \
    do {                                                                                           \
        std::string corvaneWhyNot_;                                                                \
        if (!(peer).start(&corvaneWhyNot_)) {                                                      \
            if (::testsupport::RunningUnderCi())                                                   \
                FAIL() << corvaneWhyNot_;                                                          \
            else                                                                                   \
                GTEST_SKIP() << corvaneWhyNot_;                                                    \
        }                                                                                          \
    } while (false)

#define CORVANE_START_REAL_FTP(server) CORVANE_START_REAL_PEER(server)
