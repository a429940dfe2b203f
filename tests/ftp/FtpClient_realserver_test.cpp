#include "ftp/FtpTestSupport.h"
#include "support/RealFtpServer.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

using testsupport::RealFtpServer;
using testsupport::ScriptedFtpServer;
using enum FtpRequest;
namespace fs = std::filesystem;

namespace {

using Kind = RealFtpServer::Kind;

// An engine for the test user of a real server, with a scratch folder.
struct RealServerEngine : RecordedEngine {
    RealServerEngine(const RealFtpServer& server, const char* host, const char* password)
        : server(server) {
        ftp.HostName = host;
        ftp.Port = server.portText();
        ftp.UserName = server.user();
        ftp.PassWord = password;
    }
    std::string Local(const std::string& name) const {
        return dir.filePath(name.c_str()).toStdString();
    }
    std::string Remote(const std::string& name) const { return server.root() + "/" + name; }

    const RealFtpServer& server;
    QTemporaryDir dir;
};

const char* KindName(Kind kind) {
    return kind == Kind::Vsftpd ? "vsftpd" : "pyftpdlib";
}

TEST(RealServerLogin, ConnectReportsTheLoginAndQuitEndsTheSession) {
    const struct {
        const char* name;
        Kind kind;
        bool rightPassword;
        int error;
    } rows[]{
        {"pyftpdlib right", Kind::Pyftpdlib, true, 0},
        {"pyftpdlib wrong", Kind::Pyftpdlib, false, 530},
        {"vsftpd right", Kind::Vsftpd, true, 0},
        {"vsftpd wrong", Kind::Vsftpd, false, 530},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RealFtpServer server(row.kind);
        CORVANE_START_REAL_FTP(server);
        RealServerEngine e(server, "127.0.0.1",
                           row.rightPassword ? server.password() : "not-the-password");
        EXPECT_EQ(e.Play(&Cli::ConnectAsync), Done(ConnectAsync, row.error));
        EXPECT_EQ(e.sessionConnected, 1);
        EXPECT_TRUE(e.Displayed(std::string("> USER ") + server.user()));
        // vsftpd hangs up after a failed login; pyftpdlib keeps the session.
        if (e.ftp.Connected()) {
            EXPECT_EQ(e.Play(&Cli::QuitAsync), Done(QuitAsync, 0));
            EXPECT_FALSE(e.ftp.Connected());
        } else {
            EXPECT_EQ(row.kind, Kind::Vsftpd) << "a failed login leaves the session open";
            EXPECT_NE(row.error, 0);
        }
        EXPECT_EQ(e.sessionClosed, 1);
    }
}

// Which server, and whether the data connections are passive.
using ServerMode = std::tuple<Kind, bool>;

std::string ServerModeName(const ::testing::TestParamInfo<ServerMode>& info) {
    return std::string(KindName(std::get<0>(info.param))) +
           (std::get<1>(info.param) ? "_passive" : "_active");
}

const auto kEveryServerAndMode =
    ::testing::Combine(::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd), ::testing::Bool());

// A session logged in, binary, in the mode of the parameter.
class RealServerTransfer : public ::testing::TestWithParam<ServerMode> {
protected:
    RealServerTransfer() : server(std::get<0>(GetParam())) {}

    void SetUp() override {
        CORVANE_START_REAL_FTP(server);
        e = std::make_unique<RealServerEngine>(server, "127.0.0.1", server.password());
        e->ftp.SetPassive(std::get<1>(GetParam()));
        ASSERT_EQ(e->Play(&Cli::ConnectAsync).second, 0) << e->ftp.ErrorMessage();
        ASSERT_EQ(e->Play(&Cli::TypeBinaryAsync).second, 0);
    }

    RealFtpServer server;
    std::unique_ptr<RealServerEngine> e;
};

