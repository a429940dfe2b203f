#include "prefs/Options.h"
#include "support/ScriptedPrompts.h"
#include "transfer/TransferPaths.h"
#include "transfer/TransferQueue.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace transfer;
using Answer = OverwriteAnswer;
using Lines = std::deque<std::string>;

namespace {

TEST(QueueRules, EntriesSizesAndPaths) {
    EXPECT_EQ(ParseQueueEntry("/pub/a b.iso\t5000000000"),
              (std::pair<std::string, std::int64_t>{"/pub/a b.iso", 5000000000}))
        << "sizes over 4 GiB survive";
    EXPECT_EQ(ParseQueueEntry("x\t99999999999999999999").second, 0) << "beyond 64 bits";
    EXPECT_EQ(ParseQueueEntry("no tab"), (std::pair<std::string, std::int64_t>{"no tab", 0}));
    EXPECT_EQ(ParseQueueEntry(QueueEntryText("f", 1LL << 40)).second, 1LL << 40);
    EXPECT_EQ(SizeFromText("-5"), -1);

    EXPECT_EQ(LocalToRemotePath("/home/u/up/a/", "/home/u/"), "up/a/");
    EXPECT_EQ(LocalToRemotePath("/home/u/", "/home/u/"), "/");
    EXPECT_EQ(RelativeRemoteDir("/pub/x/y", "/pub/"), "x/y");
    EXPECT_EQ(RelativeRemoteDir("/pub/", "/pub/"), "");
}

TEST(QueueRules, VirtualHostPathsGoFromWhereTheServerStands) {
    const struct {
        const char* name;
        const char* at;
        const char* to;
        const char* sent;
    } rows[] = {
        {"one level down from the home", "", "a", "a"},
        {"one level down", "pub/dir/", "pub/dir/a", "a"},
        {"a cousin one level deeper", "pub/dir/a/x", "pub/dir/b/y", "../../b/y"},
        {"back to the start", "pub/dir/a/b", "pub/dir/", "../.."},
        {"the folder it stands in", "pub/dir/", "pub/dir", "."},
        {"a prefix of a name is no parent", "pub/di", "pub/dir/a", "../dir/a"},
        {"absolute stays", "pub/dir/a", "/pub/x", "/pub/x"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RemotePathFrom(row.at, row.to), row.sent);
    }
}

TEST(QueueRules, ListedNamesThatCannotBecomeLocalFiles) {
    const struct {
        const char* name;
        std::string listed;
        bool safe;
    } rows[] = {
        {"blanks at both ends", " a b ", true},
        {"UTF-8", "fjæra ø", true},
        {"empty", "", false},
        {"dot", ".", false},
        {"dot dot", "..", false},
        {"climbing", "../../x", false},
        {"NUL", std::string("a\0b", 3), false},
        {"line end", "a\r\nDELE b", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(!UnsafeNameReason(row.listed).has_value(), row.safe);
    }
    EXPECT_TRUE(InsideFolder("/home/u/dl/a", "/home/u/dl/"));
    EXPECT_FALSE(InsideFolder("/home/u/dl/../x", "/home/u/dl/"));
    EXPECT_FALSE(InsideFolder("/home/u/dl/", "/home/u/dl/")) << "the folder itself is no file";
    EXPECT_FALSE(InsideFolder("/home/u/dlx/a", "/home/u/dl/"));
}

TEST(QueueRules, TransferTypeByExtension) {
    const struct {
        const char* name;
        TransferType mode;
        const char* file;
        const char* ext;
        bool ascii;
    } rows[] = {
        {"htm occurs inside html", TransferType::Auto, "/d/a.htm", "html,txt", true},
        {"case counts", TransferType::Auto, "a.TXT", "html,txt", false},
        {"no extension", TransferType::Auto, "README", "html,txt", false},
        {"dot in a folder name only", TransferType::Auto, "/d.txt/README", "html,txt", false},
        {"empty Ext list", TransferType::Auto, "a.txt", "", false},
        {"Ascii mode", TransferType::Ascii, "a.bin", "", true},
        {"Binary mode", TransferType::Binary, "a.txt", "txt", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SendsAsAscii(row.mode, row.file, row.ext), row.ascii);
    }
}

// A queue with no session behind it: every request it issues is refused.
struct QueueRig : QueueHost {
    Site site;
    bool Issue(void (FtpClient::*)()) override { return false; }
    void AddLog(std::string_view) override {}
    const Site& CurrentSite() const override { return site; }
    void TransferEnded(bool) override {}

    FtpClient ftp;
    ChainState chain;
    ScriptedPrompts prompts;
    Options options;
    TransferQueue queue{ftp, *this, chain, prompts, options, {}};
};

// "a b" -> {"a", "b"}
Lines Words(const char* text) {
    Lines words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

TEST(Overwrite, EveryAnswerAndDefault) {
    using A = Answer;
    struct Row {
        const char* name;
        bool download, prompt;
        int defPrompt;
        std::vector<ScriptedPrompts::OverwriteReply> answers;
        const char* targets; // left in the target list
        const char* asked;
        bool resume, all;
    };
    // Targets "a", "b" (both exist) and "new" (does not).
    const Row rows[] = {
        {"Resume", true, true, 0, {{A::Resume, ""}}, "a b new", "a", true, false},
        {"Overwrite", true, true, 0, {{A::Overwrite, ""}}, "a b new", "a", false, false},
        {"All", false, true, 0, {{A::All, ""}}, "a b new", "a", false, true},
        {"Skip asks for the next at once",
         true,
         true,
         0,
         {{A::Skip, ""}, {A::Overwrite, ""}},
         "b new",
         "a b",
         false,
         false},
        {"Save as an existing path asks again",
         false,
         true,
         0,
         {{A::SaveAs, "b"}, {A::SaveAs, "new"}},
         "new b new",
         "a b",
         false,
         false},
        {"Cancel empties the lists", true, true, 0, {{A::Cancel, ""}}, "", "a", false, false},
        {"no prompt, skip drops the leading existing", true, false, 0, {}, "new", "", false, false},
        {"no prompt, overwrite", false, false, 1, {}, "a b new", "", false, false},
        {"no prompt, resume", true, false, 2, {}, "a b new", "", true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const std::string base = dir.path().toStdString() + "/";
        for (const char* name : {"a", "b"})
            std::ofstream(base + name) << "old";
        QueueRig rig;
        rig.prompts.overwrites.assign(row.answers.begin(), row.answers.end());
        rig.options.PromptDownLoad = rig.options.PromptUpLoad = row.prompt;
        rig.options.DefPrompt = row.defPrompt;
        // Remote look-ups know "a" and "b" as the remote folder's files.
        ASSERT_TRUE(rig.queue.StartUpload({}, base, {{"a", "3"}, {"b", "3"}}));
        rig.chain.Work.Files = {"fa\t1", "fb\t1", "fn\t1"};
        for (const char* name : {"a", "b", "new"})
            rig.chain.Work.Targets.push_back(row.download ? base + name
                                                          : std::string("/up/") + name);
        rig.queue.CheckOverwrite(row.download);

        Lines left;
        for (const std::string& target : rig.chain.Work.Targets)
            left.push_back(target.substr(target.rfind('/') + 1));
        EXPECT_EQ(left, Words(row.targets));
        EXPECT_EQ(rig.chain.Work.Files.size(), rig.chain.Work.Targets.size());
        Lines asked;
        for (const std::string& path : rig.prompts.overwriteAsked)
            asked.push_back(path.substr(path.rfind('/') + 1));
        EXPECT_EQ(asked, Words(row.asked));
        EXPECT_EQ(rig.queue.ResumeNext(), row.resume);
        EXPECT_EQ(rig.queue.OverwriteAll(), row.all);
        EXPECT_TRUE(rig.prompts.overwrites.empty());
    }
}

TEST(Overwrite, UploadLooksUpNamesCaseSensitively) {
    QueueRig rig;
    TransferQueue& queue = rig.queue;
    ASSERT_TRUE(queue.StartUpload({}, "/tmp", {{"README", "10"}, {"big.iso", "5000000000"}}));
    EXPECT_TRUE(queue.RemoteExists("/up/README"));
    EXPECT_FALSE(queue.RemoteExists("/up/readme"));
    EXPECT_EQ(queue.RemoteSizeOf("deep/big.iso"), 5000000000);
    EXPECT_EQ(queue.RemoteSizeOf("missing"), -1);
}

TEST(Selection, DownloadNamesComeFromTheCaption) {
    const struct {
        const char* name;
        const char* answer; // the site's listing layout
        const char* caption;
        const char* remote; // the file asked for, or the folder entered; empty: none
        bool folder = false;
        bool virtualHost = false;
    } rows[] = {
        {"plain caption", "0", "notes.txt", "/pub/notes.txt"},
        {"Text layout keeps the last word", "1", "-rw-r--r-- 1 ftp ftp 3 Jan 10 12:00 my notes.txt",
         "/pub/notes.txt"},
        {"the up entry is never queued", "0", "..", ""},
        {"a caption with a slash stays remote", "0", "a/b", ""},
        {"a virtual host's walk enters the folder below its home", "0", "dir", "pub/dir", true,
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QueueRig rig;
        rig.ftp.HostDirName = "/pub";
        rig.site.Answer = row.answer;
        rig.site.CheckVHost = row.virtualHost ? 1 : 0;
        ASSERT_TRUE(rig.queue.StartDownload({{row.caption, row.folder, "3"}}, "/tmp/dl"));
        EXPECT_EQ(row.folder ? rig.ftp.HostDirName : rig.ftp.HostFileName, row.remote);
        if (*row.remote && !row.folder) {
            EXPECT_EQ(rig.ftp.LocalFileName, "/tmp/dl/notes.txt");
        }
        EXPECT_FALSE(rig.queue.Running()) << "the refused request ended the queue";
        EXPECT_FALSE(rig.chain.TransferBusy);
    }
}

} // namespace
