#include "ftp/FtpTestSupport.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedFtpServer.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using testsupport::RealFtpServer;
using testsupport::ScriptedFtpServer;
namespace fs = std::filesystem;

namespace {

// Requests one at a time against the real server, each waited for.
class RealServerSession {
public:
    explicit RealServerSession(const RealFtpServer& server) {
        rec.Attach(ftp);
        ftp.OnProgress = [this](TCustomFtpCli*, std::int64_t count, bool& abort) {
            abort = abortAt >= 0 && count >= abortAt;
        };
        ftp.HostName = "127.0.0.1";
        ftp.Port = server.portText();
        ftp.UserName = RealFtpServer::User;
        ftp.PassWord = RealFtpServer::Password;
    }

    int Run(void (TCustomFtpCli::*request)()) { return rec.Run(ftp, request); }

    TFtpClient ftp;
    FtpRecorder rec;
    std::int64_t abortAt = -1;
};

class RealServerTransfer : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        CORVANE_START_REAL_FTP(server);
        session = std::make_unique<RealServerSession>(server);
        session->ftp.SetPassive(GetParam());
        ASSERT_EQ(session->Run(&TCustomFtpCli::ConnectAsync), 0) << ftp().ErrorMessage();
        ASSERT_EQ(session->Run(&TCustomFtpCli::TypeBinaryAsync), 0);
    }

    TFtpClient& ftp() { return session->ftp; }
    std::string Local(const std::string& name) const {
        return dir.filePath(name.c_str()).toStdString();
    }
    std::string Remote(const std::string& name) const { return server.root() + "/" + name; }

    RealFtpServer server;
    QTemporaryDir dir;
    std::unique_ptr<RealServerSession> session;
};

TEST_P(RealServerTransfer, FilesMoveBothWaysByteIdentical) {
    for (const std::size_t size : {std::size_t{10 * 1024 * 1024}, std::size_t{0}}) {
        SCOPED_TRACE(size);
        const std::string body = ScriptedFtpServer::Pattern(0, size, 42);
        const std::string name = "file-" + std::to_string(size) + ".bin";
        WriteFile(Remote(name), body);
        ftp().HostFileName = name;
        ftp().LocalFileName = Local(name);
        ASSERT_EQ(session->Run(&TCustomFtpCli::GetAsync), 0) << ftp().ErrorMessage();
        EXPECT_TRUE(ReadFile(Local(name)) == body) << "download differs";
        EXPECT_EQ(ftp().ByteCount, static_cast<std::int64_t>(size));

        ftp().HostFileName = "up-" + name;
        ASSERT_EQ(session->Run(&TCustomFtpCli::PutAsync), 0) << ftp().ErrorMessage();
        EXPECT_TRUE(ReadFile(Remote("up-" + name)) == body) << "upload differs";
    }
}

TEST_P(RealServerTransfer, ListingsWithListAndNlst) {
    WriteFile(Remote("alpha.txt"), "a");
    fs::create_directory(Remote("beta"));
    ftp().HostFileName.clear();
    ftp().LocalFileName = Local("listing");
    ASSERT_EQ(session->Run(&TCustomFtpCli::DirAsync), 0) << ftp().ErrorMessage();
    const std::string list = ReadFile(Local("listing"));
    EXPECT_NE(list.find("alpha.txt"), std::string::npos) << list;
    EXPECT_NE(list.find("beta"), std::string::npos) << list;
    EXPECT_EQ(list.front(), '-') << "a UNIX-style long listing";
    ASSERT_EQ(session->Run(&TCustomFtpCli::LsAsync), 0) << ftp().ErrorMessage();
    const std::string names = ReadFile(Local("listing"));
    EXPECT_NE(names.find("alpha.txt\r\n"), std::string::npos) << names;
    EXPECT_NE(names.find("beta\r\n"), std::string::npos) << names;
}

TEST_P(RealServerTransfer, InterruptedDownloadResumesToTheSameBytes) {
    const std::string body = ScriptedFtpServer::Pattern(0, 4 * 1024 * 1024, 9);
    WriteFile(Remote("big"), body);
    ftp().HostFileName = "big";
    ftp().LocalFileName = Local("big");
    session->abortAt = 1024 * 1024;
    EXPECT_NE(session->Run(&TCustomFtpCli::GetAsync), -1);
    const auto partial = fs::file_size(Local("big"));
    ASSERT_GT(partial, 0u);
    ASSERT_LT(partial, body.size()) << "the abort must leave a partial file";
    session->abortAt = -1;
    ASSERT_EQ(session->Run(&TCustomFtpCli::RestGetAsync), 0) << ftp().ErrorMessage();
    EXPECT_TRUE(ReadFile(Local("big")) == body);
}

