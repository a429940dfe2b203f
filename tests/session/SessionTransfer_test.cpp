#include "session/SessionRig.h"
#include "transfer/TransferQueue.h"

#include <QSignalSpy>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

using namespace sessiontest;
namespace fs = std::filesystem;

namespace {

const char* kPaneListing = "drwxr-xr-x 2 ftp ftp 4096 Jan 10 12:00 dir\r\n"
                           "-rw-r--r-- 1 ftp ftp    3 Jan 10 12:00 a.txt\r\n"
                           "-rw-r--r-- 1 ftp ftp  999 Jan 10 12:00 b.bin\r\n";

std::string Line(const std::string& name, bool folder = false, int size = 3) {
    return std::string(folder ? "d" : "-") + "rw-r--r-- 1 ftp ftp " + std::to_string(size) +
           " Jan 10 12:00 " + name + "\r\n";
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What the queue told the progress window, one word a call.
struct RecordingProgress : transfer::ProgressSink {
    Lines calls;
    std::function<void(std::int64_t)> onUpdate;
    void Open() override { calls.push_back("Open"); }
    void StartFile(const std::string& path, std::int64_t size, transfer::Direction) override {
        calls.push_back("Start " + path + " " + std::to_string(size));
    }
    void Update(std::int64_t bytes) override {
        if (onUpdate)
            onUpdate(bytes);
    }
    void EndFile() override { calls.push_back("End"); }
    void Close() override { calls.push_back("Close"); }
};

// The server's side of one passive transfer.
void Get(ScriptedFtpServer& s, const std::string& data) {
    s.replyPasv()
        .acceptData()
        .reply("150 Opening\r\n")
        .sendData(data)
        .closeData()
        .send("226 Done\r\n");
}
void Put(ScriptedFtpServer& s) {
    s.replyPasv()
        .acceptData()
        .reply("150 Ok to send\r\n")
        .receiveDataUntilClose()
        .send("226 Done\r\n");
}
void List(ScriptedFtpServer& s, const std::string& listing) {
    s.reply("200 Type set to A\r\n");
    Get(s, listing);
}

struct TransferRig : Rig {
    TransferRig() {
        controller.SetTransferQueue(&queue);
        queue.SetProgressSink(&progress);
        options.Ext = "txt";
        local = dir.path().toStdString() + "/local/";
        fs::create_directories(local);
    }
    void Write(const std::string& path, const std::string& data) {
        fs::create_directories(fs::path(local + path).parent_path());
        std::ofstream(local + path, std::ios::binary) << data;
    }
    bool WaitDone() {
        return ProcessEventsUntil([&] {
            return !queue.Running() && controller.SessionState() == SessionState::Browsing &&
                   server.finished();
        });
    }
    transfer::TransferQueue queue{
        ftp,     controller, controller.Chain(),
        prompts, options,    std::chrono::year_month_day{2026y, std::chrono::December, 7d}};
    RecordingProgress progress;
    std::string local;
};

TEST(SessionTransfer, TranscriptsOfDownloadsAndUploads) {
    using Script = std::function<void(ScriptedFtpServer&)>;
    using Act = std::function<bool(TransferRig&)>;
    struct Row {
        const char* name;
        std::function<void(TransferRig&)> setup;
        Act act;
        Script script;
        const char* commands; // after the first listing
        Lines logged;         // each must be in the log
        Lines localFiles;     // "path=contents" under the local folder
        const char* sent;     // what the server received; null: not checked
    };
    const Act downloadAll = [](TransferRig& rig) {
        rig.controller.RemoteView().SetSelection({0, 1, 2});
        return rig.controller.DownloadSelected(rig.local);
    };
    const auto upload = [](std::vector<transfer::SelectedEntry> selection) {
        return [selection](TransferRig& rig) {
            return rig.controller.UploadSelected(selection, rig.local);
        };
    };
    const Row rows[] = {
        {"download: the files first, then the folder, its empty sub-folder made too",
         nullptr,
         downloadAll,
         [](ScriptedFtpServer& s) {
             Get(s, "aaa");
             s.reply("200 Type set to I\r\n");
             Get(s, "bbb");
             s.reply("200 Type set to A\r\n").reply("250 OK\r\n");
             List(s, Line("sub", true) + Line("c.txt"));
             Get(s, "ccc");
             s.reply("200 Type set to A\r\n").reply("250 OK\r\n");
             List(s, "");
             s.reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "PASV|RETR /a.txt|TYPE I|PASV|RETR /b.bin|TYPE A|CWD /dir|TYPE A|PASV|LIST|PASV|RETR "
         "c.txt|TYPE A|CWD /dir/sub|TYPE A|PASV|LIST|CWD /|TYPE A|PASV|LIST",
         {"Starting transfer of a.txt", "Starting transfer of c.txt"},
         {"a.txt=aaa", "b.bin=bbb", "dir/c.txt=ccc", "dir/sub/"},
         nullptr},
        {"download: a missing file is logged, leaves the local copy, and the queue goes on",
         [](TransferRig& rig) {
             rig.options.PromptDownLoad = false;
             rig.options.DefPrompt = 1;
             rig.Write("a.txt", "keep");
         },
         [](TransferRig& rig) {
             rig.controller.RemoteView().SetSelection({1, 2});
             return rig.controller.DownloadSelected(rig.local);
         },
         [](ScriptedFtpServer& s) {
             s.replyPasv().acceptData().reply("550 No such file\r\n").closeData();
             s.reply("200 Type set to I\r\n");
             Get(s, "bbb");
         },
         "PASV|RETR /a.txt|TYPE I|PASV|RETR /b.bin",
         {"Error 550 No such file", "Transfer of a.txt failed"},
         {"a.txt=keep", "b.bin=bbb"},
         nullptr},
        {"download: listed names that would leave the folder, or walk it again, are skipped",
         nullptr,
         [](TransferRig& rig) {
             rig.controller.RemoteView().SetSelection({0});
             return rig.controller.DownloadSelected(rig.local);
         },
         [](ScriptedFtpServer& s) {
             s.reply("200 Type set to A\r\n").reply("250 OK\r\n");
             List(s, Line("../../evil") + Line("a/b", true) + Line("ok.txt") +
                         "lrwxrwxrwx 1 ftp ftp 1 Jan 10 12:00 loop -> .\r\n");
             Get(s, "ok!");
             s.reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "TYPE A|CWD /dir|TYPE A|PASV|LIST|PASV|RETR ok.txt|CWD /|TYPE A|PASV|LIST",
         {"Error ../../evil: holds \"/\"", "Error a/b: holds \"/\"",
          "Error loop: a link back into the folders walked"},
         {"dir/ok.txt=ok!"},
         nullptr},
        {"upload: a missing folder is made before its files, an empty one too",
         [](TransferRig& rig) {
             rig.Write("up/f.txt", "hello");
             fs::create_directories(rig.local + "up/e");
         },
         upload({{"up", true, ""}}),
         [](ScriptedFtpServer& s) {
             s.reply("550 No such folder\r\n").reply("200 Type set to A\r\n");
             s.reply("257 Created\r\n").reply("250 OK\r\n");
             List(s, "");
             Put(s);
             s.reply("550 No such folder\r\n").reply("200 Type set to A\r\n");
             s.reply("257 Created\r\n").reply("250 OK\r\n");
             List(s, "");
             s.reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "CWD /up|TYPE A|MKD /up|CWD /up|TYPE A|PASV|LIST|PASV|STOR /up/f.txt|CWD /up/e|TYPE "
         "A|MKD /up/e|CWD /up/e|TYPE A|PASV|LIST|CWD /|TYPE A|PASV|LIST",
         {"Transfer ended: 1 file moved, 5 bytes, 0 failed"},
         {},
         "hello"},
        {"upload: a refused STOR is logged and the next file goes",
         [](TransferRig& rig) {
             rig.Write("x.txt", "x");
             rig.Write("y.txt", "y");
         },
         upload({{"x.txt", false, "1"}, {"y.txt", false, "1"}}),
         [](ScriptedFtpServer& s) {
             s.replyPasv().acceptData().reply("553 Not allowed\r\n").closeData();
             Put(s);
             s.reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "PASV|STOR x.txt|PASV|STOR y.txt|CWD /|TYPE A|PASV|LIST",
         {"Error 553 Not allowed", "Transfer of x.txt failed",
          "Transfer ended: 1 file moved, 1 bytes, 1 failed"},
         {},
         "y"},
        {"upload: a folder that cannot be made keeps its files home",
         [](TransferRig& rig) { rig.Write("up/f.txt", "hello"); },
         upload({{"up", true, ""}}),
         [](ScriptedFtpServer& s) {
             s.reply("550 No such folder\r\n").reply("200 Type set to A\r\n");
             s.reply("550 Permission denied\r\n").reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "CWD /up|TYPE A|MKD /up|CWD /|TYPE A|PASV|LIST",
         {"Error 550 Permission denied", "Error /up: not made, its files are not sent",
          "Transfer ended: 0 files moved, 0 bytes, 2 failed"},
         {},
         ""},
        {"upload: resume takes the size from the target folder's own listing, not the pane's",
         [](TransferRig& rig) {
             rig.options.PromptUpLoad = false;
             rig.options.DefPrompt = 2;
             rig.Write("up/b.bin", "hello");
         },
         upload({{"up", true, ""}}),
         [](ScriptedFtpServer& s) {
             s.reply("250 OK\r\n");
             List(s, Line("b.bin", false, 2));
             s.reply("200 Type set to I\r\n");
             s.replyPasv().reply("350 Restarting\r\n").acceptData().reply("150 Ok\r\n");
             s.receiveDataUntilClose().send("226 Done\r\n");
             s.reply("200 Type set to A\r\n").reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "CWD /up|TYPE A|PASV|LIST|TYPE I|PASV|REST 2|STOR /up/b.bin|TYPE A|CWD /|TYPE "
         "A|PASV|LIST",
         {},
         {},
         "llo"},
        {"upload: a refused REST leaves no resume offset for the listing after it",
         [](TransferRig& rig) {
             rig.options.PromptUpLoad = false;
             rig.options.DefPrompt = 2;
             rig.Write("b.bin", "hello");
         },
         upload({{"b.bin", false, "5"}}),
         [](ScriptedFtpServer& s) {
             s.reply("200 Type set to I\r\n");
             s.replyPasv().reply("502 REST not implemented\r\n").reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "TYPE I|PASV|REST 999|CWD /|TYPE A|PASV|LIST",
         {"Error 502 REST not implemented", "Transfer of b.bin failed"},
         {},
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        if (row.setup)
            row.setup(rig);
        rig.Login();
        rig.Listing(kPaneListing);
        row.script(rig.server);
        ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
        QSignalSpy refreshed(&rig.controller, &SessionController::LocalFilesChanged);
        ASSERT_TRUE(row.act(rig));
        ASSERT_TRUE(rig.WaitDone()) << rig.server.failure();
        EXPECT_EQ(rig.Since(), Split(row.commands));
        const Lines log = rig.LogLines();
        for (const std::string& line : row.logged)
            EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& l) {
                return l.starts_with(line);
            })) << line;
        for (const std::string& file : row.localFiles) {
            const std::size_t eq = file.find('=');
            if (eq == std::string::npos) {
                EXPECT_TRUE(fs::is_directory(rig.local + file)) << file;
            } else {
                EXPECT_EQ(ReadAll(rig.local + file.substr(0, eq)), file.substr(eq + 1));
            }
        }
        if (row.sent != nullptr) {
            EXPECT_EQ(rig.server.dataReceived(), row.sent);
        }
        EXPECT_FALSE(rig.controller.TransferBusy());
        EXPECT_EQ(rig.controller.TransferModeFlags(), 0u);
        EXPECT_TRUE(rig.progress.calls.empty() || rig.progress.calls.back() == "Close");
        EXPECT_EQ(refreshed.count(), row.localFiles.empty() ? 0 : 1) << "downloads only";
        EXPECT_EQ(rig.Captions(), (Lines{"dir", "a.txt", "b.bin"})) << "back in the start folder";
    }
}

TEST(SessionTransfer, StopCutsTheFileShortAndEndsTheQueue) {
    TransferRig rig;
    rig.Login();
    rig.Listing(kPaneListing);
    rig.server.replyPasv()
        .acceptData()
        .reply("150 Opening\r\n")
        .sendData("abc")
        .pause(200)
        .sendData("def")
        .pause(200)
        .closeData()
        .send("426 Transfer aborted\r\n");
    ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
    rig.progress.onUpdate = [&](std::int64_t bytes) {
        if (bytes > 0 && !rig.controller.StopRequest())
            rig.controller.StopTransfer();
    };
    rig.controller.RemoteView().SetSelection({1, 2});
    ASSERT_TRUE(rig.controller.DownloadSelected(rig.local));
    EXPECT_FALSE(rig.controller.UploadSelected({{"x", false, "1"}}, rig.local))
        << "a second transfer is refused while one runs";
    ASSERT_TRUE(rig.WaitDone()) << rig.server.failure();
    EXPECT_EQ(rig.Since(), Split("PASV|RETR /a.txt")) << "the second file is never asked for";
    EXPECT_TRUE(rig.Logged("Transfer of a.txt incomplete"));
    EXPECT_FALSE(rig.Logged("Transfer ended: 1 file moved, 3 bytes, 0 failed"));
    EXPECT_FALSE(rig.controller.TransferBusy());
    EXPECT_FALSE(rig.controller.StopRequest()) << "the next queue starts afresh";
    EXPECT_EQ(rig.progress.calls, (Lines{"Open", "Start /a.txt 3", "Close"}));
}

} // namespace

namespace {

TEST(SessionTransfer, StopWhileAWalkIsUnderWayEndsTheQueueAtOnce) {
    TransferRig rig;
    rig.Login();
    rig.Listing(kPaneListing);
    rig.server.reply("200 Type set to A\r\n").readLine().pause(300).send("250 OK\r\n");
    List(rig.server, Line("c.txt"));
    ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
    rig.controller.RemoteView().SetSelection({0});
    ASSERT_TRUE(rig.controller.DownloadSelected(rig.local));
    rig.controller.StopTransfer();
    EXPECT_FALSE(rig.queue.Running());
    EXPECT_FALSE(rig.controller.TransferBusy());
    EXPECT_TRUE(rig.Logged("Transfer ended: 0 files moved, 0 bytes, 0 failed, 0.0 s"));
    ASSERT_TRUE(rig.WaitDone()) << rig.server.failure();
    EXPECT_EQ(rig.Since(), Split("TYPE A|CWD /dir|TYPE A|PASV|LIST")) << "no file is fetched";
    EXPECT_EQ(rig.Captions(), Lines{"c.txt"}) << "the pane shows where the engine stands";
}

} // namespace
