#include "ftp/FtpTestSupport.h"
#include "support/RealFtpServer.h"
#include "support/RealSocksProxy.h"
#include "support/ScriptedFtpServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using testsupport::RealFtpServer;
using testsupport::RealSocksProxy;
using testsupport::ScriptedFtpServer;

namespace {

struct ProxyRow {
    const char* name;
    RealSocksProxy::Kind kind;
    FtpConnectionType type;
};

// The engine logs in to `server` as its user, through `proxy` with the proxy
// password given.
void PointThroughProxy(FtpClient& ftp, FtpConnectionType type, const RealSocksProxy& proxy,
                       const std::string& proxyPassword, const RealFtpServer& server) {
    ftp.SetConnectionType(type);
    ftp.SetSocksServer("127.0.0.1");
    ftp.SetSocksPort(proxy.portText());
    ftp.SetSocksUserCode(RealSocksProxy::User);
    ftp.SetSocksPassword(proxyPassword);
    ftp.HostName = "127.0.0.1";
    ftp.Port = server.portText();
    ftp.UserName = RealFtpServer::User;
    ftp.PassWord = RealFtpServer::Password;
}

class ThroughRealProxy : public ::testing::TestWithParam<ProxyRow> {};

// Two whole sessions on one engine: the proxy settings are written once and
// hold for every connection of both sockets; before them, a wrong proxy password fails.
TEST_P(ThroughRealProxy, LogInListAndMoveFilesTwice) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);
    RealSocksProxy proxy(GetParam().kind);
    CORVANE_START_REAL_SOCKS(proxy);
    RecordedEngine e;
    FtpClient& ftp = e.ftp;
    if (GetParam().kind == RealSocksProxy::Kind::MicrosocksWithPassword) {
        PointThroughProxy(ftp, GetParam().type, proxy, "wrong", server);
        EXPECT_GT(e.Play(&Cli::ConnectAsync, 10000).second, 0) << "a wrong proxy password";
        EXPECT_FALSE(ftp.Connected());
    }
    QTemporaryDir dir;
    const auto local = [&](const char* name) { return dir.filePath(name).toStdString(); };
    PointThroughProxy(ftp, GetParam().type, proxy, RealSocksProxy::Password, server);
    EXPECT_TRUE(ftp.Passive());

    const std::string body = ScriptedFtpServer::Pattern(0, 300000, 4);
    WriteFile(server.root() + "/down.bin", body);
    WriteFile(local("up.bin"), body);
    for (int session = 1; session <= 2; ++session) {
        SCOPED_TRACE(session);
        ASSERT_EQ(e.Play(&Cli::ConnectAsync).second, 0) << ftp.ErrorMessage();
        EXPECT_EQ(ftp.ControlSocket().PeerPort(), proxy.port()) << "not through the proxy";
        ASSERT_EQ(e.Play(&Cli::TypeBinaryAsync).second, 0);
        ASSERT_EQ(e.Transfer(&Cli::DirAsync, "", local("listing")).second, 0) << ftp.ErrorMessage();
        EXPECT_NE(ReadFile(local("listing")).find("down.bin"), std::string::npos);
        ASSERT_EQ(e.Transfer(&Cli::GetAsync, "down.bin", local("down.bin")).second, 0)
            << ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(local("down.bin")) == body);
        const std::string up = "up-" + std::to_string(session) + ".bin";
        ASSERT_EQ(e.Transfer(&Cli::PutAsync, up, local("up.bin")).second, 0) << ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(server.root() + "/" + up) == body);
        ASSERT_EQ(e.Play(&Cli::QuitAsync).second, 0);
        EXPECT_FALSE(ftp.Connected());
    }
}

INSTANTIATE_TEST_SUITE_P(Debian, ThroughRealProxy,
                         ::testing::Values(ProxyRow{"dante_socks4", RealSocksProxy::Kind::Dante,
                                                    FtpConnectionType::ftpSocks4},
                                           ProxyRow{"microsocks_socks5_password",
                                                    RealSocksProxy::Kind::MicrosocksWithPassword,
                                                    FtpConnectionType::ftpSocks5}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
