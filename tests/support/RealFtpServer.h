#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>

class QProcess;
class QTemporaryDir;

namespace testsupport {

// A real FTP server (Debian's python3-pyftpdlib) on 127.0.0.1, on a free port, serving a fresh
// temporary folder to one user with full rights. Passive data connections stay on loopback.
//
//     RealFtpServer server;
//     CORVANE_START_REAL_FTP(server);
//     ... put files under server.root(), log in as User / Password on server.port() ...
//
// The destructor stops the server and removes the folder.
class RealFtpServer {
public:
    static constexpr const char* User = "corvane";
    static constexpr const char* Password = "secret";
    static constexpr const char* Package = "python3-pyftpdlib";

    RealFtpServer();
    ~RealFtpServer();
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    // Waits until the server listens. false, with the reason (naming the package), when the
    // interpreter or the package is missing or the server did not come up.
    bool start(std::string* whyNot);

    uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    const std::string& root() const { return root_; } // empty before start()

private:
    bool launch(std::string* whyNot);
    void stop();

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> process_;
    std::string root_;
    uint16_t port_ = 0;
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
