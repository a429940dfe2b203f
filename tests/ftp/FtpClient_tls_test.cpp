#include "ftp/FtpTestSupport.h"
#include "support/RealFtpServer.h"
#include "support/RealSocksProxy.h"

#include <gtest/gtest.h>

using testsupport::RealFtpServer;
using testsupport::RealSocksProxy;
using testsupport::ScriptedFtpServer;
using enum FtpRequest;

namespace {

using Kind = RealFtpServer::Kind;
using Tls = RealFtpServer::Tls;

bool StartsWithAny(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.starts_with(prefix); });
}

struct RealTlsRow {
    const char* name;
    Kind kind;
    Tls tls;
    bool passive;
    bool viaSocks = false;  // TLS is a layer above the SOCKS 5 negotiation
    const char* fault = ""; // of pyftpdlib (pyftpd_server.py)
    // A data connection that is not what PROT P promised: this request must fail.
    void (Cli::*failing)() = nullptr;
};

// Login, listing, and 10 MiB each way over an encrypted control and data
// connection; vsftpd insists that each data connection resumes the control
// connection's session. A plain or cut data connection is never a complete transfer.
TEST(FtpTls, RealServersLoginListAndMoveFilesEncrypted) {
    const RealTlsRow rows[] = {
        {"vsftpd explicit passive", Kind::Vsftpd, Tls::Explicit, true},
        {"vsftpd explicit active", Kind::Vsftpd, Tls::Explicit, false},
        {"vsftpd implicit passive", Kind::Vsftpd, Tls::Implicit, true},
        {"vsftpd implicit active", Kind::Vsftpd, Tls::Implicit, false},
        {"pyftpdlib explicit passive", Kind::Pyftpdlib, Tls::Explicit, true},
        {"pyftpdlib explicit active", Kind::Pyftpdlib, Tls::Explicit, false},
        {"vsftpd implicit through SOCKS 5", Kind::Vsftpd, Tls::Implicit, true, true},
        // It drops a data connection that speaks before its command was taken up.
        {"pyftpdlib taking up transfers late", Kind::Pyftpdlib, Tls::Explicit, true, false,
         "late-transfer"},
        {"plain data connection while PROT P, passive", Kind::Pyftpdlib, Tls::Explicit, true, false,
         "plain-data", &Cli::GetAsync},
        {"plain data connection while PROT P, active", Kind::Pyftpdlib, Tls::Explicit, false, false,
         "plain-data", &Cli::GetAsync},
        {"plain listing while PROT P", Kind::Pyftpdlib, Tls::Explicit, true, false, "plain-data",
         &Cli::DirAsync},
        {"download closed without a TLS close", Kind::Pyftpdlib, Tls::Explicit, true, false,
         "cut-data", &Cli::GetAsync},
        {"listing closed without a TLS close", Kind::Pyftpdlib, Tls::Explicit, false, false,
         "cut-data", &Cli::DirAsync},
    };
    const std::string body = ScriptedFtpServer::Pattern(0, 10 * 1024 * 1024, 7);
    for (const RealTlsRow& row : rows) {
        SCOPED_TRACE(row.name);
        RealFtpServer server(row.kind, row.tls);
        server.fault = row.fault;
        CORVANE_START_REAL_FTP(server);
        RecordedEngine e;
        QTemporaryDir dir;
        const auto local = [&](const char* name) { return dir.filePath(name).toStdString(); };
        e.AimAt(server, "localhost");
        RealSocksProxy proxy(RealSocksProxy::Kind::MicrosocksWithPassword);
        if (row.viaSocks) {
            CORVANE_START_REAL_PEER(proxy);
            e.ftp.SetConnectionType(FtpConnectionType::ftpSocks5);
            e.ftp.SetSocksServer("127.0.0.1");
            e.ftp.SetSocksPort(proxy.portText());
            e.ftp.SetSocksUserCode(RealSocksProxy::User);
            e.ftp.SetSocksPassword(RealSocksProxy::Password);
        }
        e.ftp.SetPassive(row.passive);
        e.ftp.RequestTimeout = 5;
        e.ftp.Security = row.tls == Tls::Implicit ? FtpSecurity::Implicit : FtpSecurity::Explicit;
        int asked = 0;
        e.ftp.OnCertificateQuestion = [&](Cli* ftp, const tls::CertificateInfo& certificate,
                                          bool changed, const std::string&) {
            ++asked;
            EXPECT_FALSE(changed);
            EXPECT_NE(certificate.subject.find("localhost"), std::string::npos);
            ftp->AnswerCertificate(true);
        };
        ASSERT_EQ(e.Play(&Cli::ConnectAsync), Done(ConnectAsync, 0)) << e.ftp.ErrorMessage();
        EXPECT_EQ(asked, 1) << "a self-signed certificate is the user's to accept";
        EXPECT_TRUE(StartsWithAny(e.display, "! TLS 1.")) << "version and cipher are logged";
        EXPECT_TRUE(e.ftp.ProtectedData());
        EXPECT_EQ(e.Displayed("> AUTH TLS"), row.tls == Tls::Explicit);

        WriteFile(server.root() + "/down.bin", body);
        ASSERT_EQ(e.Play(&Cli::TypeBinaryAsync).second, 0);
        if (row.failing) {
            const Done done = e.Transfer(
                row.failing, row.failing == &Cli::GetAsync ? "down.bin" : "", local("failed"));
            EXPECT_NE(done.second, 0) << "reported complete";
            EXPECT_NE(done.second, -1) << "no end within the time-out";
            EXPECT_FALSE(e.ftp.ErrorMessage().empty());
            continue;
        }
        ASSERT_EQ(e.Transfer(&Cli::GetAsync, "down.bin", local("down.bin")).second, 0)
            << e.ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(local("down.bin")) == body) << "download differs";
        ASSERT_EQ(e.Transfer(&Cli::PutAsync, "up.bin", local("down.bin")).second, 0)
            << e.ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(server.root() + "/up.bin") == body) << "upload differs";
        ASSERT_EQ(e.Transfer(&Cli::DirAsync, "", local("listing")).second, 0)
            << e.ftp.ErrorMessage();
        EXPECT_NE(ReadFile(local("listing")).find("up.bin"), std::string::npos);
        EXPECT_EQ(e.Play(&Cli::QuitAsync).second, 0);
    }
}

