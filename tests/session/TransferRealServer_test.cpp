// A tree moved up to a real FTP server and back down through the transfer
// queue, the session controller and the engine, in passive and active mode;
// both copies compared with the original byte for byte and name for name.
#include "prefs/Options.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "support/EventLoop.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompts.h"
#include "transfer/TransferQueue.h"

#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using session::SessionState;
using testsupport::ProcessEventsUntil;
using testsupport::RealFtpServer;
using Kind = RealFtpServer::Kind;

constexpr int kWaitMs = 60000;
// CORVANE_BIG_TRANSFER adds a sparse file over 4 GiB: about a minute each way
// against pyftpdlib on loopback, too long for every run.
constexpr int kBigWaitMs = 600000;

// What a tree holds, links left out: relative path to size (-1 for a folder).
std::map<std::string, std::int64_t> TreeOf(const fs::path& root) {
    std::map<std::string, std::int64_t> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path rel = fs::relative(it->path(), root);
        if (it->is_symlink())
            continue;
        tree[rel.string()] = it->is_directory() ? -1 : static_cast<std::int64_t>(it->file_size());
    }
    return tree;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 20), q(1 << 20);
    while (x && y) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin()))
            return false;
    }
    return x.eof() && y.eof();
}

void ExpectSameTree(const fs::path& original, const fs::path& copy) {
    SCOPED_TRACE(copy.string());
    const auto want = TreeOf(original);
    ASSERT_EQ(TreeOf(copy), want);
    for (const auto& [rel, size] : want) {
        if (size >= 0) {
            EXPECT_TRUE(SameBytes(original / rel, copy / rel)) << rel;
        }
    }
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

// A sparse file of `size` bytes with a few marks spread over it.
void WriteSparse(const fs::path& path, std::int64_t size) {
    WriteFile(path, "start");
    fs::resize_file(path, static_cast<std::uintmax_t>(size));
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    for (const std::int64_t at : {size / 2, std::int64_t{1} << 32, size - 4}) {
        if (at > 5 && at + 4 <= size) {
            f.seekp(at);
            f << "mark";
        }
    }
}

class TransferRealServer : public ::testing::TestWithParam<std::tuple<Kind, bool>> {
protected:
    TransferRealServer() : server(std::get<0>(GetParam())) {
        options = DefaultOptions(dir.path().toStdString() + "/", ::getpid());
        options.Ext = "txt";
        controller.SetTransferQueue(&queue);
    }

    void SetUp() override {
        CORVANE_START_REAL_FTP(server);
        Site site;
        site.Server = "127.0.0.1";
        site.Port = server.portText();
        site.User = server.user();
        site.Password = server.password();
        site.SavePassword = 1;
        site.Pasv = std::get<1>(GetParam()) ? 1 : 0;
        site.InitialDir = server.home();
        Adjust(site);
        controller.ConnectToSite(site);
        ASSERT_TRUE(Idle()) << "logged in and listed";
    }

    virtual void Adjust(Site& /*site*/) {}

    bool Idle(int waitMs = kWaitMs) {
        return ProcessEventsUntil(
            [&] { return !queue.Running() && controller.SessionState() == SessionState::Browsing; },
            waitMs);
    }
    std::vector<std::string> Errors() const {
        std::vector<std::string> errors;
        for (std::size_t i = 0; i < log.Pane().Count(); ++i) {
            if (log.Pane().Line(i).starts_with("Error "))
                errors.push_back(log.Pane().Line(i));
        }
        return errors;
    }

    QTemporaryDir dir;
    fs::path home = dir.path().toStdString();
    Options options;
    session::SessionLog log{dir.path().toStdString() + "/"};
    ScriptedPrompts prompts;
    RealFtpServer server;
    FtpClient ftp;
    session::SessionController controller{ftp, log, prompts, options, session::Today()};
    transfer::TransferQueue queue{ftp,     controller, controller.Chain(),
                                  prompts, options,    session::Today()};
};

// A shared virtual host: paths relative to the account's home, so every CWD of
// a walk must be relative to where the server stands (a 3-level tree, started
// from a folder below the home).
class VirtualHostTransfer : public TransferRealServer {
protected:
    void Adjust(Site& site) override {
        fs::create_directories(fs::path(server.root()) / "pub" / "dir");
        site.CheckVHost = 1;
        site.InitialDir = "pub/dir";
    }
};

TEST_P(VirtualHostTransfer, ATreeGoesUpAndComesBackTheSame) {
    const fs::path src = home / "src", dst = home / "dst", tree = src / "tree";
    WriteFile(tree / "a" / "b" / "c" / "deep.bin", std::string(5000, '\xfe'));
    WriteFile(tree / "a" / "mid.txt", "mid\n");
    WriteFile(tree / "top.txt", "top\n");
    fs::create_directories(tree / "a" / "b" / "empty");
    fs::create_directories(dst);
    queue.SetTransferType(transfer::TransferType::Binary);
    WriteFile(src / "beside.txt", "beside\n");
    ASSERT_TRUE(
        controller.UploadSelected({{"beside.txt", false, ""}, {"tree", true, ""}}, src.string()));
    ASSERT_TRUE(Idle());
    ExpectSameTree(tree, fs::path(server.root()) / "pub" / "dir" / "tree");

    // The pane shows the start folder again, so its "tree" is the one just sent.
    std::vector<int> rows;
    for (std::size_t i = 0; i < controller.RemoteView().Items().size(); ++i) {
        if (controller.RemoteView().Items()[i].caption != "..")
            rows.push_back(static_cast<int>(i));
    }
    ASSERT_EQ(rows.size(), 2u);
    controller.RemoteView().SetSelection(rows);
    ASSERT_TRUE(controller.DownloadSelected(dst.string()));
    ASSERT_TRUE(Idle());
    ExpectSameTree(tree, dst / "tree");
    EXPECT_EQ(ReadAll(dst / "beside.txt"), "beside\n");
    EXPECT_EQ(ftp.HostDirName, "pub/dir/") << "named as before the transfers";
    EXPECT_EQ(Errors(), std::vector<std::string>{});
}

TEST_P(TransferRealServer, ATreeGoesUpAndComesBackTheSame) {
    const fs::path src = home / "src", dst = home / "dst";
    const fs::path tree = src / "tree";
    WriteFile(tree / "plain.txt", "line one\nline two\n");
    WriteFile(tree / " leading and trailing .bin ", std::string(70000, '\x01'));
    WriteFile(tree / "fjæra ø Ωmega.txt", "utf-8 ✓\n");
    WriteFile(tree / "lvl 1" / "lvl 2" / "lvl 3" / "deep.bin", std::string(200000, '\xff'));
    WriteFile(tree / "lvl 1" / "empty file", "");
    fs::create_directories(tree / "empty folder");
    fs::create_directories(tree / "lvl 1" / "lvl 2" / "empty too");
    // Links back into the tree are not walked again.
    fs::create_directory_symlink(".", tree / "lvl 1" / "loop");
    fs::create_directory_symlink("..", tree / "up");
    const bool big = std::getenv("CORVANE_BIG_TRANSFER") != nullptr;
    if (big)
        WriteSparse(tree / "big.iso", (1LL << 32) + 4099);
    WriteFile(src / "top file.txt", "top\n");
    fs::create_directories(dst);

    // Byte for byte: an ASCII download from a server that writes CR LF would differ.
    queue.SetTransferType(transfer::TransferType::Binary);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(controller.UploadSelected({{"tree", true, ""}, {"top file.txt", false, "4"}},
                                          src.string()));
    ASSERT_TRUE(Idle());
    const fs::path remoteHome = fs::path(server.root());
    ExpectSameTree(tree, remoteHome / "tree");
    EXPECT_TRUE(SameBytes(src / "top file.txt", remoteHome / "top file.txt"));

    std::vector<int> rows;
    for (std::size_t i = 0; i < controller.RemoteView().Items().size(); ++i)
        rows.push_back(static_cast<int>(i));
    controller.RemoteView().SetSelection(rows);
    ASSERT_TRUE(controller.DownloadSelected(dst.string()));
    ASSERT_TRUE(Idle(big ? kBigWaitMs : kWaitMs));
    ExpectSameTree(tree, dst / "tree");
    EXPECT_TRUE(SameBytes(src / "top file.txt", dst / "top file.txt"));

    // Breadth-first: "up" is met before "lvl 1/loop".
    EXPECT_EQ(Errors(),
              (std::vector<std::string>{
                  "Error " + (tree / "up").string() + "/: a link back into the folders walked",
                  "Error " + (tree / "lvl 1" / "loop").string() +
                      "/: a link back into the folders walked",
              }));
    if (big)
        std::printf(
            "4 GiB tree up and down: %.1f s\n",
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

TEST_P(TransferRealServer, ResumeFinishesAPartialCopyBothWays) {
    std::string whole(300000, '\0');
    for (std::size_t i = 0; i < whole.size(); ++i)
        whole[i] = static_cast<char>(i * 7 % 251);
    const fs::path src = home / "src", remote = server.root();
    WriteFile(remote / "down.bin", whole);
    WriteFile(src / "down.bin", whole.substr(0, 120000));
    WriteFile(src / "up.bin", whole);
    WriteFile(remote / "up.bin", whole.substr(0, 70000));
    queue.SetTransferType(transfer::TransferType::Binary);
    controller.CwdAsync();
    ASSERT_TRUE(Idle());

    prompts.overwrites = {{OverwriteAnswer::Resume, ""}};
    std::vector<int> row;
    for (std::size_t i = 0; i < controller.RemoteView().Items().size(); ++i) {
        if (controller.RemoteView().Items()[i].caption == "down.bin")
            row.push_back(static_cast<int>(i));
    }
    controller.RemoteView().SetSelection(row);
    ASSERT_TRUE(controller.DownloadSelected(src.string()));
    ASSERT_TRUE(Idle());
    prompts.overwrites = {{OverwriteAnswer::Resume, ""}};
    ASSERT_TRUE(controller.UploadSelected({{"up.bin", false, "300000"}}, src.string()));
    ASSERT_TRUE(Idle());

    EXPECT_TRUE(SameBytes(remote / "down.bin", src / "down.bin"));
    EXPECT_TRUE(SameBytes(src / "up.bin", remote / "up.bin"));
    EXPECT_EQ(prompts.overwriteAsked,
              (std::vector<std::string>{(src / "down.bin").string(), "up.bin"}));
    EXPECT_EQ(Errors(), std::vector<std::string>{});
}

// A text file's offsets differ between the server's disk, the wire and the
// local copy (CR LF against LF): a resumed ASCII transfer would splice at the
// wrong byte, so both directions move the whole file instead.
TEST_P(TransferRealServer, AnAsciiResumeMovesTheWholeFile) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    const fs::path src = home / "src", whole = home / "whole", remote = server.root();
    WriteFile(remote / "down.txt", text);
    WriteFile(src / "up.txt", text);
    fs::create_directories(whole);
    queue.SetTransferType(transfer::TransferType::Ascii);
    controller.CwdAsync();
    ASSERT_TRUE(Idle());
    const auto selectDown = [&] {
        std::vector<int> row;
        for (std::size_t i = 0; i < controller.RemoteView().Items().size(); ++i) {
            if (controller.RemoteView().Items()[i].caption == "down.txt")
                row.push_back(static_cast<int>(i));
        }
        controller.RemoteView().SetSelection(row);
    };
    // What a whole transfer gives, each way.
    selectDown();
    ASSERT_TRUE(controller.DownloadSelected(whole.string()));
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(controller.UploadSelected({{"up.txt", false, ""}}, src.string()));
    ASSERT_TRUE(Idle());
    const std::string wholeDown = ReadAll(whole / "down.txt"), wholeUp = ReadAll(remote / "up.txt");
    ASSERT_GT(wholeDown.size(), 20000u);
    ASSERT_GT(wholeUp.size(), 20000u);

    // Partial copies, then Resume asked for each.
    WriteFile(src / "down.txt", wholeDown.substr(0, wholeDown.size() / 2));
    WriteFile(remote / "up.txt", wholeUp.substr(0, wholeUp.size() / 2));
    controller.CwdAsync();
    ASSERT_TRUE(Idle());
    prompts.overwrites = {{OverwriteAnswer::Resume, ""}};
    selectDown();
    ASSERT_TRUE(controller.DownloadSelected(src.string()));
    ASSERT_TRUE(Idle());
    prompts.overwrites = {{OverwriteAnswer::Resume, ""}};
    ASSERT_TRUE(controller.UploadSelected({{"up.txt", false, ""}}, src.string()));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(ReadAll(src / "down.txt") == wholeDown);
    EXPECT_TRUE(ReadAll(remote / "up.txt") == wholeUp);
    EXPECT_EQ(prompts.overwriteAsked,
              (std::vector<std::string>{(src / "down.txt").string(), "up.txt"}));
    std::vector<std::string> notes;
    for (std::size_t i = 0; i < log.Pane().Count(); ++i) {
        if (log.Pane().Line(i).starts_with("No resume"))
            notes.push_back(log.Pane().Line(i));
    }
    EXPECT_EQ(notes, (std::vector<std::string>{"No resume in ASCII mode: down.txt is moved whole",
                                               "No resume in ASCII mode: up.txt is moved whole"}));
    EXPECT_EQ(Errors(), std::vector<std::string>{});
}

TEST_P(TransferRealServer, StopInTheMiddleEndsTheQueue) {
    const fs::path src = home / "src";
    WriteSparse(src / "a big one.bin", 1LL << 30);
    WriteFile(src / "never.txt", "x");
    struct StopSoon : transfer::ProgressSink {
        session::SessionController* controller = nullptr;
        bool open = false;
        void Open() override { open = true; }
        void StartFile(const std::string&, std::int64_t, transfer::Direction) override {}
        void Update(std::int64_t bytes) override {
            if (bytes > (8 << 20) && !controller->StopRequest())
                controller->StopTransfer();
        }
        void EndFile() override {}
        void Close() override { open = false; }
    } progress;
    progress.controller = &controller;
    queue.SetProgressSink(&progress);
    ASSERT_TRUE(controller.UploadSelected(
        {{"a big one.bin", false, "1073741824"}, {"never.txt", false, "1"}}, src.string()));
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(controller.TransferBusy());
    EXPECT_FALSE(progress.open);
    EXPECT_FALSE(fs::exists(fs::path(server.root()) / "never.txt"));
    bool incomplete = false;
    for (std::size_t i = 0; i < log.Pane().Count(); ++i)
        incomplete |= log.Pane().Line(i) == "Transfer of a big one.bin incomplete";
    EXPECT_TRUE(incomplete);
}

std::string ServerName(const ::testing::TestParamInfo<std::tuple<Kind, bool>>& info) {
    return std::string(std::get<0>(info.param) == Kind::Vsftpd ? "vsftpd" : "pyftpdlib") +
           (std::get<1>(info.param) ? "Passive" : "Active");
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferRealServer,
                         ::testing::Combine(::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd),
                                            ::testing::Bool()),
                         ServerName);
INSTANTIATE_TEST_SUITE_P(Servers, VirtualHostTransfer,
                         ::testing::Combine(::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd),
                                            ::testing::Values(true)),
                         ServerName);

} // namespace
