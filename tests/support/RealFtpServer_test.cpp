#include "support/RealFtpServer.h"
#include "support/ScriptedFtpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

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
    bool connected() const { return fd_.valid(); }

    // The last line of the next reply ("230 Login successful."), or "" on EOF or timeout.
    std::string reply() {
        std::string code; // of a multi-line reply, which ends with "<code> text"
        while (std::optional<std::string> line = readLine()) {
            if (line->size() < 4)
                continue;
            if (code.empty() && (*line)[3] == '-')
                code = line->substr(0, 3);
            else if ((*line)[3] == ' ' && (code.empty() || line->starts_with(code)))
                return *line;
        }
        return "";
    }

    std::string command(const std::string& text) {
        const std::string bytes = text + "\r\n";
        if (::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(bytes.size()))
            return "";
        return reply();
    }

    std::string code(const std::string& text) { return command(text).substr(0, 3); }

    bool login(const std::string& user, const std::string& password) {
        return code("USER " + user) == "331" && code("PASS " + password) == "230";
    }

private:
    std::optional<std::string> readLine() {
        for (;;) {
            const size_t lf = inbox_.find('\n');
            if (lf != std::string::npos) {
                std::string line = inbox_.substr(0, lf);
                inbox_.erase(0, lf + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            pollfd p{fd_.get(), POLLIN, 0};
            char buf[1024];
            if (::poll(&p, 1, 3000) <= 0)
                return std::nullopt;
            const ssize_t n = ::recv(fd_.get(), buf, sizeof buf, 0);
            if (n <= 0)
                return std::nullopt;
            inbox_.append(buf, static_cast<size_t>(n));
        }
    }

    UniqueFd fd_;
    std::string inbox_;
};

// "227 Entering passive mode (127,0,0,1,195,80)." -> host text and port.
std::optional<std::pair<std::string, uint16_t>> ParsePasv(const std::string& reply) {
    static const QRegularExpression re(R"((\d+),(\d+),(\d+),(\d+),(\d+),(\d+))");
    const auto m = re.match(QString::fromStdString(reply));
    if (!m.hasMatch())
        return std::nullopt;
    const std::string host =
        (m.captured(1) + "." + m.captured(2) + "." + m.captured(3) + "." + m.captured(4))
            .toStdString();
    return std::pair{host,
                     static_cast<uint16_t>(m.captured(5).toInt() * 256 + m.captured(6).toInt())};
}

bool WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

TEST(RealFtpServer, GreetsAndChecksThePassword) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);

    struct Row {
        const char* user;
        const char* password;
        const char* code;
    };
    const Row rows[] = {
        {RealFtpServer::User, RealFtpServer::Password, "230"},
        {RealFtpServer::User, "wrong", "530"},
        {"nobody", RealFtpServer::Password, "530"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.user) + "/" + row.password);
        Control control(server.port());
        ASSERT_TRUE(control.connected());
        EXPECT_EQ(control.reply().substr(0, 4), "220 ");
        EXPECT_EQ(control.code(std::string("USER ") + row.user), "331");
        EXPECT_EQ(control.code(std::string("PASS ") + row.password), row.code);
    }
}

TEST(RealFtpServer, ServesItsRootFolderOverLoopback) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);
    const QDir root(QString::fromStdString(server.root()));
    const QByteArray content = "hello over loopback\r\n";
    ASSERT_TRUE(WriteFile(root.filePath("hello.txt"), content));

    Control control(server.port());
    ASSERT_EQ(control.reply().substr(0, 3), "220");
    ASSERT_TRUE(control.login(RealFtpServer::User, RealFtpServer::Password));
    EXPECT_EQ(control.code("TYPE I"), "200"); // this server answers SIZE in binary mode only
    EXPECT_EQ(control.command("SIZE hello.txt"), "213 " + std::to_string(content.size()));

    // What the client makes appears in root().
    EXPECT_EQ(control.code("MKD made"), "257");
    EXPECT_TRUE(QFileInfo(root.filePath("made")).isDir());

    // A passive transfer stays on loopback and carries the file unchanged.
    const std::string pasv = control.command("PASV");
    ASSERT_EQ(pasv.substr(0, 3), "227") << pasv;
    const auto address = ParsePasv(pasv);
    ASSERT_TRUE(address) << pasv;
    EXPECT_EQ(address->first, "127.0.0.1");
    UniqueFd data = ConnectLoopback(address->second);
    ASSERT_TRUE(data.valid());
    const std::string opening = control.code("RETR hello.txt");
    EXPECT_TRUE(opening == "150" || opening == "125") << opening;
    EXPECT_EQ(ReadAll(data.get()), content.toStdString());
    EXPECT_EQ(control.reply().substr(0, 3), "226");
}

TEST(RealFtpServer, DestructorStopsTheServerAndRemovesTheRoot) {
    uint16_t port = 0;
    std::string rootPath;
    {
        RealFtpServer server;
        CORVANE_START_REAL_FTP(server);
        port = server.port();
        rootPath = server.root();
        ASSERT_TRUE(WriteFile(QDir(QString::fromStdString(rootPath)).filePath("left.txt"), "x"));
        EXPECT_TRUE(ConnectLoopback(port).valid());
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(rootPath)));
    EXPECT_FALSE(ConnectLoopback(port).valid());
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
