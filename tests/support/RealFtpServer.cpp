#include "support/RealFtpServer.h"

#include "support/ScriptedFtpServer.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace testsupport {

namespace {

// Debian installs the package for this interpreter only; the python3 first on PATH may be
// another one that cannot import it.
constexpr const char* Python = "/usr/bin/python3";
constexpr const char* Vsftpd = "/usr/sbin/vsftpd";

constexpr int StartTimeoutMs = 15000;
constexpr int StopTimeoutMs = 3000;

// The build names the launcher's folder: __FILE__ may be relative (ccache's base folder).
QString LauncherPath() {
    return QDir(QStringLiteral(CORVANE_TEST_SUPPORT_DIR)).filePath("pyftpd_server.py");
}

// vsftpd cannot report the port it got, so the fixture picks a free one; another process may
// take it before vsftpd binds, hence a few tries.
constexpr int VsftpdTries = 3;

uint16_t FreeLoopbackPort() {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = LoopbackAddress(0);
    socklen_t len = sizeof address;
    if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), len) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &len) != 0)
        return 0;
    return ntohs(address.sin_port);
}

// Whether a server greets with 220 on `port` within a short while.
bool Greets(uint16_t port) {
    const UniqueFd fd = ConnectLoopback(port);
    if (!fd.valid())
        return false;
    pollfd p{fd.get(), POLLIN, 0};
    char buf[4] = {};
    return ::poll(&p, 1, 2000) > 0 && ::recv(fd.get(), buf, 3, MSG_WAITALL) == 3 &&
           QByteArray(buf, 3) == "220";
}

// An implicit TLS server greets only after a handshake: a connection it accepts will do.
bool Listens(uint16_t port) {
    return ConnectLoopback(port).valid();
}

// Sessions run as the user who started the server: no PAM, no account and no chroot, so the
// anonymous account is the only one; its password list makes a wrong password fail as a real
// login does. The server listens on loopback only.
// Anonymous sessions over TLS too, data connections included; the default
// cipher list of this vsftpd names one that OpenSSL 3 no longer offers.
QByteArray VsftpdTlsConfig(RealFtpServer::Tls tls, const std::string& certificate,
                           const std::string& key) {
    if (tls == RealFtpServer::Tls::Off)
        return {};
    QByteArray config = "ssl_enable=YES\n"
                        "allow_anon_ssl=YES\n"
                        "force_anon_logins_ssl=YES\n"
                        "force_anon_data_ssl=YES\n"
                        "ssl_ciphers=HIGH\n"
                        "rsa_cert_file=" +
                        QByteArray::fromStdString(certificate) +
                        "\n"
                        "rsa_private_key_file=" +
                        QByteArray::fromStdString(key) + "\n";
    if (tls == RealFtpServer::Tls::Implicit)
        config += "implicit_ssl=YES\n";
    return config;
}

QByteArray VsftpdConfig(uint16_t port, const QString& root, const QString& runDir) {
    return QStringLiteral("listen=YES\n"
                          "listen_ipv6=NO\n"
                          "listen_address=127.0.0.1\n"
                          "listen_port=%1\n"
                          "background=NO\n"
                          "run_as_launching_user=YES\n"
                          "anonymous_enable=YES\n"
                          "local_enable=NO\n"
                          "anon_root=%2\n"
                          "ftp_username=nobody\n"
                          "nopriv_user=nobody\n"
                          "secure_email_list_enable=YES\n"
                          "email_password_file=%3/passwords\n"
                          "write_enable=YES\n"
                          "anon_upload_enable=YES\n"
                          "anon_mkdir_write_enable=YES\n"
                          "anon_other_write_enable=YES\n"
                          "anon_umask=022\n"
                          "pasv_enable=YES\n"
                          "pasv_address=127.0.0.1\n"
                          "port_enable=YES\n"
                          "connect_from_port_20=NO\n"
                          "secure_chroot_dir=%3\n"
                          "seccomp_sandbox=NO\n"
                          "isolate=NO\n"
                          "isolate_network=NO\n"
                          "tcp_wrappers=NO\n"
                          "xferlog_enable=NO\n"
                          "dirmessage_enable=NO\n")
        .arg(port)
        .arg(root, runDir)
        .toUtf8();
}

} // namespace

RealFtpServer::RealFtpServer(Kind kind, Tls tls) : kind_(kind), tls_(tls) {}

bool RealFtpServer::makeCertificate(std::string* why) {
    if (tls_ == Tls::Off)
        return true;
    if (tls_ == Tls::Implicit && kind_ != Kind::Vsftpd) {
        *why = "implicit TLS is vsftpd's only";
        return false;
    }
    runDir_ = std::make_unique<QTemporaryDir>();
    if (!runDir_->isValid()) {
        *why = "cannot create a temporary folder";
        return false;
    }
    certificate_ = runDir_->filePath("cert.pem").toStdString();
    key_ = runDir_->filePath("key.pem").toStdString();
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                   "-days", "2", "-keyout", QString::fromStdString(key_), "-out",
                   QString::fromStdString(certificate_)});
    if (!openssl.waitForFinished(StartTimeoutMs) || openssl.exitCode() != 0) {
        *why =
            "openssl could not make a certificate: " + openssl.readAll().trimmed().toStdString() +
            openssl.errorString().toStdString();
        return false;
    }
    return true;
}

RealFtpServer::~RealFtpServer() {
    stop();
}

