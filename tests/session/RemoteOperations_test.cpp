#include "session/SessionRig.h"
#include "transfer/RemoteOperations.h"

#include <functional>

using namespace sessiontest;
using transfer::SelectedEntry;

namespace {

std::string Line(const std::string& name, char kind = '-') {
    return std::string(1, kind) + "rw-r--r-- 1 ftp ftp 3 Jan 10 12:00 " + name + "\r\n";
}

void List(ScriptedFtpServer& s, const std::string& listing) {
    s.reply("200 Type set to A\r\n")
        .replyPasv()
        .acceptData()
        .reply("150 Here comes the listing\r\n")
        .sendData(listing)
        .closeData()
        .send("226 Directory send OK\r\n");
}

struct Editor : transfer::PermissionEditor {
    std::function<bool(transfer::PermissionForm&)> edit;
    bool Edit(transfer::PermissionForm& form) override { return edit(form); }
};

struct OpsRig : Rig {
    OpsRig() { controller.SetRemoteOperations(&ops); }
    bool WaitIdle() {
        return ProcessEventsUntil([&] {
            return controller.SessionState() == SessionState::Browsing && server.finished() &&
                   ftp.State() == FtpState::ftpReady;
        });
    }
    transfer::RemoteOperations ops{
        ftp,     controller, controller.Chain(),
        prompts, options,    std::chrono::year_month_day{2026y, std::chrono::December, 7d}};
    Editor editor;
};

const SelectedEntry kFile{"a.txt", false, "3"};
const SelectedEntry kFolder{"dir", true, ""};
const SelectedEntry kUp{"..", true, ""};

TEST(RemoteOperations, TranscriptsOfTheChains) {
    using Script = std::function<void(ScriptedFtpServer&)>;
    struct Row {
        const char* name;
        const char* answer; // the site's listing layout code
        std::function<bool(OpsRig&)> act;
        Script script;
        const char* commands; // after the first listing
        Lines logged;
    };
    const auto del = [](std::vector<SelectedEntry> selection) {
        return [selection](OpsRig& rig) {
            rig.prompts.yesNo.push_back(true);
            return rig.ops.Delete(selection);
        };
    };
    const auto chmod = [](std::function<bool(transfer::PermissionForm&)> edit, bool sends = true) {
        return [edit, sends](OpsRig& rig) {
            rig.editor.edit = edit;
            return sends == rig.ops.EditPermissions(
                                {{"a", "-rw-r--r--"}, {"b", "-rw-rw-r--"}, {"..", ""}}, rig.editor);
        };
    };
    const Row rows[] = {
        {"delete: files first, folders breadth-first, removal in reverse, CDUP before RMD",
         "0957681",
         del({kUp, kFile, kFolder}),
         [](ScriptedFtpServer& s) {
             s.reply("250 Deleted\r\n").reply("250 OK\r\n");
             List(s, Line("sub", 'd'));
             s.reply("250 OK\r\n");
             List(s, Line("f.txt"));
             s.reply("250 Deleted\r\n").reply("250 OK\r\n").reply("250 Removed\r\n");
             s.reply("250 OK\r\n").reply("250 Removed\r\n").reply("250 OK\r\n");
             List(s, kListing);
         },
         "DELE a.txt|CWD /dir|TYPE A|PASV|LIST|CWD /dir/sub|TYPE A|PASV|LIST|DELE f.txt|CDUP|RMD "
         "/dir/sub|CDUP|RMD /dir|CWD /|TYPE A|PASV|LIST",
         {"Deleted 2 file(s) and 2 folder(es)"}},
        {"delete, Windows 2000 listings: a folder is left by CWD to its parent, removed by name",
         "8",
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
         {}},
        {"delete: a link is deleted as a link, never entered; a name with \"/\" is skipped",
         "0957681",
         del({kFolder}),
         [](ScriptedFtpServer& s) {
             s.reply("250 OK\r\n");
             List(s, "lrwxrwxrwx 1 ftp ftp 4 Jan 10 12:00 up -> /etc\r\n" + Line("../evil"));
             s.reply("250 Deleted\r\n").reply("250 OK\r\n").reply("250 Removed\r\n");
             s.reply("250 OK\r\n");
             List(s, kListing);
         },
         "CWD /dir|TYPE A|PASV|LIST|DELE up|CDUP|RMD /dir|CWD /|TYPE A|PASV|LIST",
         {"Error ../evil: holds \"/\""}},
        {"delete: a failed DELE ends the chain, nothing more is sent",
         "0957681",
         del({kFile, {"b.txt", false, "1"}, kFolder}),
         [](ScriptedFtpServer& s) { s.reply("550 Permission denied\r\n"); },
         "DELE a.txt",
         {"Error 550 Permission denied", "Delete ended after 0 file(s) and 0 folder(es)"}},
        {"delete: a folder that cannot be removed ends it, and the pane goes back to the start",
         "0957681",
         del({kFolder}),
         [](ScriptedFtpServer& s) {
             s.reply("250 OK\r\n");
             List(s, Line("sub", 'd'));
             s.reply("250 OK\r\n");
             List(s, "");
             s.reply("250 OK\r\n").reply("550 Directory not empty\r\n").reply("250 OK\r\n");
             List(s, kListing);
         },
         "CWD /dir|TYPE A|PASV|LIST|CWD /dir/sub|TYPE A|PASV|LIST|CDUP|RMD /dir/sub|CWD /|TYPE "
         "A|PASV|LIST",
         {"Error 550 Directory not empty"}},
        {"delete: Stop ends the walk and names the folders left",
         "0957681",
         [](OpsRig& rig) {
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
         {"Delete stopped after 0 file(s) and 0 folder(es); folders left: /dir, /two"}},
        {"delete: No to the question sends nothing",
         "0957681",
         [](OpsRig& rig) {
             rig.prompts.yesNo.push_back(false);
             return !rig.ops.Delete({kFile});
         },
         [](ScriptedFtpServer&) {},
         "",
         {}},
        {"change case as sentence: unchanged names are left alone",
         "0957681",
         [](OpsRig& rig) {
             return rig.ops.ChangeCase(
                 {{"README.TXT", false, "1"}, {"readme", false, "1"}, {"Readme.txt", false, "1"}},
                 local::CaseMode::Sentence);
         },
         [](ScriptedFtpServer& s) {
             s.reply("350 Ready\r\n").reply("250 Renamed\r\n");
             s.reply("350 Ready\r\n").reply("250 Renamed\r\n");
             List(s, kListing);
         },
         "RNFR README.TXT|RNTO Readme.txt|RNFR readme|RNTO Readme|TYPE A|PASV|LIST /",
         {}},
        {"rename a folder: the kind word is \"Directory\"",
         "0957681",
         [](OpsRig& rig) {
             rig.prompts.inputs.push_back("new dir");
             const bool sent = rig.ops.Rename(kFolder);
             EXPECT_EQ(rig.prompts.asked.at(0).Caption, "Rename Directory");
             EXPECT_EQ(rig.prompts.asked.at(0).Prompt, "Enter new Directory name:");
             EXPECT_EQ(rig.prompts.asked.at(0).Text, "dir");
             return sent;
         },
         [](ScriptedFtpServer& s) {
             s.reply("350 Ready\r\n").reply("250 Renamed\r\n");
             List(s, kListing);
         },
         "RNFR dir|RNTO new dir|TYPE A|PASV|LIST /",
         {}},
        {"make directory, then the listing",
         "0957681",
         [](OpsRig& rig) {
             rig.prompts.inputs.push_back("fresh");
             return rig.ops.MakeDirectory();
         },
         [](ScriptedFtpServer& s) {
             s.reply("257 \"/fresh\" created\r\n");
             List(s, kListing);
         },
         "MKD fresh|TYPE A|PASV|LIST",
         {}},
        {"permissions: Ok on two entries without a change sends nothing",
         "0957681",
         chmod([](transfer::PermissionForm&) { return true; }, false),
         [](ScriptedFtpServer&) {},
         "",
         {}},
        {"permissions: a typed value goes to every entry, then the listing",
         "0957681",
         chmod([](transfer::PermissionForm& form) {
             form.TypeManual("755");
             return true;
         }),
         [](ScriptedFtpServer& s) {
             s.reply("200 SITE CHMOD command successful\r\n");
             s.reply("200 SITE CHMOD command successful\r\n");
             List(s, kListing);
         },
         "SITE CHMOD 755 a|SITE CHMOD 755 b|TYPE A|PASV|LIST",
         {}},
        {"permissions: a refused SITE CHMOD ends the chain",
         "0957681",
         chmod([](transfer::PermissionForm& form) {
             form.TypeManual("7");
             return true;
         }),
         [](ScriptedFtpServer& s) { s.reply("550 Not allowed\r\n"); },
         "SITE CHMOD 7 a",
         {"Error 550 Not allowed"}},
        {"custom command: the reply is logged, the folder listed again",
         "0957681",
         [](OpsRig& rig) { return rig.ops.SendCommand("STAT"); },
         [](ScriptedFtpServer& s) {
             s.reply("211-Status\r\n211 End\r\n").reply("250 OK\r\n");
             List(s, kListing);
         },
         "STAT|CWD /|TYPE A|PASV|LIST",
         {"< 211 End"}},
        {"custom command: a line end inside is refused, nothing is sent",
         "0957681",
         [](OpsRig& rig) { return !rig.ops.SendCommand("NOOP\r\nDELE x"); },
         [](ScriptedFtpServer&) {},
         "",
         {"Error "}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OpsRig rig;
        rig.Login();
        rig.Listing(kListing);
        row.script(rig.server);
        Site site = rig.ScriptedSite();
        site.Answer = row.answer;
        ASSERT_TRUE(rig.Connect(site));
        ASSERT_TRUE(row.act(rig));
        ASSERT_TRUE(rig.WaitIdle()) << rig.server.failure();
        ProcessEventsFor(50);
        EXPECT_EQ(rig.Since(), Split(row.commands));
        const Lines log = rig.LogLines();
        for (const std::string& line : row.logged)
            EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& l) {
                return l.starts_with(line);
            })) << line;
        EXPECT_FALSE(rig.controller.TransferBusy());
        EXPECT_EQ(rig.controller.TransferModeFlags(), 0u);
        EXPECT_TRUE(rig.ops.CanStart()) << "the next operation may start";
    }
}

} // namespace