// A server that will not, or cannot, secure the connection as the site asks.
TEST(FtpTls, ControlConnectionFaultsFailTheConnect) {
    struct Row {
        const char* name;
        FtpSecurity security;
        std::string afterAuth; // the server's part after the greeting
        std::string later;     // sent a moment after that
        int error;
        bool userSent; // the login went on (in plain)
    };
    const Row rows[] = {
        {"refused AUTH while required", FtpSecurity::Explicit, "534 No TLS here\r\n", "", 534,
         false},
        {"refused AUTH if available goes on plain", FtpSecurity::IfOffered,
         "502 Not implemented\r\n", "", 0, true},
        {"odd AUTH answer if available is no fall-back", FtpSecurity::IfOffered, "421 Busy\r\n", "",
         534, false},
        {"plain text right behind the 234", FtpSecurity::Explicit,
         "234 Go ahead\r\n220 plain again\r\n", "", 534, false},
        {"garbage instead of a handshake", FtpSecurity::Explicit, "234 Go ahead\r\n",
         "this is not TLS at all, just text\r\n", 534, false},
        {"stalled handshake ends by the time-out", FtpSecurity::Explicit, "234 Go ahead\r\n", "",
         wsock::WSAETIMEDOUT, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.ftp.Security = row.security;
        e.ftp.RequestTimeout = 1;
        e.server.send(kGreeting).readLine().send(row.afterAuth);
        if (!row.later.empty())
            e.server.pause(200).send(row.later);
        if (row.userSent)
            e.server.reply("331 Password\r\n").reply("230 In\r\n").reply("500 FEAT?\r\n");
        const Done done = e.Play(&Cli::ConnectAsync, 10000);
        EXPECT_EQ(done, Done(ConnectAsync, row.error)) << e.ftp.ErrorMessage();
        EXPECT_EQ(e.Displayed("> USER anna"), row.userSent);
        EXPECT_EQ(e.server.received().front(), "AUTH TLS");
        EXPECT_EQ(StartsWithAny(e.display, "Error "), row.error == 534) << "a clear error line";
    }
}

} // namespace