TEST_P(RealServerTransfer, FilesMoveBothWaysByteIdentical) {
    for (const std::size_t size : {std::size_t{10 * 1024 * 1024}, std::size_t{0}}) {
        SCOPED_TRACE(size);
        const std::string body = ScriptedFtpServer::Pattern(0, size, 42);
        const std::string name = "file-" + std::to_string(size) + ".bin";
        WriteFile(e->Remote(name), body);
        WriteFile(e->Local(name), "stale"); // replaced, also by an empty file
        ASSERT_EQ(e->Transfer(&Cli::GetAsync, name, e->Local(name)).second, 0)
            << e->ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(e->Local(name)) == body) << "download differs";
        EXPECT_EQ(e->ftp.ByteCount, static_cast<std::int64_t>(size));
        ASSERT_EQ(e->Transfer(&Cli::PutAsync, "up-" + name, e->Local(name)).second, 0)
            << e->ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(e->Remote("up-" + name)) == body) << "upload differs";
    }
}

TEST_P(RealServerTransfer, ListingsWithListAndNlst) {
    WriteFile(e->Remote("alpha.txt"), "a");
    fs::create_directory(e->Remote("beta"));
    ASSERT_EQ(e->Transfer(&Cli::DirAsync, "", e->Local("listing")).second, 0);
    const std::string list = ReadFile(e->Local("listing"));
    EXPECT_NE(list.find("alpha.txt"), std::string::npos) << list;
    EXPECT_NE(list.find("beta"), std::string::npos) << list;
    EXPECT_EQ(list.front(), '-') << "a UNIX-style long listing";
    ASSERT_EQ(e->Play(&Cli::LsAsync).second, 0) << e->ftp.ErrorMessage();
    const std::string names = ReadFile(e->Local("listing"));
    EXPECT_NE(names.find("alpha.txt\r\n"), std::string::npos) << names;
    EXPECT_NE(names.find("beta\r\n"), std::string::npos) << names;
}

TEST_P(RealServerTransfer, InterruptedTransfersResumeToTheSameBytes) {
    const std::string body = ScriptedFtpServer::Pattern(0, 4 * 1024 * 1024, 9);
    WriteFile(e->Remote("down"), body);
    e->abortAt = 1024 * 1024;
    EXPECT_NE(e->Transfer(&Cli::GetAsync, "down", e->Local("down")).second, -1);
    ASSERT_GT(fs::file_size(e->Local("down")), 0u);
    ASSERT_LT(fs::file_size(e->Local("down")), body.size()) << "the abort left no partial file";
    e->abortAt = -1;
    ASSERT_EQ(e->Play(&Cli::RestGetAsync).second, 0) << e->ftp.ErrorMessage();
    EXPECT_TRUE(ReadFile(e->Local("down")) == body);

    e->abortAt = 1024 * 1024;
    EXPECT_NE(e->Transfer(&Cli::PutAsync, "up", e->Local("down")).second, -1);
    e->abortAt = -1;
    ASSERT_EQ(e->Play(&Cli::SizeAsync).second, 0) << e->ftp.ErrorMessage();
    ASSERT_GT(e->ftp.SizeResult, 0);
    ASSERT_LT(e->ftp.SizeResult, static_cast<std::int64_t>(body.size()));
    e->ftp.ResumeAt = e->ftp.SizeResult;
    ASSERT_EQ(e->Play(&Cli::RestPutAsync).second, 0) << e->ftp.ErrorMessage();
    EXPECT_TRUE(ReadFile(e->Remote("up")) == body);
}