bool RealFtpServer::start(std::string* whyNot) {
    if (process_)
        return true;
    std::string why;
    if (launch(&why))
        return true;
    stop();
    if (whyNot)
        *whyNot =
            std::string("real FTP server (Debian package ") + package() + ") not available: " + why;
    return false;
}

bool RealFtpServer::launch(std::string* why) {
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) {
        *why = "cannot create a temporary folder: " + dir_->errorString().toStdString();
        return false;
    }
    root_ = dir_->path().toStdString();
    if (!makeCertificate(why))
        return false;
    return kind_ == Kind::Vsftpd ? launchVsftpd(why) : launchPyftpdlib(why);
}

bool RealFtpServer::launchVsftpd(std::string* why) {
    if (!QFileInfo(Vsftpd).isExecutable()) {
        *why = std::string(Vsftpd) + " is missing";
        return false;
    }
    // Anonymous sessions may only list what everyone may read.
    QFile::setPermissions(dir_->path(), QFile::permissions(dir_->path()) | QFile::ReadOther |
                                            QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    if (!runDir_)
        runDir_ = std::make_unique<QTemporaryDir>();
    QFile passwords(runDir_->filePath("passwords"));
    QFile config(runDir_->filePath("vsftpd.conf"));
    for (int attempt = 1; attempt <= VsftpdTries; ++attempt) {
        const uint16_t port = FreeLoopbackPort();
        if (!runDir_->isValid() || port == 0 || !passwords.open(QIODevice::WriteOnly) ||
            passwords.write(QByteArray(Password) + "\n") < 0 || !passwords.flush() ||
            !config.open(QIODevice::WriteOnly) ||
            config.write(VsftpdConfig(port, dir_->path(), runDir_->path()) +
                         VsftpdTlsConfig(tls_, certificate_, key_)) < 0 ||
            !config.flush()) {
            *why = "cannot write the configuration in a temporary folder";
            return false;
        }
        passwords.close();
        config.close();
        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::MergedChannels);
        process_->start(Vsftpd, {config.fileName()});
        if (!process_->waitForStarted(StartTimeoutMs)) {
            *why =
                std::string("cannot run ") + Vsftpd + ": " + process_->errorString().toStdString();
            return false;
        }
        const QDeadlineTimer deadline(StartTimeoutMs);
        while (process_->state() == QProcess::Running && !deadline.hasExpired()) {
            if (tls_ == Tls::Implicit ? Listens(port) : Greets(port)) {
                port_ = port;
                return true;
            }
            QThread::msleep(20);
        }
        process_->waitForFinished(StopTimeoutMs);
        *why = "the server did not start: " + process_->readAll().trimmed().toStdString();
    }
    return false;
}

bool RealFtpServer::launchPyftpdlib(std::string* why) {
    if (!QFileInfo(Python).isExecutable()) {
        *why = std::string(Python) + " is missing";
        return false;
    }
    const QString launcher = LauncherPath();
    if (!QFileInfo::exists(launcher)) {
        *why = "launcher script not found at " + launcher.toStdString();
        return false;
    }
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{launcher,     "--host", QString::fromStdString(host_),
                          "--port",     "0",      "--root",
                          dir_->path(), "--user", User,
                          "--password", Password};
    if (tls_ != Tls::Off)
        arguments << "--tls-certificate" << QString::fromStdString(certificate_) << "--tls-key"
                  << QString::fromStdString(key_) << "--fault" << QString::fromStdString(fault);
    process_->start(Python, arguments);
    if (!process_->waitForStarted(StartTimeoutMs)) {
        *why = "cannot run " + std::string(Python) + ": " + process_->errorString().toStdString();
        return false;
    }

    // The launcher binds port 0 itself and reports the port, so there is no race for a port.
    const QDeadlineTimer deadline(StartTimeoutMs);
    for (;;) {
        while (!process_->canReadLine()) {
            if (deadline.hasExpired() || !process_->waitForReadyRead(deadline.remainingTime())) {
                const bool exited = process_->state() == QProcess::NotRunning;
                const QByteArray rest = process_->readAll().trimmed();
                *why = exited
                           ? "the server exited (code " + std::to_string(process_->exitCode()) + ")"
                           : "the server did not report ready within " +
                                 std::to_string(StartTimeoutMs) + " ms";
                if (!rest.isEmpty())
                    *why += ": " + rest.toStdString();
                return false;
            }
        }
        const QByteArray line = process_->readLine().trimmed();
        if (line.startsWith("ready ")) {
            bool ok = false;
            const uint port = line.mid(6).toUInt(&ok);
            if (!ok || port == 0 || port > 65535) {
                *why = "unexpected ready line: " + line.toStdString();
                return false;
            }
            port_ = static_cast<uint16_t>(port);
            return true;
        }
        if (line.startsWith("error: ")) {
            *why = line.mid(7).toStdString();
            return false;
        }
    }
}

void RealFtpServer::stop() {
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(StopTimeoutMs)) {
            process_->kill();
            process_->waitForFinished(StopTimeoutMs);
        }
    }
    process_.reset();
    port_ = 0;
    dir_.reset(); // removes the folder and everything in it
    runDir_.reset();
    root_.clear();
    certificate_.clear();
    key_.clear();
}

bool RunningUnderCi() {
    const QByteArray ci = qgetenv("CI").trimmed().toLower();
    return ci == "true" || ci == "1";
}

} // namespace testsupport
