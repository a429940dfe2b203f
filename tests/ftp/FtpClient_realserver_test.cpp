#include "ftp/FtpTestSupport.h"
#include "support/RealFtpServer.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

using testsupport::RealFtpServer;
using testsupport::ScriptedFtpServer;
using enum FtpRequest;
namespace fs = std::filesystem;

namespace {

using Kind = RealFtpServer::Kind;

constexpr std::int64_t kServerTime = 1577934245; // 2020-01-02 03:04:05 UTC

std::int64_t ModificationTime(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtim.tv_sec : -1;
}

// Which server, and whether the data connections are passive.
using ServerMode = std::tuple<Kind, bool>;

class RealServerTour : public ::testing::TestWithParam<ServerMode> {};

// One server and mode, the engine's transfers against it: a refused and an
// accepted login, files both ways compared byte for byte, listings, resumed
// transfers, a text file in TYPE A, QUIT. The folder and file commands on a real
// disk are the session's real-server tour.
TEST_P(RealServerTour, EveryRequestAgainstTheRealServer) {
    const auto [kind, passive] = GetParam();
    RealFtpServer server(kind);
    CORVANE_START_REAL_FTP(server);
    QTemporaryDir dir;
    const auto local = [&](const std::string& name) {
        return dir.filePath(name.c_str()).toStdString();
    };
    const auto remote = [&](const std::string& name) { return server.root() + "/" + name; };
    {
        RecordedEngine refused;
        refused.AimAt(server);
        refused.ftp.PassWord = "not-the-password";
        EXPECT_EQ(refused.Play(&Cli::ConnectAsync), Done(ConnectAsync, 530));
        // pyftpdlib keeps the session after a failed login (vsftpd hangs up).
        if (kind == Kind::Pyftpdlib) {
            EXPECT_TRUE(refused.ftp.Connected());
        }
    }
    RecordedEngine e;
    FtpClient& ftp = e.ftp;
    const auto run = [&](void (Cli::*request)()) { return e.Play(request).second; };
    e.AimAt(server, "localhost");
    ftp.SetPassive(passive);
    ASSERT_EQ(run(&Cli::ConnectAsync), 0) << ftp.ErrorMessage();
    ASSERT_EQ(run(&Cli::TypeBinaryAsync), 0);

    // The download keeps the server's time; an empty file replaces a stale one too.
    ftp.KeepFileTimes = true;
    for (const std::size_t size : {std::size_t{10 * 1024 * 1024}, std::size_t{0}}) {
        SCOPED_TRACE(size);
        const std::string body = ScriptedFtpServer::Pattern(0, size, 42);
        const std::string name = "file-" + std::to_string(size) + ".bin";
        WriteFile(remote(name), body);
        const timespec times[2] = {{0, UTIME_NOW}, {kServerTime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, remote(name).c_str(), times, 0), 0);
        WriteFile(local(name), "stale");
        ASSERT_EQ(e.Transfer(&Cli::GetAsync, name, local(name)).second, 0) << ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(local(name)) == body) << "download differs";
        if (size > 0) {
            EXPECT_EQ(ModificationTime(local(name)), kServerTime);
        }
        ftp.KeepFileTimes = false;
        ASSERT_EQ(e.Transfer(&Cli::PutAsync, "up-" + name, local(name)).second, 0)
            << ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(remote("up-" + name)) == body) << "upload differs";
    }
    EXPECT_EQ(e.Displayed("> EPSV"), passive) << "both servers know EPSV";

    fs::create_directory(remote("beta"));
    ASSERT_EQ(e.Transfer(&Cli::DirAsync, "", local("listing")).second, 0);
    const std::string list = ReadFile(local("listing"));
    EXPECT_NE(list.find("beta"), std::string::npos) << list;
    EXPECT_TRUE(list.front() == '-' || list.front() == 'd') << "a UNIX-style long listing";
    ASSERT_EQ(run(&Cli::LsAsync), 0) << ftp.ErrorMessage();
    EXPECT_NE(ReadFile(local("listing")).find("beta\r\n"), std::string::npos);

    // Cut short by the progress handler, then resumed to the same bytes each way.
    const std::string body = ScriptedFtpServer::Pattern(0, 4 * 1024 * 1024, 9);
    WriteFile(remote("down"), body);
    e.abortAt = 1024 * 1024;
    EXPECT_NE(e.Transfer(&Cli::GetAsync, "down", local("down")).second, -1);
    ASSERT_GT(fs::file_size(local("down")), 0u);
    ASSERT_LT(fs::file_size(local("down")), body.size()) << "the abort left no partial file";
    e.abortAt = -1;
    ASSERT_EQ(run(&Cli::RestGetAsync), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(ReadFile(local("down")) == body);
    e.abortAt = 1024 * 1024;
    EXPECT_NE(e.Transfer(&Cli::PutAsync, "up", local("down")).second, -1);
    e.abortAt = -1;
    ASSERT_EQ(run(&Cli::SizeAsync), 0) << ftp.ErrorMessage();
    ASSERT_GT(ftp.SizeResult, 0);
    ASSERT_LT(ftp.SizeResult, static_cast<std::int64_t>(body.size()));
    ftp.ResumeAt = ftp.SizeResult;
    ASSERT_EQ(run(&Cli::RestPutAsync), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(ReadFile(remote("up")) == body);

    // LF line ends go out as CR LF and come back as LF, whether the server keeps
    // them as LF (pyftpdlib) or as they came (vsftpd).
    std::string text; // several blocks long, empty lines, no LF at the end
    for (int i = 0; i < 20000; ++i)
        text += "line " + std::to_string(i) + (i % 7 == 0 ? "\n\n" : "\n");
    text += "last";
    std::string wire;
    for (const char c : text)
        wire += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(local("notes.txt"), text);
    ASSERT_EQ(run(&Cli::TypeAsciiAsync), 0);
    ASSERT_EQ(e.Transfer(&Cli::PutAsync, "notes.txt", local("notes.txt")).second, 0)
        << ftp.ErrorMessage();
    EXPECT_TRUE(ReadFile(remote("notes.txt")) == (kind == Kind::Pyftpdlib ? text : wire))
        << "the server got other line ends";
    ASSERT_EQ(e.Transfer(&Cli::GetAsync, "notes.txt", local("back.txt")).second, 0)
        << ftp.ErrorMessage();
    EXPECT_TRUE(ReadFile(local("back.txt")) == text) << "the round trip changed the file";

    ftp.HostDirName = "/does-not-exist";
    EXPECT_EQ(run(&Cli::CwdAsync), 550);

    EXPECT_EQ(run(&Cli::QuitAsync), 0);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(e.sessionClosed, 1);
}

INSTANTIATE_TEST_SUITE_P(
    RealServers, RealServerTour,
    ::testing::Combine(::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd), ::testing::Bool()),
    [](const ::testing::TestParamInfo<ServerMode>& info) {
        return std::string(std::get<0>(info.param) == Kind::Vsftpd ? "vsftpd" : "pyftpdlib") +
               (std::get<1>(info.param) ? "_passive" : "_active");
    });

} // namespace