// A text file sent and fetched back in TYPE A is the same file: its LF line
// ends go out as CR LF and come back as LF, whether the server keeps them as
// LF (pyftpdlib) or as they came (vsftpd).
TEST_P(RealServerTransfer, TextRoundTripInAsciiKeepsTheFile) {
    std::string body; // several blocks long, empty lines, no LF at the end
    for (int i = 0; i < 20000; ++i)
        body += "line " + std::to_string(i) + (i % 7 == 0 ? "\n\n" : "\n");
    body += "last";
    std::string wire;
    for (const char c : body)
        wire += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(e->Local("notes.txt"), body);
    ASSERT_EQ(e->Play(&Cli::TypeAsciiAsync).second, 0);
    ASSERT_EQ(e->Transfer(&Cli::PutAsync, "notes.txt", e->Local("notes.txt")).second, 0)
        << e->ftp.ErrorMessage();
    const std::string stored = ReadFile(e->Remote("notes.txt"));
    EXPECT_TRUE(stored == (server.kind() == Kind::Pyftpdlib ? body : wire))
        << "the server got other line ends (" << stored.size() << " bytes)";
    ASSERT_EQ(e->Transfer(&Cli::GetAsync, "notes.txt", e->Local("back.txt")).second, 0)
        << e->ftp.ErrorMessage();
    EXPECT_TRUE(ReadFile(e->Local("back.txt")) == body) << "the round trip changed the file";
}

INSTANTIATE_TEST_SUITE_P(RealServers, RealServerTransfer, kEveryServerAndMode, ServerModeName);

class RealServerCommands : public ::testing::TestWithParam<Kind> {};

TEST_P(RealServerCommands, DirectoryAndFileCommands) {
    RealFtpServer server(GetParam());
    CORVANE_START_REAL_FTP(server);
    RealServerEngine e(server, "localhost", server.password());
    FtpClient& ftp = e.ftp;
    const auto run = [&](void (Cli::*request)()) { return e.Play(request).second; };
    ASSERT_EQ(run(&Cli::ConnectAsync), 0) << ftp.ErrorMessage();
    WriteFile(e.Remote("notes.txt"), "twelve bytes");

    ASSERT_EQ(run(&Cli::SystAsync), 0);
    EXPECT_TRUE(ftp.LastResponse().starts_with("215 ")) << ftp.LastResponse();

    ftp.HostFileName = "made by test";
    ASSERT_EQ(run(&Cli::MkdAsync), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(fs::is_directory(e.Remote("made by test")));
    ftp.HostDirName = "made by test";
    ASSERT_TRUE(ftp.CwdSync());
    ASSERT_EQ(run(&Cli::PwdAsync), 0);
    const std::string home = server.home() == "/" ? "" : server.home();
    EXPECT_EQ(ftp.DirResult, home + "/made by test");
    ASSERT_EQ(run(&Cli::CDupAsync), 0);
    ASSERT_EQ(run(&Cli::PwdAsync), 0);
    EXPECT_EQ(ftp.DirResult, server.home());
    ftp.HostDirName = "/does-not-exist";
    EXPECT_EQ(run(&Cli::CwdAsync), 550);

    ASSERT_EQ(run(&Cli::TypeBinaryAsync), 0);
    ftp.HostFileName = "notes.txt";
    ASSERT_EQ(run(&Cli::SizeAsync), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.SizeResult, 12);

    ftp.LocalFileName = "SITE CHMOD 600 notes.txt";
    if (server.allowsChmod()) {
        ASSERT_EQ(run(&Cli::QuoteAsync), 0) << ftp.ErrorMessage();
        EXPECT_EQ(fs::status(e.Remote("notes.txt")).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    } else {
        EXPECT_EQ(run(&Cli::QuoteAsync), 550) << "a refused quote is not a success";
    }

    ftp.LocalFileName = "renamed.txt";
    ASSERT_EQ(run(&Cli::RenAsync), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(fs::exists(e.Remote("renamed.txt")));
    ftp.HostFileName = "renamed.txt";
    ASSERT_EQ(run(&Cli::DeleAsync), 0) << ftp.ErrorMessage();
    EXPECT_FALSE(fs::exists(e.Remote("renamed.txt")));

    ftp.HostFileName = "made by test";
    ASSERT_EQ(run(&Cli::RmdAsync), 0) << ftp.ErrorMessage();
    EXPECT_FALSE(fs::exists(e.Remote("made by test")));
    EXPECT_EQ(run(&Cli::RmdAsync), 550);
}

INSTANTIATE_TEST_SUITE_P(RealServers, RealServerCommands,
                         ::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd),
                         [](const auto& info) { return std::string(KindName(info.param)); });

} // namespace
