#include "ftp/FtpTestSupport.h"
#include "support/RealFtpServer.h"
#include "support/RealSocksProxy.h"
#include "support/ScriptedFtpServer.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using testsupport::RealFtpServer;
using testsupport::RealSocksProxy;
using testsupport::ScriptedFtpServer;

namespace {

struct ProxyRow {
    const char* name;
    RealSocksProxy::Kind kind;
    TFtpConnectionType type;
};

// The engine logs in to `server` as its user, through `proxy` with the proxy
// password given.
void PointThroughProxy(TFtpClient& ftp, TFtpConnectionType type, const RealSocksProxy& proxy,
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

class ThroughRealProxy : public ::testing::TestWithParam<ProxyRow> {
protected:
    int Run(void (TCustomFtpCli::*request)()) { return rec.Run(ftp, request); }

    TFtpClient ftp;
    FtpRecorder rec;
    QTemporaryDir dir;
};

// Two whole sessions on one engine: the proxy settings are written once and
// hold for every connection of both sockets.
TEST_P(ThroughRealProxy, LogInListAndMoveFilesTwice) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);
    RealSocksProxy proxy(GetParam().kind);
    CORVANE_START_REAL_SOCKS(proxy);

    rec.Attach(ftp);
    PointThroughProxy(ftp, GetParam().type, proxy, RealSocksProxy::Password, server);
    EXPECT_TRUE(ftp.Passive());

    const std::string body = ScriptedFtpServer::Pattern(0, 300000, 4);
    WriteFile(server.root() + "/down.bin", body);
    WriteFile(dir.filePath("up.bin").toStdString(), body);
    for (int session = 1; session <= 2; ++session) {
        SCOPED_TRACE(session);
        ASSERT_EQ(Run(&TCustomFtpCli::ConnectAsync), 0) << ftp.ErrorMessage();
        EXPECT_EQ(ftp.ControlSocket().PeerPort(), proxy.port()) << "not through the proxy";
        ASSERT_EQ(Run(&TCustomFtpCli::TypeBinaryAsync), 0);

        ftp.HostFileName.clear();
        ftp.LocalFileName = dir.filePath("listing").toStdString();
        ASSERT_EQ(Run(&TCustomFtpCli::DirAsync), 0) << ftp.ErrorMessage();
        EXPECT_NE(ReadFile(ftp.LocalFileName).find("down.bin"), std::string::npos);

        ftp.HostFileName = "down.bin";
        ftp.LocalFileName = dir.filePath("down.bin").toStdString();
        ASSERT_EQ(Run(&TCustomFtpCli::GetAsync), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(ftp.LocalFileName) == body);

        ftp.HostFileName = "up-" + std::to_string(session) + ".bin";
        ftp.LocalFileName = dir.filePath("up.bin").toStdString();
        ASSERT_EQ(Run(&TCustomFtpCli::PutAsync), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(server.root() + "/" + ftp.HostFileName) == body);

        ASSERT_EQ(Run(&TCustomFtpCli::QuitAsync), 0);
        EXPECT_FALSE(ftp.Connected());
    }
}

INSTANTIATE_TEST_SUITE_P(Debian, ThroughRealProxy,
                         ::testing::Values(ProxyRow{"dante_socks4", RealSocksProxy::Kind::Dante,
                                                    TFtpConnectionType::ftpSocks4},
                                           ProxyRow{"microsocks_socks5_password",
                                                    RealSocksProxy::Kind::MicrosocksWithPassword,
                                                    TFtpConnectionType::ftpSocks5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ThroughRealProxyRefused, WrongProxyPasswordFailsTheConnect) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);
    RealSocksProxy proxy(RealSocksProxy::Kind::MicrosocksWithPassword);
    CORVANE_START_REAL_SOCKS(proxy);
    TFtpClient ftp;
    FtpRecorder rec;
    rec.Attach(ftp);
    PointThroughProxy(ftp, TFtpConnectionType::ftpSocks5, proxy, "wrong", server);
    ftp.ConnectAsync();
    ASSERT_TRUE(rec.WaitDone(1, 10000));
    EXPECT_NE(rec.done[0].second, 0);
    EXPECT_FALSE(ftp.Connected());
}

} // namespace
