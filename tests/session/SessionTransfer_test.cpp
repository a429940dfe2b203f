#include "session/SessionRig.h"
#include "transfer/RemoteOperations.h"
#include "transfer/TransferQueue.h"

#include <QSignalSpy>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

using namespace sessiontest;
using transfer::SelectedEntry;
namespace fs = std::filesystem;

namespace {

const char* kPaneListing = "drwxr-xr-x 2 ftp ftp 4096 Jan 10 12:00 dir\r\n"
                           "-rw-r--r-- 1 ftp ftp    3 Jan 10 12:00 a.txt\r\n"
                           "-rw-r--r-- 1 ftp ftp  999 Jan 10 12:00 b.bin\r\n";

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

struct Editor : transfer::PermissionEditor {
    std::function<bool(transfer::PermissionForm&)> edit;
    bool Edit(transfer::PermissionForm& form) override { return edit(form); }
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
    void Write(const std::string& path, const std::string& data) {
        fs::create_directories(fs::path(local + path).parent_path());
        std::ofstream(local + path, std::ios::binary) << data;
    }
    bool WaitDone() {
        return ProcessEventsUntil([&] {
            return !queue.Running() && controller.SessionState() == SessionState::Browsing &&
                   server.finished() && ftp.State() == FtpState::ftpReady;
        });
    }
    transfer::TransferQueue queue{
        ftp,     controller, controller.Chain(),
        prompts, options,    std::chrono::year_month_day{2026y, std::chrono::December, 7d}};
    transfer::RemoteOperations ops{
        ftp,     controller, controller.Chain(),
        prompts, options,    std::chrono::year_month_day{2026y, std::chrono::December, 7d}};
    Editor editor;
    RecordingProgress progress;
    std::string local;
};

const SelectedEntry kFile{"a.txt", false, "3"};
const SelectedEntry kFolder{"dir", true, ""};
const SelectedEntry kUp{"..", true, ""};

// What each chain sends and logs: downloads, uploads and the remote operations.
TEST(SessionChains, TranscriptsOfTransfersAndRemoteOperations) {
    using Script = std::function<void(ScriptedFtpServer&)>;
    using Act = std::function<bool(TransferRig&)>;
    struct Row {
        const char* name;
        std::function<void(TransferRig&)> setup;
        Act act;
        Script script;
        const char* commands;                       // after the first listing
        Lines logged = {};                          // each must be in the log
        Lines localFiles = {};                      // "path=contents" under the local folder
        const char* sent = nullptr;                 // what the server received; null: not checked
        const char* answer = "";                    // the site's listing layout code
        Lines captions = {"dir", "a.txt", "b.bin"}; // the pane at the end
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
    const auto del = [](std::vector<SelectedEntry> selection) {
        return [selection](TransferRig& rig) {
            rig.prompts.yesNo.push_back(true);
            return rig.ops.Delete(selection);
        };
    };
    const auto chmod = [](std::function<bool(transfer::PermissionForm&)> edit, bool sends = true) {
        return [edit, sends](TransferRig& rig) {
            rig.editor.edit = edit;
            return sends == rig.ops.EditPermissions(
                                {{"a", "-rw-r--r--"}, {"b", "-rw-rw-r--"}, {"..", ""}}, rig.editor);
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
             List(s, Line("sub", 'd') + Line("c.txt"));
             Get(s, "ccc");
             s.reply("200 Type set to A\r\n").reply("250 OK\r\n");
             List(s, "");
             s.reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "PASV|RETR /a.txt|TYPE I|PASV|RETR /b.bin|TYPE A|CWD /dir|TYPE A|PASV|LIST|PASV|RETR "
         "c.txt|TYPE A|CWD /dir/sub|TYPE A|PASV|LIST|CWD /|TYPE A|PASV|LIST",
         {"Starting transfer of a.txt", "Starting transfer of c.txt"},
         {"a.txt=aaa", "b.bin=bbb", "dir/c.txt=ccc", "dir/sub/"}},
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
         {"a.txt=keep", "b.bin=bbb"}},
        {"download: listed names that would leave the folder, or walk it again, are skipped",
         nullptr,
         [](TransferRig& rig) {
             rig.controller.RemoteView().SetSelection({0});
             return rig.controller.DownloadSelected(rig.local);
         },
         [](ScriptedFtpServer& s) {
             s.reply("200 Type set to A\r\n").reply("250 OK\r\n");
             List(s, Line("../../evil") + Line("a/b", 'd') + Line("ok.txt") +
                         "lrwxrwxrwx 1 ftp ftp 1 Jan 10 12:00 loop -> .\r\n");
             Get(s, "ok!");
             s.reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "TYPE A|CWD /dir|TYPE A|PASV|LIST|PASV|RETR ok.txt|CWD /|TYPE A|PASV|LIST",
         {"Error ../../evil: holds \"/\"", "Error a/b: holds \"/\"",
          "Error loop: a link back into the folders walked"},
         {"dir/ok.txt=ok!"}},
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
             List(s, Line("b.bin", '-', 2));
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
         {"Error 502 REST not implemented", "Transfer of b.bin failed"}},
        {"delete: files first, folders breadth-first, removal in reverse, CDUP before RMD",
         nullptr,
         del({kUp, kFile, kFolder}),
         [](ScriptedFtpServer& s) {
             s.reply("250 Deleted\r\n").reply("250 OK\r\n");
             List(s, Line("sub", 'd'));
             s.reply("250 OK\r\n");
             List(s, Line("f.txt"));
             s.reply("250 Deleted\r\n").reply("250 OK\r\n").reply("250 Removed\r\n");
             s.reply("250 OK\r\n").reply("250 Removed\r\n").reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "DELE a.txt|CWD /dir|TYPE A|PASV|LIST|CWD /dir/sub|TYPE A|PASV|LIST|DELE f.txt|CDUP|RMD "
         "/dir/sub|CDUP|RMD /dir|CWD /|TYPE A|PASV|LIST",
         {"Deleted 2 file(s) and 2 folder(es)"}},
        {"delete, Windows 2000 listings: a folder is left by CWD to its parent, removed by name",
         nullptr,
         del({kFile, kFolder}),
         [](ScriptedFtpServer& s) {
             s.reply("250 Deleted\r\n").reply("250 OK\r\n");
             List(s, "11-30-02  14:34         <DIR>          sub\r\n");
             s.reply("250 OK\r\n");
             List(s, "11-30-02  09:05                   2048 f.txt\r\n");
             s.reply("250 Deleted\r\n").reply("250 OK\r\n").reply("250 Removed\r\n");
             s.reply("250 OK\r\n").reply("250 Removed\r\n").reply("250 OK\r\n");
             List(s, "");
         },
         "DELE a.txt|CWD /dir|TYPE A|PASV|LIST|CWD /dir/sub|TYPE A|PASV|LIST|DELE f.txt|CWD "
         "/dir|RMD sub|CWD /|RMD dir|CWD /|TYPE A|PASV|LIST",
         {},
         {},
         nullptr,
         "8",
         {}},
        {"delete: a link is deleted as a link, never entered; a name with \"/\" is skipped",
         nullptr,
         del({kFolder}),
         [](ScriptedFtpServer& s) {
             s.reply("250 OK\r\n");
             List(s, "lrwxrwxrwx 1 ftp ftp 4 Jan 10 12:00 up -> /etc\r\n" + Line("../evil"));
             s.reply("250 Deleted\r\n").reply("250 OK\r\n").reply("250 Removed\r\n");
             s.reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "CWD /dir|TYPE A|PASV|LIST|DELE up|CDUP|RMD /dir|CWD /|TYPE A|PASV|LIST",
         {"Error ../evil: holds \"/\""}},
        {"delete: a failed DELE ends the chain, nothing more is sent",
         nullptr,
         del({kFile, {"b.txt", false, "1"}, kFolder}),
         [](ScriptedFtpServer& s) { s.reply("550 Permission denied\r\n"); },
         "DELE a.txt",
         {"Error 550 Permission denied", "Delete ended after 0 file(s) and 0 folder(es)"}},
        {"delete: a folder that cannot be removed ends it, and the pane goes back to the start",
         nullptr,
         del({kFolder}),
         [](ScriptedFtpServer& s) {
             s.reply("250 OK\r\n");
             List(s, Line("sub", 'd'));
             s.reply("250 OK\r\n");
             List(s, "");
             s.reply("250 OK\r\n").reply("550 Directory not empty\r\n").reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "CWD /dir|TYPE A|PASV|LIST|CWD /dir/sub|TYPE A|PASV|LIST|CDUP|RMD /dir/sub|CWD /|TYPE "
         "A|PASV|LIST",
         {"Error 550 Directory not empty"}},
        {"delete: Stop ends the walk and names the folders left",
         nullptr,
         [](TransferRig& rig) {
             rig.prompts.yesNo.push_back(true);
             const bool sent = rig.ops.Delete({kFolder, {"two", true, ""}});
             rig.controller.StopTransfer();
             return sent;
         },
         [](ScriptedFtpServer& s) {
             s.reply("250 OK\r\n");
             List(s, "");
         },
         "CWD /dir|TYPE A|PASV|LIST",
         {"Delete stopped after 0 file(s) and 0 folder(es); folders left: /dir, /two"},
         {},
         nullptr,
         "",
         {}},
        {"delete: No to the question sends nothing", nullptr,
         [](TransferRig& rig) {
             rig.prompts.yesNo.push_back(false);
             return !rig.ops.Delete({kFile});
         },
         [](ScriptedFtpServer&) {}, ""},
        {"change case as sentence: unchanged names are left alone", nullptr,
         [](TransferRig& rig) {
             return rig.ops.ChangeCase(
                 {{"README.TXT", false, "1"}, {"readme", false, "1"}, {"Readme.txt", false, "1"}},
                 local::CaseMode::Sentence);
         },
         [](ScriptedFtpServer& s) {
             s.reply("350 Ready\r\n").reply("250 Renamed\r\n");
             s.reply("350 Ready\r\n").reply("250 Renamed\r\n");
             List(s, kPaneListing);
         },
         "RNFR README.TXT|RNTO Readme.txt|RNFR readme|RNTO Readme|TYPE A|PASV|LIST /"},
        {"rename a folder: the kind word is \"Directory\"", nullptr,
         [](TransferRig& rig) {
             rig.prompts.inputs.push_back("new dir");
             const bool sent = rig.ops.Rename(kFolder);
             EXPECT_EQ(rig.prompts.asked.at(0).Caption, "Rename Directory");
             EXPECT_EQ(rig.prompts.asked.at(0).Prompt, "Enter new Directory name:");
             EXPECT_EQ(rig.prompts.asked.at(0).Text, "dir");
             return sent;
         },
         [](ScriptedFtpServer& s) {
             s.reply("350 Ready\r\n").reply("250 Renamed\r\n");
             List(s, kPaneListing);
         },
         "RNFR dir|RNTO new dir|TYPE A|PASV|LIST /"},
        {"make directory, then the listing", nullptr,
         [](TransferRig& rig) {
             rig.prompts.inputs.push_back("fresh");
             return rig.ops.MakeDirectory();
         },
         [](ScriptedFtpServer& s) {
             s.reply("257 \"/fresh\" created\r\n");
             List(s, kPaneListing);
         },
         "MKD fresh|TYPE A|PASV|LIST"},
        {"permissions: Ok on two entries without a change sends nothing", nullptr,
         chmod([](transfer::PermissionForm&) { return true; }, false), [](ScriptedFtpServer&) {},
         ""},
        {"permissions: a typed value goes to every entry, then the listing", nullptr,
         chmod([](transfer::PermissionForm& form) {
             form.TypeManual("755");
             return true;
         }),
         [](ScriptedFtpServer& s) {
             s.reply("200 SITE CHMOD command successful\r\n");
             s.reply("200 SITE CHMOD command successful\r\n");
             List(s, kPaneListing);
         },
         "SITE CHMOD 755 a|SITE CHMOD 755 b|TYPE A|PASV|LIST"},
        {"permissions: a refused SITE CHMOD ends the chain",
         nullptr,
         chmod([](transfer::PermissionForm& form) {
             form.TypeManual("7");
             return true;
         }),
         [](ScriptedFtpServer& s) { s.reply("550 Not allowed\r\n"); },
         "SITE CHMOD 7 a",
         {"Error 550 Not allowed"}},
        {"custom command: the reply is logged, the folder listed again",
         nullptr,
         [](TransferRig& rig) { return rig.ops.SendCommand("STAT"); },
         [](ScriptedFtpServer& s) {
             s.reply("211-Status\r\n211 End\r\n").reply("250 OK\r\n");
             List(s, kPaneListing);
         },
         "STAT|CWD /|TYPE A|PASV|LIST",
         {"< 211 End"}},
        {"custom command: a line end inside is refused, nothing is sent",
         nullptr,
         [](TransferRig& rig) { return !rig.ops.SendCommand("NOOP\r\nDELE x"); },
         [](ScriptedFtpServer&) {},
         "",
         {"Error "}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        if (row.setup)
            row.setup(rig);
        rig.Login();
        rig.Listing(kPaneListing);
        row.script(rig.server);
        Site site = rig.ScriptedSite();
        site.Answer = row.answer;
        ASSERT_TRUE(rig.Connect(site));
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
        EXPECT_EQ(rig.Captions(), row.captions) << "back in the start folder";
        EXPECT_TRUE(rig.ops.CanStart()) << "the next operation may start";
    }
}

// A binary download shorter than the listing says is an error, never a
// success; a listing whose size column counts no bytes is not held against it.
TEST(SessionTransfer, ShortDownloadFailsWhereTheListingCountsBytes) {
    const struct {
        const char* name;
        const char* answer; // the site's listing layout
        bool failed;
    } rows[]{
        {"unix-listing-names-5-bytes", "", true},
        {"custom-layout-size-column-is-no-byte-count", "4956781", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        rig.Login();
        rig.Listing(Line("a.bin", '-', 5));
        rig.server.reply("200 Type set to I\r\n");
        Get(rig.server, "abc");
        Site site = rig.ScriptedSite();
        site.Answer = row.answer;
        ASSERT_TRUE(rig.Connect(site));
        rig.controller.RemoteView().SetSelection({0});
        ASSERT_TRUE(rig.controller.DownloadSelected(rig.local));
        ASSERT_TRUE(rig.WaitDone()) << rig.server.failure();
        EXPECT_EQ(rig.Logged("Error 426 Size differs: 3 bytes here, 5 on the server"), row.failed);
    }
}

// Stop ends the queue wherever it stands; a file it cuts is "incomplete",
// also when not one byte of it had come.
TEST(SessionTransfer, StopEndsTheQueueWhereverItStands) {
    enum class StopAt { FirstBytes, Reply150, AtOnce };
    struct Row {
        const char* name;
        std::function<void(ScriptedFtpServer&)> script;
        std::vector<int> selection;
        StopAt at;
        const char* commands;
        const char* logged;
        const char* progress; // the progress window's calls
        Lines captions;       // the pane afterwards
    };
    const Row rows[] = {
        {"bytes have come: the file is cut, the next never asked for",
         [](ScriptedFtpServer& s) {
             s.replyPasv().acceptData().reply("150 Opening\r\n").sendData("abc").pause(200);
             s.sendData("def").pause(200).closeData().send("426 Transfer aborted\r\n");
         },
         {1, 2},
         StopAt::FirstBytes,
         "PASV|RETR /a.txt",
         "Transfer of a.txt incomplete",
         "Open|Start /a.txt 3|Close",
         {"dir", "a.txt", "b.bin"}},
        {"no byte yet and the server waits: Stop cuts the file at once, not failed",
         [](ScriptedFtpServer& s) {
             s.replyPasv().acceptData().reply("150 Opening a.txt\r\n").receiveDataUntilClose();
             s.send("426 Transfer aborted\r\n");
         },
         {1, 2},
         StopAt::Reply150,
         "PASV|RETR /a.txt",
         "Transfer of a.txt incomplete",
         "Open|Start /a.txt 3|Close",
         {"dir", "a.txt", "b.bin"}},
        {"a walk under way: the queue ends at once, no file is fetched",
         [](ScriptedFtpServer& s) {
             s.reply("200 Type set to A\r\n").readLine().pause(300).send("250 OK\r\n");
             List(s, Line("c.txt"));
         },
         {0},
         StopAt::AtOnce,
         "TYPE A|CWD /dir|TYPE A|PASV|LIST",
         "Transfer ended: 0 files moved, 0 bytes, 0 failed, 0.0 s",
         "",
         {"c.txt"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        rig.Login();
        rig.Listing(kPaneListing);
        row.script(rig.server);
        ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
        rig.progress.onUpdate = [&](std::int64_t bytes) {
            if (row.at == StopAt::FirstBytes && bytes > 0 && !rig.controller.StopRequest())
                rig.controller.StopTransfer();
        };
        rig.controller.RemoteView().SetSelection(row.selection);
        ASSERT_TRUE(rig.controller.DownloadSelected(rig.local));
        EXPECT_FALSE(rig.controller.UploadSelected({{"x", false, "1"}}, rig.local))
            << "a second transfer is refused while one runs";
        if (row.at == StopAt::AtOnce) {
            rig.controller.StopTransfer();
            EXPECT_FALSE(rig.queue.Running());
            EXPECT_FALSE(rig.controller.TransferBusy());
        } else if (row.at == StopAt::Reply150) {
            ASSERT_TRUE(ProcessEventsUntil([&] { return rig.Logged("< 150 Opening a.txt"); }));
            rig.controller.StopTransfer();
        }
        ASSERT_TRUE(rig.WaitDone()) << rig.server.failure();
        EXPECT_EQ(rig.Since(), Split(row.commands));
        EXPECT_TRUE(rig.Logged(row.logged));
        EXPECT_FALSE(rig.Logged("Transfer ended: 1 file moved, 3 bytes, 0 failed"));
        EXPECT_FALSE(rig.controller.TransferBusy());
        EXPECT_FALSE(rig.controller.StopRequest()) << "the next queue starts afresh";
        EXPECT_EQ(rig.controller.TransferModeFlags(), 0u);
        EXPECT_EQ(rig.progress.calls, Split(row.progress));
        EXPECT_EQ(rig.Captions(), row.captions) << "the pane shows where the engine stands";
    }
}

} // namespace
