// Trees and files moved through the transfer queue, and the remote file
// operations, against real FTP servers in passive and active mode; every copy
// compared with its original byte for byte and name for name.
#include "session/RealSession.h"

#include <map>
#include <sys/stat.h>
#include <tuple>

namespace {

using namespace realsession;
using transfer::TransferType;

// What a tree holds, links left out: relative path to contents ("/" for a folder).
std::map<std::string, std::string> TreeOf(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_symlink())
            tree[fs::relative(entry.path(), root).string()] =
                entry.is_directory() ? "/" : ReadFile(entry.path());
    }
    return tree;
}

class RealServer : public ::testing::TestWithParam<std::tuple<Kind, bool>> {
protected:
    RealServer() { s.options.Ext = "txt"; }

    void SetUp() override {
        CORVANE_START_REAL_FTP(s.server);
        ASSERT_TRUE(s.Connect(s.AccountSite(std::get<1>(GetParam()))));
    }

public: // the parts of the tour
    void TreeUpAndDown();
    void ResumeEachWayAndType();
    void RemoteOperationsOnTheServersDisk();
    void StopInTheMiddleEndsTheQueue();
    void VirtualHostWalksFromWhereTheServerStands();

    RealSession s{std::get<0>(GetParam())};
    const fs::path src = s.home / "src";
    const fs::path dst = s.home / "dst";
};

// One tour per server and mode: a tree up and down, resume, the remote
// operations, a stop that leaves a partial file behind, and last the site
// connected again as a virtual host.
TEST_P(RealServer, TransfersAndRemoteOperations) {
    for (const auto part :
         {&RealServer::TreeUpAndDown, &RealServer::ResumeEachWayAndType,
          &RealServer::RemoteOperationsOnTheServersDisk, &RealServer::StopInTheMiddleEndsTheQueue,
          &RealServer::VirtualHostWalksFromWhereTheServerStands}) {
        (this->*part)();
        ASSERT_FALSE(HasFatalFailure());
    }
}

void RealServer::TreeUpAndDown() {
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
    WriteFile(src / "top file.txt", "top\n");
    fs::create_directories(dst);

    // Byte for byte: an ASCII download from a server that writes CR LF would differ.
    s.queue.SetTransferType(TransferType::Binary);
    ASSERT_TRUE(s.Upload({{"tree", true, ""}, {"top file.txt", false, "4"}}, src));
    EXPECT_EQ(TreeOf(s.OnServer("tree")), TreeOf(tree));
    EXPECT_EQ(ReadFile(s.OnServer("top file.txt")), "top\n");
    ASSERT_TRUE(s.Download({"tree", "top file.txt"}, dst));
    EXPECT_EQ(TreeOf(dst / "tree"), TreeOf(tree));
    EXPECT_EQ(ReadFile(dst / "top file.txt"), "top\n");
}

// Resume finishes a partial copy each way. A text file's offsets differ on the
// server's disk, on the wire and here (CR LF against LF), so an ASCII resume
// would splice at the wrong byte: that file is moved whole instead.
void RealServer::ResumeEachWayAndType() {
    std::string binary(300000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7 % 251);
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    const struct {
        TransferType type;
        std::string down, up, data;
    } rows[] = {{TransferType::Binary, "bin down", "bin up", binary},
                {TransferType::Ascii, "text down", "text up", text}};
    Lines asked; // the overwrite question names the local file or the remote name
    for (const auto& row : rows) {
        const bool ascii = row.type == TransferType::Ascii;
        SCOPED_TRACE(ascii ? "ASCII moves the whole file" : "binary resumes at the copy's end");
        s.queue.SetTransferType(row.type);
        WriteFile(s.OnServer(row.down), row.data);
        WriteFile(src / row.up, row.data);
        // What a whole transfer gives each way: in binary the original itself.
        ASSERT_TRUE(s.Refresh());
        ASSERT_TRUE(s.Download({row.down}, dst));
        ASSERT_TRUE(s.Upload({{row.up, false, ""}}, src));
        const std::string wholeDown = ReadFile(dst / row.down),
                          wholeUp = ReadFile(s.OnServer(row.up));
        EXPECT_TRUE(ascii || (wholeDown == row.data && wholeUp == row.data));

        WriteFile(src / row.down, wholeDown.substr(0, wholeDown.size() * 2 / 5));
        WriteFile(s.OnServer(row.up), wholeUp.substr(0, wholeUp.size() / 4));
        ASSERT_TRUE(s.Refresh());
        s.prompts.overwrites = {{OverwriteAnswer::Resume, ""}, {OverwriteAnswer::Resume, ""}};
        ASSERT_TRUE(s.Download({row.down}, src));
        ASSERT_TRUE(s.Upload({{row.up, false, ""}}, src));
        asked.insert(asked.end(), {(src / row.down).string(), row.up});
        EXPECT_TRUE(ReadFile(src / row.down) == wholeDown);
        EXPECT_TRUE(ReadFile(s.OnServer(row.up)) == wholeUp);
        for (const std::string& name : {row.down, row.up})
            EXPECT_EQ(s.Logged("No resume in ASCII mode: " + name + " is moved whole"), ascii);
    }
    EXPECT_EQ(s.prompts.overwriteAsked, asked);
    EXPECT_EQ(s.Errors().size(), 2u) << "only the tree's two links";
}

