#include "session/SessionRig.h"
#include "transfer/RemoteOperations.h"
#include "transfer/TransferQueue.h"

#include <QSignalSpy>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace sessiontest;
using transfer::SelectedEntry;
namespace fs = std::filesystem;

namespace {

const char* kPaneListing = "drwxr-xr-x 2 ftp ftp 4096 Jan 10 12:00 dir\r\n"
                           "-rw-r--r-- 1 ftp ftp    3 Jan 10 12:00 a.txt\r\n"
                           "-rw-r--r-- 1 ftp ftp  999 Jan 10 12:00 b.bin\r\n";

// What the queue told the progress window, one word a call.
struct RecordingProgress : transfer::ProgressSink {
    Lines calls;
    void Open() override { calls.push_back("Open"); }
    void StartFile(const std::string& path, std::int64_t size, transfer::Direction) override {
        calls.push_back("Start " + path + " " + std::to_string(size));
    }
    void Update(std::int64_t) override {}
    void EndFile() override { calls.push_back("End"); }
    void Close() override { calls.push_back("Close"); }
};

// Types a mode and takes it.
struct Editor : transfer::PermissionEditor {
    std::string mode;
    bool Edit(transfer::PermissionForm& form) override {
        form.TypeManual(mode);
        return true;
    }
};

// The session with its transfer queue and remote operations.
struct TransferRig : Rig {
    TransferRig() {
        controller.SetTransferQueue(&queue);
        controller.SetRemoteOperations(&ops);
        queue.SetProgressSink(&progress);
        options.Ext = "txt";
        local = dir.path().toStdString() + "/local/";
        fs::create_directories(local);
    }
    void Write(const std::string& path, const std::string& data) { WriteFile(local + path, data); }
    bool Download(const std::vector<int>& rows) {
        controller.RemoteView().SetSelection(rows);
        return controller.DownloadSelected(local);
    }
    bool WaitDone() {
        return ProcessEventsUntil([&] {
            return !queue.Running() && controller.SessionState() == SessionState::Browsing &&
                   server.finished() && ftp.State() == FtpState::ftpReady;
        });
    }
    transfer::TransferQueue queue{ftp, controller, controller.Chain(), prompts, options, kToday};
    transfer::RemoteOperations ops{ftp, controller, controller.Chain(), prompts, options, kToday};
    Editor editor;
    RecordingProgress progress;
    std::string local;
};

const SelectedEntry kFile{"a.txt", false, "3"};
const SelectedEntry kFolder{"dir", true, ""};
const SelectedEntry kUp{"..", true, ""};

// Where a chain that ran through ends: the start folder listed again.
const std::string kBack = "|CWD /|TYPE A|PASV|LIST";
void Back(ScriptedFtpServer& s) {
    List(s.reply("250 OK\r\n"), kPaneListing);
}

// What each chain sends and logs: downloads, uploads and the remote operations.
TEST(SessionChains, TranscriptsOfTransfersAndRemoteOperations) {
    using Act = std::function<bool(TransferRig&)>;
    struct Row {
        const char* name;
        Act act;
        std::function<void(TransferRig&)> script;
        std::string commands;        // after the first listing
        const char* logged = "";     // each must start a line of the log
        const char* localFiles = ""; // "path=contents" under the local folder
        const char* sent = nullptr;  // what the server received; null: not checked
        const char* answer = "";     // the site's listing layout code
    };
    // Uploads the first folder of `path`, or the file, holding "hello"; `resume`
    // answers every overwrite question.
    const auto upload = [](std::string path, bool resume) {
        return [path, resume](TransferRig& rig) {
            rig.options.PromptUpLoad = !resume;
            rig.options.DefPrompt = 2;
            rig.Write(path, "hello");
            const std::size_t slash = path.find('/');
            const bool folder = slash != std::string::npos;
            return rig.controller.UploadSelected(
                {{path.substr(0, slash), folder, folder ? "" : "5"}}, rig.local);
        };
    };
    // The delete starts exactly when the question is answered Yes.
    const auto del = [](std::vector<SelectedEntry> selection, bool yes = true) {
        return [selection, yes](TransferRig& rig) {
            rig.prompts.yesNo.push_back(yes);
            return rig.ops.Delete(selection) == yes;
        };
    };
    const auto chmod = [](const char* mode) {
        return [mode](TransferRig& rig) {
            rig.editor.mode = mode;
            return rig.ops.EditPermissions({{"a", "-rw-r--r--"}, {"b", "-rw-rw-r--"}, {"..", ""}},
                                           rig.editor);
        };
    };
    const auto download = [](std::vector<int> rows) {
        return [rows](TransferRig& rig) { return rig.Download(rows); };
    };
    const auto shortB = [](TransferRig& rig) { Get(rig.Replies("200 Type set to I"), "abc"); };
    const Row rows[] = {
        {"download: a missing file is logged, leaves the local copy, and the queue goes on",
         [](TransferRig& rig) {
             rig.options.PromptDownLoad = false;
             rig.options.DefPrompt = 1;
             rig.Write("a.txt", "keep");
             return rig.Download({1, 2});
         },
         [](TransferRig& rig) {
             rig.server.replyPasv().acceptData().reply("550 No such file\r\n").closeData();
             Get(rig.Replies("200 Type set to I"), "bbb");
         },
         "PASV|RETR /a.txt|TYPE I|PASV|RETR /b.bin",
         "Error 550 No such file|Transfer of a.txt failed", "a.txt=keep|b.bin=bbb"},
        // A short binary download is an error, never a success; a listing whose
        // size column counts no bytes is not held against it.
        {"download: shorter than the listing says fails", download({2}), shortB,
         "TYPE I|PASV|RETR /b.bin", "Error 426 Size differs: 3 bytes here, 999 on the server",
         "b.bin=abc"},
        {"download: a custom layout's size column is no byte count", download({2}), shortB,
         "TYPE I|PASV|RETR /b.bin", "Transfer ended: 1 file moved, 3 bytes, 0 failed", "b.bin=abc",
         nullptr, "4956781"},
        {"download: listed names that would leave the folder, or walk it again, are skipped",
         [](TransferRig& rig) { return rig.Download({0}); },
         [](TransferRig& rig) {
             List(rig.Replies("200 Type set to A|250 OK"),
                  Line("../../evil") + Line("a/b", 'd') + Line("ok.txt") +
                      "lrwxrwxrwx 1 ftp ftp 1 Jan 10 12:00 loop -> .\r\n");
             Back(Get(rig.server, "ok!"));
         },
         "TYPE A|CWD /dir|TYPE A|PASV|LIST|PASV|RETR ok.txt" + kBack,
         "Error ../../evil: holds \"/\"|Error a/b: holds \"/\"|"
         "Error loop: a link back into the folders walked",
         "dir/ok.txt=ok!"},
        {"upload: a folder that cannot be made keeps its files home", upload("up/f.txt", false),
         [](TransferRig& rig) {
             Back(rig.Replies("550 No such folder|200 Type set to A|550 Permission denied"));
         },
         "CWD /up|TYPE A|MKD /up" + kBack,
         "Error 550 Permission denied|Error /up: not made, its files are not sent|"
         "Transfer ended: 0 files moved, 0 bytes, 2 failed",
         "", ""},
        {"upload: resume takes the size from the target folder's own listing, not the pane's",
         upload("up/b.bin", true),
         [](TransferRig& rig) {
             List(rig.Replies("250 OK"), Line("b.bin", '-', 2));
             rig.Replies("200 Type set to I").replyPasv().reply("350 Restarting\r\n");
             rig.server.acceptData().reply("150 Ok\r\n").receiveDataUntilClose();
             Back(rig.server.send("226 Done\r\n").reply("200 Type set to A\r\n"));
         },
         "CWD /up|TYPE A|PASV|LIST|TYPE I|PASV|REST 2|STOR /up/b.bin|TYPE A" + kBack, "", "",
         "llo"},
        {"upload: a refused REST leaves no resume offset for the listing after it",
         upload("b.bin", true),
         [](TransferRig& rig) {
             Back(rig.Replies("200 Type set to I")
                      .replyPasv()
                      .reply("502 REST not implemented\r\n"));
         },
         "TYPE I|PASV|REST 999" + kBack, "Error 502 REST not implemented|Transfer of b.bin failed"},
        {"delete, Windows 2000 listings: a folder is left by CWD to its parent, removed by name",
         del({kFile, kFolder}),
         [](TransferRig& rig) {
             List(rig.Replies("250 Deleted|250 OK"),
                  "11-30-02  14:34         <DIR>          sub\r\n");
             List(rig.Replies("250 OK"), "11-30-02  09:05                   2048 f.txt\r\n");
             Back(rig.Replies("250 Deleted|250 OK|250 Removed|250 OK|250 Removed"));
         },
         "DELE a.txt|CWD /dir|TYPE A|PASV|LIST|CWD /dir/sub|TYPE A|PASV|LIST|DELE f.txt|"
         "CWD /dir|RMD sub|CWD /|RMD dir" +
             kBack,
         "", "", nullptr, "8"},
        {"delete: a link is deleted as a link, never entered; a name with \"/\" is skipped",
         del({kUp, kFolder}),
         [](TransferRig& rig) {
             List(rig.Replies("250 OK"),
                  "lrwxrwxrwx 1 ftp ftp 4 Jan 10 12:00 up -> /etc\r\n" + Line("../evil"));
             Back(rig.Replies("250 Deleted|250 OK|250 Removed"));
         },
         "CWD /dir|TYPE A|PASV|LIST|DELE up|CDUP|RMD /dir" + kBack, "Error ../evil: holds \"/\""},
        {"delete: a failed DELE ends the chain, nothing more is sent",
         del({kFile, {"b.txt", false, "1"}, kFolder}),
         [](TransferRig& rig) { rig.Replies("550 Permission denied"); }, "DELE a.txt",
         "Error 550 Permission denied|Delete ended after 0 file(s) and 0 folder(es)"},
        {"delete: a folder that cannot be removed ends it, and the pane goes back to the start",
         del({kFolder}),
         [](TransferRig& rig) {
             List(rig.Replies("250 OK"), Line("sub", 'd'));
             List(rig.Replies("250 OK"), "");
             Back(rig.Replies("250 OK|550 Directory not empty"));
         },
         "CWD /dir|TYPE A|PASV|LIST|CWD /dir/sub|TYPE A|PASV|LIST|CDUP|RMD /dir/sub" + kBack,
         "Error 550 Directory not empty"},
        {"delete: Stop ends the walk and names the folders left",
         [](TransferRig& rig) {
             rig.prompts.yesNo.push_back(true);
             const bool sent = rig.ops.Delete({kFolder, {"two", true, ""}});
             rig.controller.StopTransfer();
             return sent;
         },
         [](TransferRig& rig) { List(rig.Replies("250 OK"), ""); }, "CWD /dir|TYPE A|PASV|LIST",
         "Delete stopped after 0 file(s) and 0 folder(es); folders left: /dir, /two"},
        {"delete: No to the question sends nothing", del({kFile}, false), [](TransferRig&) {}, ""},
        {"change case as sentence: unchanged names are left alone",
         [](TransferRig& rig) {
             return rig.ops.ChangeCase(
                 {{"README.TXT", false, "1"}, {"readme", false, "1"}, {"Readme.txt", false, "1"}},
                 local::CaseMode::Sentence);
         },
         [](TransferRig& rig) {
             List(rig.Replies("350 Ready|250 Renamed|350 Ready|250 Renamed"), kPaneListing);
         },
         "RNFR README.TXT|RNTO Readme.txt|RNFR readme|RNTO Readme|TYPE A|PASV|LIST /"},
        {"permissions: a typed value goes to every entry, then the listing", chmod("755"),
         [](TransferRig& rig) { List(rig.Replies("200 Done|200 Done"), kPaneListing); },
         "SITE CHMOD 755 a|SITE CHMOD 755 b|TYPE A|PASV|LIST"},
        {"permissions: a refused SITE CHMOD ends the chain", chmod("7"),
         [](TransferRig& rig) { rig.Replies("550 Not allowed"); }, "SITE CHMOD 7 a",
         "Error 550 Not allowed"},
        {"custom command: a line end inside is refused, nothing is sent",
         [](TransferRig& rig) { return !rig.ops.SendCommand("NOOP\r\nDELE x"); },
         [](TransferRig&) {}, "", "Error "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        rig.Login();
        rig.Listing(kPaneListing);
        row.script(rig);
        Site site = rig.ScriptedSite();
        site.Answer = row.answer;
        ASSERT_TRUE(rig.Connect(site));
        QSignalSpy refreshed(&rig.controller, &SessionController::LocalFilesChanged);
        ASSERT_TRUE(row.act(rig));
        ASSERT_TRUE(rig.WaitDone()) << rig.server.failure();
        EXPECT_EQ(rig.Since(), Split(row.commands));
        const Lines log = rig.LogLines();
        for (const std::string& line : Split(row.logged))
            EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& l) {
                return l.starts_with(line);
            })) << line;
        for (const std::string& file : Split(row.localFiles)) {
            const std::size_t eq = file.find('=');
            EXPECT_EQ(ReadFile(rig.local + file.substr(0, eq)), file.substr(eq + 1)) << file;
        }
        EXPECT_TRUE(row.sent == nullptr || rig.server.dataReceived() == row.sent);
        EXPECT_FALSE(rig.controller.TransferBusy());
        EXPECT_EQ(rig.controller.TransferModeFlags(), 0u);
        EXPECT_TRUE(rig.progress.calls.empty() || rig.progress.calls.back() == "Close");
        EXPECT_EQ(refreshed.count(), *row.localFiles ? 1 : 0) << "downloads only";
        EXPECT_TRUE(rig.ops.CanStart()) << "the next operation may start";
    }
}

