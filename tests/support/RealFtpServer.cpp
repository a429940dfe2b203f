#include "support/RealFtpServer.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

namespace {

// Debian installs the package for this interpreter only; the python3 first on PATH may be
// another one that cannot import it.
constexpr const char* Python = "/usr/bin/python3";

constexpr int StartTimeoutMs = 15000;
constexpr int StopTimeoutMs = 3000;

// The build names the launcher's folder: __FILE__ may be relative (ccache's base folder).
QString LauncherPath() {
    return QDir(QStringLiteral(CORVANE_TEST_SUPPORT_DIR)).filePath("pyftpd_server.py");
}

} // namespace

RealFtpServer::RealFtpServer() = default;

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
            "real FTP server (Debian package " + std::string(Package) + ") not available: " + why;
    return false;
}

bool RealFtpServer::launch(std::string* why) {
    if (!QFileInfo(Python).isExecutable()) {
        *why = std::string(Python) + " is missing";
        return false;
    }
    const QString launcher = LauncherPath();
    if (!QFileInfo::exists(launcher)) {
        *why = "launcher script not found at " + launcher.toStdString();
        return false;
    }
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) {
        *why = "cannot create a temporary folder: " + dir_->errorString().toStdString();
        return false;
    }
    root_ = dir_->path().toStdString();

    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(Python, {launcher, "--host", "127.0.0.1", "--port", "0", "--root", dir_->path(),
                             "--user", User, "--password", Password});
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
    root_.clear();
}

bool RunningUnderCi() {
    const QByteArray ci = qgetenv("CI").trimmed().toLower();
    return ci == "true" || ci == "1";
}

} // namespace testsupport