TEST_P(RealServerTransfer, InterruptedUploadResumesToTheSameBytes) {
    const std::string body = ScriptedFtpServer::Pattern(0, 4 * 1024 * 1024, 10);
    WriteFile(Local("big"), body);
    ftp().HostFileName = "big";
    ftp().LocalFileName = Local("big");
    session->abortAt = 1024 * 1024;
    EXPECT_NE(session->Run(&TCustomFtpCli::PutAsync), -1);
    session->abortAt = -1;
    ASSERT_EQ(session->Run(&TCustomFtpCli::SizeAsync), 0) << ftp().ErrorMessage();
    ASSERT_GT(ftp().SizeResult, 0);
    ASSERT_LT(ftp().SizeResult, static_cast<std::int64_t>(body.size()));
    ftp().ResumeAt = ftp().SizeResult;
    ASSERT_EQ(session->Run(&TCustomFtpCli::RestPutAsync), 0) << ftp().ErrorMessage();
    EXPECT_TRUE(ReadFile(Remote("big")) == body);
}

INSTANTIATE_TEST_SUITE_P(Pyftpdlib, RealServerTransfer, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "passive" : "active"; });

TEST(RealServerCommands, DirectoryAndFileCommands) {
    RealFtpServer server;
    CORVANE_START_REAL_FTP(server);
    RealServerSession session(server);
    TFtpClient& ftp = session.ftp;
    ASSERT_EQ(session.Run(&TCustomFtpCli::ConnectAsync), 0) << ftp.ErrorMessage();
    WriteFile(server.root() + "/notes.txt", "twelve bytes");

    ASSERT_EQ(session.Run(&TCustomFtpCli::SystAsync), 0);
    EXPECT_EQ(ftp.LastResponse().rfind("215 ", 0), 0u) << ftp.LastResponse();

    ftp.HostFileName = "docs";
    ASSERT_EQ(session.Run(&TCustomFtpCli::MkdAsync), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(fs::is_directory(server.root() + "/docs"));

    ftp.HostDirName = "docs";
    ASSERT_EQ(session.Run(&TCustomFtpCli::CwdAsync), 0);
    ASSERT_EQ(session.Run(&TCustomFtpCli::PwdAsync), 0);
    EXPECT_EQ(ftp.DirResult, "/docs");
    ASSERT_EQ(session.Run(&TCustomFtpCli::CDupAsync), 0);
    ASSERT_EQ(session.Run(&TCustomFtpCli::PwdAsync), 0);
    EXPECT_EQ(ftp.DirResult, "/");

    ASSERT_EQ(session.Run(&TCustomFtpCli::TypeBinaryAsync), 0);
    ftp.HostFileName = "notes.txt";
    ASSERT_EQ(session.Run(&TCustomFtpCli::SizeAsync), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.SizeResult, 12);

    ftp.LocalFileName = "SITE CHMOD 600 notes.txt";
    ASSERT_EQ(session.Run(&TCustomFtpCli::QuoteAsync), 0) << ftp.ErrorMessage();
    EXPECT_EQ(fs::status(server.root() + "/notes.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    ftp.HostFileName = "notes.txt";
    ftp.LocalFileName = "renamed.txt";
    ASSERT_EQ(session.Run(&TCustomFtpCli::RenAsync), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(fs::exists(server.root() + "/renamed.txt"));

    ftp.HostFileName = "renamed.txt";
    ASSERT_EQ(session.Run(&TCustomFtpCli::DeleAsync), 0) << ftp.ErrorMessage();
    EXPECT_FALSE(fs::exists(server.root() + "/renamed.txt"));

    ftp.HostFileName = "docs";
    ASSERT_EQ(session.Run(&TCustomFtpCli::RmdAsync), 0) << ftp.ErrorMessage();
    EXPECT_FALSE(fs::exists(server.root() + "/docs"));

    ftp.HostFileName = "docs";
    EXPECT_EQ(session.Run(&TCustomFtpCli::RmdAsync), 550);
}

} // namespace
