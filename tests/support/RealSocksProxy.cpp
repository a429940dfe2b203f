#include "support/RealSocksProxy.h"

#include "support/ScriptedFtpServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int StartTimeoutMs = 10000;

bool Accepts(uint16_t port) {
    return ConnectLoopback(port).valid();
}

QString DanteConfig(uint16_t port) {
    QString config = QStringLiteral("logoutput: stderr\n"
                                    "internal: 127.0.0.1 port = %1\n"
                                    "external: 127.0.0.1\n"
                                    "clientmethod: none\n"
                                    "socksmethod: none\n")
                         .arg(port);
    if (::geteuid() == 0)
        config += "user.privileged: root\nuser.unprivileged: nobody\n";
    config += "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
              "socks pass {\n  from: 127.0.0.0/8 to: 127.0.0.0/8\n  protocol: tcp\n}\n";
    return config;
}

} // namespace

RealSocksProxy::RealSocksProxy(Kind kind) : kind_(kind) {}

RealSocksProxy::~RealSocksProxy() {
    if (process_) {
        process_->terminate();
        if (!process_->waitForFinished(3000)) {
            process_->kill();
            process_->waitForFinished(3000);
        }
    }
}

const char* RealSocksProxy::package() const {
    return kind_ == Kind::Dante ? "dante-server" : "microsocks";
}

bool RealSocksProxy::start(std::string* whyNot) {
    if (process_ && port_ != 0)
        return true;
    std::string why;
    if (launch(&why))
        return true;
    if (whyNot)
        *whyNot = "real SOCKS proxy (Debian package " + std::string(package()) +
                  ") not available: " + why;
    return false;
}

bool RealSocksProxy::launch(std::string* why) {
    const QString program = kind_ == Kind::Dante ? "/usr/sbin/danted" : "/usr/bin/microsocks";
    if (!QFileInfo(program).isExecutable()) {
        *why = program.toStdString() + " is missing";
        return false;
    }
    // Neither proxy reports the port it got, so take a free one and hand it over.
    const uint16_t port = ScriptedFtpServer::FreeClosedPort();
    QStringList arguments;
    if (kind_ == Kind::Dante) {
        dir_ = std::make_unique<QTemporaryDir>();
        QFile config(dir_->filePath("danted.conf"));
        if (!dir_->isValid() || !config.open(QIODevice::WriteOnly)) {
            *why = "cannot write the proxy's configuration";
            return false;
        }
        config.write(DanteConfig(port).toUtf8());
        config.close();
        arguments = {"-f", config.fileName(), "-N", "1"};
    } else {
        arguments = {"-i", "127.0.0.1", "-p", QString::number(port), "-u", User, "-P", Password};
    }
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(program, arguments);
    if (!process_->waitForStarted(StartTimeoutMs)) {
        *why = "cannot run " + program.toStdString() + ": " + process_->errorString().toStdString();
        return false;
    }
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!Accepts(port)) {
        if (process_->state() == QProcess::NotRunning) {
            *why = program.toStdString() + " exited at start";
            return false;
        }
        if (deadline.hasExpired()) {
            *why = program.toStdString() + " does not listen on port " + std::to_string(port);
            return false;
        }
        QThread::msleep(20);
    }
    port_ = port;
    return true;
}

} // namespace testsupport
