#include "ftp/FtpTestSupport.h"
#include "support/RealFtpServer.h"

#include <filesystem>
#include <gtest/gtest.h>

using testsupport::RealFtpServer;

namespace {

// Points a fresh engine at the server as its test user and starts ConnectAsync.
void ConnectTo(TFtpClient& ftp, FtpRecorder& rec, const RealFtpServer& server,
               const std::string& host, const std::string& password) {
    rec.Attach(ftp);
    ftp.HostName = host;
    ftp.Port = server.portText();
    ftp.UserName = RealFtpServer::User;
    ftp.PassWord = password;
    ftp.ConnectAsync();
}

struct LoginRow {
    const char* name;
    const char* password;
    int error;
};

class RealServerLogin : public ::testing::TestWithParam<LoginRow> {};

TEST_P(RealServerLogin, ConnectReportsTheLoginResult) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);
    TFtpClient ftp;
    FtpRecorder rec;
    ConnectTo(ftp, rec, server, "127.0.0.1", GetParam().password);
    ASSERT_TRUE(rec.WaitDone(1, 10000));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::ConnectAsync, GetParam().error));
    EXPECT_EQ(rec.sessionConnected, 1);
    EXPECT_TRUE(ftp.Connected()) << "a failed login leaves the session open";
    EXPECT_TRUE(rec.Displayed(std::string("> USER ") + RealFtpServer::User));

    // Whatever the login did, QUIT ends the session cleanly.
    ftp.QuitAsync();
    ASSERT_TRUE(rec.WaitDone(2, 10000));
    EXPECT_EQ(rec.done[1], std::make_pair(TFtpRequest::QuitAsync, 0));
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(rec.sessionClosed, 1);
}

INSTANTIATE_TEST_SUITE_P(Pyftpdlib, RealServerLogin,
                         ::testing::Values(LoginRow{"right", RealFtpServer::Password, 0},
                                           LoginRow{"wrong", "not-the-password", 530}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RealServer, CommandsAfterLoginAndTheirResults) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);
    TFtpClient ftp;
    FtpRecorder rec;
    ConnectTo(ftp, rec, server, "localhost", RealFtpServer::Password);
    ASSERT_TRUE(rec.WaitDone(1, 10000));
    ASSERT_EQ(rec.done[0].second, 0) << ftp.ErrorMessage();

    ftp.HostFileName = "made by test";
    ftp.MkdAsync();
    ASSERT_TRUE(rec.WaitDone(2, 10000));
    EXPECT_EQ(rec.done[1], std::make_pair(TFtpRequest::MkdAsync, 0)) << ftp.LastResponse();
    EXPECT_TRUE(std::filesystem::is_directory(server.root() + "/made by test"));

    ftp.HostDirName = "made by test";
    EXPECT_TRUE(ftp.CwdSync());
    ftp.PwdAsync();
    ASSERT_TRUE(rec.WaitDone(4, 10000));
    EXPECT_EQ(ftp.DirResult, "/made by test");

    ftp.HostDirName = "/does-not-exist";
    ftp.CwdAsync();
    ASSERT_TRUE(rec.WaitDone(5, 10000));
    EXPECT_EQ(rec.done[4], std::make_pair(TFtpRequest::CwdAsync, 550));
}

} // namespace
