// Trees and files moved through the transfer queue, and the remote file
// operations, against real FTP servers in passive and active mode; every copy
// compared with its original byte for byte and name for name.
#include "session/RealSession.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include <tuple>

namespace {

using namespace realsession;
using transfer::TransferType;

// CORVANE_BIG_TRANSFER adds a sparse file over 4 GiB: about a minute each way
// against pyftpdlib on loopback, too long for every run.
constexpr int kBigWaitMs = 600000;

// What a tree holds, links left out: relative path to size (-1 for a folder).
std::map<std::string, std::int64_t> TreeOf(const fs::path& root) {
    std::map<std::string, std::int64_t> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (!it->is_symlink())
            tree[fs::relative(it->path(), root).string()] =
                it->is_directory() ? -1 : static_cast<std::int64_t>(it->file_size());
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

class RealServer : public ::testing::TestWithParam<std::tuple<Kind, bool>> {
protected:
    RealServer() { s.options.Ext = "txt"; }

    void SetUp() override {
        CORVANE_START_REAL_FTP(s.server);
        Site site = s.AccountSite(std::get<1>(GetParam()));
        Adjust(site);
        ASSERT_TRUE(s.Connect(site));
    }
    virtual void Adjust(Site& /*site*/) {}

    RealSession s{std::get<0>(GetParam())};
    const fs::path src = s.home / "src";
    const fs::path dst = s.home / "dst";
};

TEST_P(RealServer, ATreeGoesUpAndComesBackTheSame) {
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
    s.queue.SetTransferType(TransferType::Binary);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(s.Upload({{"tree", true, ""}, {"top file.txt", false, "4"}}, src));
    ExpectSameTree(tree, s.OnServer("tree"));
    EXPECT_TRUE(SameBytes(src / "top file.txt", s.OnServer("top file.txt")));

    s.SelectRemote({"tree", "top file.txt"});
    ASSERT_TRUE(s.controller.DownloadSelected(dst.string()));
    ASSERT_TRUE(s.Idle(big ? kBigWaitMs : 60000));
    ExpectSameTree(tree, dst / "tree");
    EXPECT_TRUE(SameBytes(src / "top file.txt", dst / "top file.txt"));

    // Breadth-first: "up" is met before "lvl 1/loop".
    EXPECT_EQ(s.Errors(),
              (Lines{
                  "Error " + (tree / "up").string() + "/: a link back into the folders walked",
                  "Error " + (tree / "lvl 1" / "loop").string() +
                      "/: a link back into the folders walked",
              }));
    if (big)
        std::printf(
            "4 GiB tree up and down: %.1f s\n",
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

// Resume finishes a partial copy each way. A text file's offsets differ on the
// server's disk, on the wire and here (CR LF against LF), so an ASCII resume
// would splice at the wrong byte: that file is moved whole instead.
TEST_P(RealServer, ResumeEachWayAndType) {
    std::string binary(300000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7 % 251);
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    const struct {
        const char* name;
        TransferType type;
        const char* stem;
        std::string data;
        bool resumed;
    } rows[] = {
        {"binary resumes at the partial copy's end", TransferType::Binary, "bin", binary, true},
        {"ASCII moves the whole file", TransferType::Ascii, "text", text, false},
    };
    Lines asked; // the overwrite question names the local file or the remote name
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string down = std::string(row.stem) + " down",
                          up = std::string(row.stem) + " up";
        s.queue.SetTransferType(row.type);
        WriteFile(s.OnServer(down), row.data);
        WriteFile(src / up, row.data);
        fs::create_directories(dst);
        // What a whole transfer gives each way: in binary the original itself.
        ASSERT_TRUE(s.Refresh());
        ASSERT_TRUE(s.Download({down}, dst));
        ASSERT_TRUE(s.Upload({{up, false, ""}}, src));
        const std::string wholeDown = ReadAll(dst / down), wholeUp = ReadAll(s.OnServer(up));
        if (row.type == TransferType::Binary) {
            EXPECT_TRUE(wholeDown == row.data && wholeUp == row.data);
        }

        WriteFile(src / down, wholeDown.substr(0, wholeDown.size() * 2 / 5));
        WriteFile(s.OnServer(up), wholeUp.substr(0, wholeUp.size() / 4));
        ASSERT_TRUE(s.Refresh());
        s.prompts.overwrites = {{OverwriteAnswer::Resume, ""}};
        ASSERT_TRUE(s.Download({down}, src));
        s.prompts.overwrites = {{OverwriteAnswer::Resume, ""}};
        ASSERT_TRUE(s.Upload({{up, false, ""}}, src));
        asked.insert(asked.end(), {(src / down).string(), up});
        EXPECT_TRUE(ReadAll(src / down) == wholeDown);
        EXPECT_TRUE(ReadAll(s.OnServer(up)) == wholeUp);
        EXPECT_EQ(s.Logged("No resume in ASCII mode: " + down + " is moved whole"), !row.resumed);
        EXPECT_EQ(s.Logged("No resume in ASCII mode: " + up + " is moved whole"), !row.resumed);
    }
    EXPECT_EQ(s.prompts.overwriteAsked, asked);
    EXPECT_EQ(s.Errors(), Lines{});
}

TEST_P(RealServer, StopInTheMiddleEndsTheQueue) {
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
    progress.controller = &s.controller;
    s.queue.SetProgressSink(&progress);
    ASSERT_TRUE(s.Upload({{"a big one.bin", false, "1073741824"}, {"never.txt", false, "1"}}, src));
    EXPECT_FALSE(progress.open);
    EXPECT_FALSE(fs::exists(s.OnServer("never.txt")));
    EXPECT_TRUE(s.Logged("Transfer of a big one.bin incomplete"));
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

TEST_P(RealServer, RemoteOperationsOnTheServersDisk) {
    for (const std::string& file : kTreeFiles)
        WriteFile(s.OnServer(file), "data");
    WriteFile(s.OnServer("mode.txt"), "m");
    fs::permissions(s.OnServer("mode.txt"), fs::perms(0644));
    ASSERT_TRUE(s.Refresh());

    s.prompts.inputs.push_back("new folder ü");
    ASSERT_TRUE(s.Run([&] { return s.ops.MakeDirectory(); }));
    EXPECT_TRUE(fs::is_directory(s.OnServer("new folder ü")));
    s.prompts.inputs.push_back("renamed ø");
    ASSERT_TRUE(s.Run([&] { return s.ops.Rename({"new folder ü", true, ""}); }));
    EXPECT_TRUE(fs::is_directory(s.OnServer("renamed ø")));
    EXPECT_FALSE(fs::exists(s.OnServer("new folder ü")));

    if (s.server.allowsChmod()) {
        TypedMode editor;
        ASSERT_TRUE(s.Run([&] {
            return s.ops.EditPermissions({{"mode.txt", "-rw-r--r--"}}, editor);
        }));
        struct stat info {};
        ASSERT_EQ(::stat(s.OnServer("mode.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
    ASSERT_TRUE(s.Run([&] { return s.ops.SendCommand("STAT"); }));
    EXPECT_TRUE(s.Logged("> STAT"));
    EXPECT_TRUE(s.Logged("< 211")) << "the reply is in the log";

    s.prompts.yesNo.push_back(true);
    ASSERT_TRUE(s.Run([&] { return s.ops.Delete({{kTree, true, ""}, {"mode.txt", false, "1"}}); }));
    EXPECT_EQ(s.prompts.questions.at(0).text, "Do you wish to remove 1 file(s) and 1 folder(es)");
    EXPECT_FALSE(fs::exists(s.OnServer(kTree))) << "the whole tree is gone";
    EXPECT_FALSE(fs::exists(s.OnServer("mode.txt")));
    EXPECT_TRUE(fs::is_directory(s.OnServer("renamed ø"))) << "what was not selected stays";
    EXPECT_TRUE(s.Logged("Deleted 5 file(s) and 3 folder(es)"));
    const auto& items = s.controller.RemoteView().Items();
    EXPECT_TRUE(std::none_of(items.begin(), items.end(), [](const auto& item) {
        return item.caption == kTree;
    })) << "the pane shows the start folder without it";
}

// A shared virtual host names folders from the account's home: every CWD, MKD,
// RMD and file path of a walk must go relative to where the server stands (a
// 3-level tree from a folder below the home).
class VirtualHost : public RealServer {
protected:
    void Adjust(Site& site) override {
        fs::create_directories(s.OnServer("pub/dir"));
        site.CheckVHost = 1;
        site.InitialDir = "pub/dir";
    }
};

TEST_P(VirtualHost, ATreeGoesUpComesBackAndIsDeleted) {
    const fs::path tree = src / "tree";
    WriteFile(tree / "a" / "b" / "c" / "deep.bin", std::string(5000, '\xfe'));
    WriteFile(tree / "a" / "mid.txt", "mid\n");
    WriteFile(tree / "top.txt", "top\n");
    fs::create_directories(tree / "a" / "b" / "empty");
    WriteFile(src / "beside.txt", "beside\n");
    fs::create_directories(dst);
    s.queue.SetTransferType(TransferType::Binary);
    ASSERT_TRUE(s.Upload({{"beside.txt", false, ""}, {"tree", true, ""}}, src));
    ExpectSameTree(tree, s.OnServer("pub/dir/tree"));

    // The pane shows the start folder again, so its entries are the ones just sent.
    ASSERT_TRUE(s.Download({"beside.txt", "tree"}, dst));
    ExpectSameTree(tree, dst / "tree");
    EXPECT_EQ(ReadAll(dst / "beside.txt"), "beside\n");
    EXPECT_EQ(s.ftp.HostDirName, "pub/dir/") << "named as before the transfers";

    s.prompts.yesNo.push_back(true);
    ASSERT_TRUE(s.Run([&] { return s.ops.Delete({{"tree", true, ""}}); }));
    EXPECT_FALSE(fs::exists(s.OnServer("pub/dir/tree"))) << "the whole tree is gone";
    EXPECT_TRUE(s.Logged("Deleted 3 file(s) and 5 folder(es)"));
    EXPECT_EQ(s.ftp.HostDirName, "pub/dir/") << "named as before the delete";
    EXPECT_EQ(s.Errors(), Lines{});
}

// Every browse command on a site named from its home: a path from the root, or
// from the home while the server stands deeper, would miss the folder.
TEST_P(VirtualHost, BrowsingGoesFromWhereTheServerStands) {
    fs::create_directories(s.OnServer("pub/dir/tree/a/b"));
    remote::RemoteView& pane = s.controller.RemoteView();
    const auto shows = [&](const std::string& caption) {
        const auto& items = pane.Items();
        return std::any_of(items.begin(), items.end(),
                           [&](const remote::RemoteItem& item) { return item.caption == caption; });
    };
    const auto open = [&](const std::string& caption) {
        return s.Run([&] {
            const auto& items = pane.Items();
            const auto it = std::find_if(items.begin(), items.end(),
                                         [&](const auto& item) { return item.caption == caption; });
            if (it != items.end())
                s.controller.OpenEntry(static_cast<int>(it - items.begin()));
            return it != items.end();
        });
    };
    const auto up = [&] {
        return s.Run([&] {
            pane.GoUpOneLevel();
            return true;
        });
    };
    const struct {
        const char* name;
        std::function<testing::AssertionResult()> act;
        std::string at, shown;
    } steps[] = {
        {"refresh in the start folder", [&] { return s.Refresh(); }, "pub/dir/", "tree"},
        {"open a folder", [&] { return open("tree"); }, "pub/dir/tree", "a"},
        {"open one more", [&] { return open("a"); }, "pub/dir/tree/a", "b"},
        {"refresh deeper", [&] { return s.Refresh(); }, "pub/dir/tree/a", "b"},
        {"up one level", up, "pub/dir/tree", "a"},
        {"the path box's first folder",
         [&] {
             return s.Run([&] {
                 pane.ChangeToPathBoxEntry(2);
                 return true;
             });
         },
         "pub", "dir"},
        {"up from the first level asks the server's name for it", up, "pub", "dir"},
        {"open, named from the server's root", [&] { return open("dir"); }, "pub/dir", "tree"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(step.act());
        EXPECT_TRUE(s.ftp.HostDirName.ends_with(step.at)) << s.ftp.HostDirName;
        EXPECT_TRUE(shows(step.shown));
    }
    EXPECT_EQ(s.Errors(), Lines{});
}

std::string ServerName(const ::testing::TestParamInfo<std::tuple<Kind, bool>>& info) {
    return KindName(std::get<0>(info.param)) + (std::get<1>(info.param) ? "Passive" : "Active");
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer,
                         ::testing::Combine(::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd),
                                            ::testing::Bool()),
                         ServerName);
INSTANTIATE_TEST_SUITE_P(Servers, VirtualHost,
                         ::testing::Combine(::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd),
                                            ::testing::Values(true)),
                         ServerName);

} // namespace