// Three levels, blanks and letters outside ASCII.
const std::string kTree = "Año 2024";
const std::string kTreeFiles[] = {"Año 2024/naïve café.txt", "Año 2024/sub dir/report 1.pdf",
                                  "Año 2024/sub dir/Ωmega façade/ß.txt",
                                  "Año 2024/sub dir/Ωmega façade/leaf file.bin"};

struct TypedMode : transfer::PermissionEditor {
    bool Edit(transfer::PermissionForm& form) override {
        form.TypeManual("600");
        return true;
    }
};

void RealServer::RemoteOperationsOnTheServersDisk() {
    for (const std::string& file : kTreeFiles)
        WriteFile(s.OnServer(file), "data");
    WriteFile(s.OnServer("mode.txt"), "m");
    fs::permissions(s.OnServer("mode.txt"), fs::perms(0644));
    ASSERT_TRUE(s.Refresh());

    s.prompts.inputs = {"new folder ü", "renamed ø"};
    ASSERT_TRUE(s.Run([&] { return s.ops.MakeDirectory(); }));
    EXPECT_TRUE(fs::is_directory(s.OnServer("new folder ü")));
    ASSERT_TRUE(s.Run([&] { return s.ops.Rename({"new folder ü", true, ""}); }));
    EXPECT_EQ(s.prompts.asked.back().Caption, "Rename Directory");
    EXPECT_TRUE(fs::is_directory(s.OnServer("renamed ø")));
    EXPECT_FALSE(fs::exists(s.OnServer("new folder ü")));

    if (s.server.allowsChmod()) {
        TypedMode editor;
        ASSERT_TRUE(s.Run([&] {
            return s.ops.EditPermissions({{"mode.txt", "-rw-r--r--"}}, editor);
        }));
        EXPECT_EQ(fs::status(s.OnServer("mode.txt")).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    ASSERT_TRUE(s.Run([&] { return s.ops.SendCommand("STAT"); }));
    EXPECT_TRUE(s.Logged("< 211")) << "the reply is in the log";

    s.prompts.yesNo.push_back(true);
    ASSERT_TRUE(s.Run([&] { return s.ops.Delete({{kTree, true, ""}, {"mode.txt", false, "1"}}); }));
    EXPECT_EQ(s.prompts.questions.back().text, "Do you wish to remove 1 file(s) and 1 folder(es)");
    EXPECT_FALSE(fs::exists(s.OnServer(kTree))) << "the whole tree is gone";
    EXPECT_FALSE(fs::exists(s.OnServer("mode.txt")));
    EXPECT_TRUE(fs::is_directory(s.OnServer("renamed ø"))) << "what was not selected stays";
    EXPECT_TRUE(s.Logged("Deleted 5 file(s) and 3 folder(es)"));
    EXPECT_LT(s.RowOf(kTree), 0) << "the pane shows the start folder without it";
}

void RealServer::StopInTheMiddleEndsTheQueue() {
    WriteFile(src / "a big one.bin", "");
    fs::resize_file(src / "a big one.bin", 1U << 30);
    WriteFile(src / "never.txt", "x");
    // Stands in for the progress window while it lives: the parts after this
    // one use the same queue.
    struct StopSoon : transfer::ProgressSink {
        session::SessionController& controller;
        transfer::TransferQueue& queue;
        bool open = false;
        StopSoon(session::SessionController& c, transfer::TransferQueue& q)
            : controller(c), queue(q) {
            queue.SetProgressSink(this);
        }
        ~StopSoon() { queue.SetProgressSink(nullptr); }
        void Open() override { open = true; }
        void StartFile(const std::string&, std::int64_t, transfer::Direction) override {}
        void Update(std::int64_t bytes) override {
            if (bytes > (8 << 20) && !controller.StopRequest())
                controller.StopTransfer();
        }
        void EndFile() override {}
        void Close() override { open = false; }
    } progress{s.controller, s.queue};
    ASSERT_TRUE(s.Upload({{"a big one.bin", false, "1073741824"}, {"never.txt", false, "1"}}, src));
    EXPECT_FALSE(progress.open);
    EXPECT_FALSE(fs::exists(s.OnServer("never.txt")));
    EXPECT_TRUE(s.Logged("Transfer of a big one.bin incomplete"));
}

// A shared virtual host names folders from the account's home: every CWD, MKD,
// RMD and file path of a walk, and every browse command, must go relative to
// where the server stands (a 3-level tree from a folder below the home); a path
// from the root, or from the home while the server stands deeper, would miss.
void RealServer::VirtualHostWalksFromWhereTheServerStands() {
    s.controller.Disconnect();
    fs::create_directories(s.OnServer("pub/dir"));
    Site site = s.AccountSite(std::get<1>(GetParam()));
    site.CheckVHost = 1;
    site.InitialDir = "pub/dir";
    ASSERT_TRUE(s.Connect(site));
    const std::size_t errors = s.Errors().size();
    const fs::path tree = src / "vhost" / "tree";
    WriteFile(tree / "a" / "b" / "c" / "deep.bin", std::string(5000, '\xfe'));
    WriteFile(tree / "a" / "mid.txt", "mid\n");
    WriteFile(tree / "top.txt", "top\n");
    fs::create_directories(tree / "a" / "b" / "empty");
    fs::create_directories(dst / "vhost");
    s.queue.SetTransferType(TransferType::Binary);
    ASSERT_TRUE(s.Upload({{"tree", true, ""}}, src / "vhost"));
    EXPECT_EQ(TreeOf(s.OnServer("pub/dir/tree")), TreeOf(tree));
    // The pane shows the start folder again, so its entries are the ones just sent.
    ASSERT_TRUE(s.Download({"tree"}, dst / "vhost"));
    EXPECT_EQ(TreeOf(dst / "vhost" / "tree"), TreeOf(tree));
    EXPECT_EQ(s.ftp.HostDirName, "pub/dir/") << "named as before the transfers";
    s.prompts.yesNo.push_back(true);
    ASSERT_TRUE(s.Run([&] { return s.ops.Delete({{"tree", true, ""}}); }));
    EXPECT_FALSE(fs::exists(s.OnServer("pub/dir/tree"))) << "the whole tree is gone";
    EXPECT_TRUE(s.Logged("Deleted 3 file(s) and 5 folder(es)"));
    EXPECT_EQ(s.ftp.HostDirName, "pub/dir/") << "named as before the delete";

    fs::create_directories(s.OnServer("pub/dir/tree/a/b"));
    remote::RemoteView& pane = s.controller.RemoteView();
    const auto open = [&](const std::string& caption) {
        return [&, caption] { s.controller.OpenEntry(s.RowOf(caption)); };
    };
    const std::function<void()> up = [&] { pane.GoUpOneLevel(); };
    const std::function<void()> refresh = [&] { s.controller.CwdAsync(); };
    const struct {
        const char* name;
        std::function<void()> act;
        std::string at, shown;
    } steps[] = {
        {"refresh in the start folder", refresh, "pub/dir/", "tree"},
        {"open a folder", open("tree"), "pub/dir/tree", "a"},
        {"open one more", open("a"), "pub/dir/tree/a", "b"},
        {"refresh deeper", refresh, "pub/dir/tree/a", "b"},
        {"up one level", up, "pub/dir/tree", "a"},
        {"the path box's first folder", [&] { pane.ChangeToPathBoxEntry(2); }, "pub", "dir"},
        {"up from the first level asks the server's name for it", up, "pub", "dir"},
        {"open, named from the server's root", open("dir"), "pub/dir", "tree"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(s.Run([&] {
            step.act();
            return true;
        }));
        EXPECT_TRUE(s.ftp.HostDirName.ends_with(step.at)) << s.ftp.HostDirName;
        EXPECT_GE(s.RowOf(step.shown), 0);
    }
    EXPECT_EQ(s.Errors().size(), errors);
}

std::string ServerName(const ::testing::TestParamInfo<std::tuple<Kind, bool>>& info) {
    return std::string(std::get<0>(info.param) == Kind::Vsftpd ? "vsftpd" : "pyftpdlib") +
           (std::get<1>(info.param) ? "Passive" : "Active");
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer,
                         ::testing::Combine(::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd),
                                            ::testing::Bool()),
                         ServerName);

} // namespace