// Stop ends the queue wherever it stands; a file it cuts is "incomplete",
// also when not one byte of it had come.
TEST(SessionTransfer, StopEndsTheQueueWhereverItStands) {
    struct Row {
        const char* name;
        std::function<void(ScriptedFtpServer&)> script;
        bool walk; // a folder is walked, else two files are fetched
        const char* commands;
        const char* logged;
        const char* progress; // the progress window's calls
        const char* files;    // the pane's afterwards
    };
    const Row rows[] = {
        {"no byte yet and the server waits: Stop cuts the file at once, not failed",
         [](ScriptedFtpServer& s) {
             s.replyPasv().acceptData().reply("150 Opening a.txt\r\n").receiveDataUntilClose();
             s.send("426 Transfer aborted\r\n");
         },
         false, "PASV|RETR /a.txt", "Transfer of a.txt incomplete", "Open|Start /a.txt 3|Close",
         "a.txt|b.bin"},
        {"a walk under way: the queue ends at once, no file is fetched",
         [](ScriptedFtpServer& s) {
             s.reply("200 Type set to A\r\n").readLine().pause(300).send("250 OK\r\n");
             List(s, Line("c.txt"));
         },
         true, "TYPE A|CWD /dir|TYPE A|PASV|LIST",
         "Transfer ended: 0 files moved, 0 bytes, 0 failed, 0.0 s", "", "c.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        rig.Login();
        rig.Listing(kPaneListing);
        row.script(rig.server);
        ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
        ASSERT_TRUE(rig.Download(row.walk ? std::vector<int>{0} : std::vector<int>{1, 2}));
        EXPECT_FALSE(rig.controller.UploadSelected({{"x", false, "1"}}, rig.local))
            << "a second transfer is refused while one runs";
        if (!row.walk) {
            ASSERT_TRUE(ProcessEventsUntil([&] { return rig.Logged("< 150 Opening a.txt"); }));
        }
        rig.controller.StopTransfer();
        EXPECT_TRUE(!row.walk || !rig.queue.Running()) << "a walk ends at once";
        ASSERT_TRUE(rig.WaitDone()) << rig.server.failure();
        EXPECT_EQ(rig.Since(), Split(row.commands));
        EXPECT_TRUE(rig.Logged(row.logged));
        EXPECT_FALSE(rig.controller.StopRequest()) << "the next queue starts afresh";
        EXPECT_EQ(rig.progress.calls, Split(row.progress));
        EXPECT_EQ(rig.controller.RemoteView().RemoteFileNames(), Split(row.files))
            << "the pane shows where the engine stands";
    }
}

} // namespace
