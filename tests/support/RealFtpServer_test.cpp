#include "support/RealFtpServer.h"
#include "support/ScriptedFtpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>

namespace {

using testsupport::ConnectLoopback;
using testsupport::RealFtpServer;
using testsupport::UniqueFd;

// Reads until EOF (or nothing arrives for two seconds).
std::string ReadAll(int fd) {
    std::string got;
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 2000) > 0) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

// Talks to the server line by line, as little of an FTP client as these checks need.
class Control {
public:
    explicit Control(uint16_t port) : fd_(ConnectLoopback(port)) {}

    // The last line of the next reply ("230 Login successful."), or "" on EOF or timeout.
    std::string reply() {
        std::string code; // of a multi-line reply, which ends with "<code> text"
        for (size_t end; (end = inbox_.find("\r\n")) != std::string::npos || fill();) {
            if (end == std::string::npos)
                continue;
            const std::string line = inbox_.substr(0, end);
            inbox_.erase(0, end + 2);
            if (line.size() < 4)
                continue;
            if (code.empty() && line[3] == '-')
                code = line.substr(0, 3);
            else if (line[3] == ' ' && (code.empty() || line.starts_with(code)))
                return line;
        }
        return "";
    }

    std::string command(const std::string& text) {
        const std::string bytes = text + "\r\n";
        ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        return reply();
    }

    std::string code(const std::string& text) { return command(text).substr(0, 3); }

private:
    bool fill() {
        pollfd p{fd_.get(), POLLIN, 0};
        char buf[1024];
        const ssize_t n = ::poll(&p, 1, 3000) > 0 ? ::recv(fd_.get(), buf, sizeof buf, 0) : 0;
        inbox_.append(buf, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        return n > 0;
    }

    UniqueFd fd_;
    std::string inbox_;
};

// "227 Entering passive mode (127,0,0,1,195,80)." -> "127.0.0.1" and the port; "" when not one.
std::pair<std::string, uint16_t> ParsePasv(const std::string& reply) {
    unsigned n[6] = {};
    const size_t open = reply.find('(');
    if (open == std::string::npos || std::sscanf(reply.c_str() + open + 1, "%u,%u,%u,%u,%u,%u",
                                                 &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]) != 6)
        return {"", 0};
    return {std::to_string(n[0]) + '.' + std::to_string(n[1]) + '.' + std::to_string(n[2]) + '.' +
                std::to_string(n[3]),
            static_cast<uint16_t>(n[4] * 256 + n[5])};
}

bool WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

TEST(RealFtpServer, ChecksThePasswordAndServesItsRootFolderOverLoopback) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);
    const QDir root(QString::fromStdString(server.root()));
    const QByteArray content = "hello over loopback\r\n";
    ASSERT_TRUE(WriteFile(root.filePath("hello.txt"), content));

    for (const auto& [user, password] :
         {std::pair{"nobody", RealFtpServer::Password}, std::pair{RealFtpServer::User, "wrong"}}) {
        SCOPED_TRACE(std::string(user) + "/" + password);
        Control refused(server.port());
        EXPECT_EQ(refused.reply().substr(0, 4), "220 ");
        EXPECT_EQ(refused.code(std::string("USER ") + user), "331");
        EXPECT_EQ(refused.code(std::string("PASS ") + password), "530");
    }

    Control control(server.port());
    ASSERT_EQ(control.reply().substr(0, 3), "220");
    ASSERT_EQ(control.code(std::string("USER ") + RealFtpServer::User), "331");
    ASSERT_EQ(control.code(std::string("PASS ") + RealFtpServer::Password), "230");
    EXPECT_EQ(control.code("TYPE I"), "200"); // this server answers SIZE in binary mode only
    EXPECT_EQ(control.command("SIZE hello.txt"), "213 " + std::to_string(content.size()));

    // What the client makes appears in root().
    EXPECT_EQ(control.code("MKD made"), "257");
    EXPECT_TRUE(QFileInfo(root.filePath("made")).isDir());

    // A passive transfer stays on loopback and carries the file unchanged.
    const std::string pasv = control.command("PASV");
    const auto [host, port] = ParsePasv(pasv);
    EXPECT_EQ(host, "127.0.0.1") << pasv;
    UniqueFd data = ConnectLoopback(port);
    ASSERT_TRUE(data.valid());
    const std::string opening = control.code("RETR hello.txt");
    EXPECT_TRUE(opening == "150" || opening == "125") << opening;
    EXPECT_EQ(ReadAll(data.get()), content.toStdString());
    EXPECT_EQ(control.reply().substr(0, 3), "226");
}

TEST(RealFtpServer, NamesThePackageWhenItCannotBeImported) {
    // A package of the same name that fails to import hides the installed one.
    QTemporaryDir shadow;
    ASSERT_TRUE(shadow.isValid());
    ASSERT_TRUE(QDir(shadow.path()).mkdir("pyftpdlib"));
    ASSERT_TRUE(WriteFile(shadow.filePath("pyftpdlib/__init__.py"),
                          "raise ImportError('hidden by the test')\n"));
    const QByteArray saved = qgetenv("PYTHONPATH");
    const bool hadSaved = qEnvironmentVariableIsSet("PYTHONPATH");
    qputenv("PYTHONPATH", shadow.path().toLocal8Bit());

    RealFtpServer server;
    std::string why;
    const bool started = server.start(&why);

    if (hadSaved)
        qputenv("PYTHONPATH", saved);
    else
        qunsetenv("PYTHONPATH");
    EXPECT_FALSE(started);
    EXPECT_NE(why.find("python3-pyftpdlib"), std::string::npos) << why;
    EXPECT_NE(why.find("hidden by the test"), std::string::npos) << why;
    EXPECT_TRUE(server.root().empty());
}

} // namespace
