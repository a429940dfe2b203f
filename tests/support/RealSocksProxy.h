#pragma once

#include "support/RealFtpServer.h"

#include <cstdint>
#include <memory>
#include <string>

class QProcess;
class QTemporaryDir;

namespace testsupport {

// A real SOCKS proxy from Debian's packages on 127.0.0.1, on a free port, that
// lets clients reach loopback only:
// - Dante (dante-server) for versions 4 and 5 without authentication;
// - microsocks for version 5 with a user name and password.
// Dante's own user/password check goes against the system's accounts, which a
// test must not create; microsocks keeps its credentials to itself.
class RealSocksProxy {
public:
    enum class Kind { Dante, MicrosocksWithPassword };
    static constexpr const char* User = "corvane";
    static constexpr const char* Password = "proxy-secret";

    explicit RealSocksProxy(Kind kind);
    ~RealSocksProxy();
    RealSocksProxy(const RealSocksProxy&) = delete;
    RealSocksProxy& operator=(const RealSocksProxy&) = delete;

    // Waits until the proxy accepts connections; false with the reason, naming
    // the Debian package, when it cannot run.
    bool start(std::string* whyNot);
    uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    const char* package() const;

private:
    bool launch(std::string* why);

    Kind kind_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> process_;
    uint16_t port_ = 0;
};

} // namespace testsupport

#define CORVANE_START_REAL_SOCKS(proxy) CORVANE_START_REAL_PEER(proxy)
