// Moving files from the main window: the commands' enablement, a selection
// uploaded and downloaded through the real server, a drop from one pane onto
// the other, and the remote file operations' buttons and menus.
#include "app/AppTestSupport.h"
#include "app/TransferCommands.h"
#include "local/LocalPane.h"
#include "support/RealFtpServer.h"
#include "support/TestFiles.h"
#include "transfer/CustomCommands.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

namespace fs = std::filesystem;

using testsupport::ReadFile;

// The main window with one saved site on a real server, started for each test.
class TransferCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        CORVANE_START_REAL_FTP(server);
        SaveSite(window, folder,
                 LoopbackSite(server.portText(), testsupport::RealFtpServer::User,
                              testsupport::RealFtpServer::Password));
        fs::create_directories(local / "tree/inner");
        std::ofstream(local / "a file.txt") << "alpha";
        std::ofstream(local / "tree/inner/b.bin") << std::string(70000, 'b');
        window.Local().SetFolder(local.string());
    }

    void Connect() {
        window.Sites().Model().SelectOnly(0);
        window.ConnectAction()->trigger();
    }
    // Connected, with no transfer or command running.
    bool Idle() {
        return testsupport::ProcessEventsUntil([&] {
            return window.Session().SessionState() == session::SessionState::Browsing &&
                   !window.Session().TransferBusy() && window.Session().EngineReady();
        });
    }
    template <class T = QAction>
    T* Find(const char* name) {
        return window.findChild<T*>(name);
    }

    // Selects the local entries named, in pane order.
    void SelectLocal(const std::vector<std::string>& names) {
        std::vector<int> rows;
        const auto& items = window.Local().Items();
        for (int row = 0; row < static_cast<int>(items.size()); ++row) {
            if (std::find(names.begin(), names.end(), items[row].caption) != names.end())
                rows.push_back(row);
        }
        window.Local().SetSelection(rows);
    }
    void Drop(QTreeView* onto, const QByteArray& from) {
        QMimeData data;
        data.setData(QStringLiteral("application/x-corvane-pane"), from);
        Deliver(onto, data);
    }

    // Files dragged in from a file manager.
    void DropUrls(QTreeView* onto, const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        Deliver(onto, data);
    }
    void Deliver(QTreeView* onto, const QMimeData& data) {
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(onto->viewport(), &enter);
        dropAccepted = enter.isAccepted();
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(onto->viewport(), &drop);
        QCoreApplication::processEvents();
    }
    static QUrl File(const fs::path& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path.string()));
    }

    testsupport::RealFtpServer server;
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    ScriptedPrompts prompts;
    MainWindow window{folder, &prompts};
    fs::path local = fs::path(folder) / "local files";
    bool dropAccepted = false;
};

// Then files dragged in from a file manager go up, the pane's own selection
// not; last the remote commands follow the selection and delete the tree.
TEST_F(TransferCommandsTest, ASelectionMovesBothWaysThenIsDeletedOnTheServer) {
    QAction* upload = Find("UploadSelectedFiles1");
    QAction* download = Find("DownloadSelectedFiles1");
    auto* makeDir = Find<QPushButton>("bbMakeDir");
    auto* remove = Find<QPushButton>("bbDelete");
    QAction* attributes = Find("FileAttributes2");
    ASSERT_TRUE(upload && download && makeDir && remove && attributes);
    SelectLocal({"a file.txt"});
    EXPECT_FALSE(upload->isEnabled()) << "not connected";
    EXPECT_TRUE(makeDir->isEnabled()) << "the site list's own command";
    EXPECT_FALSE(Find("Refresh3")->isEnabled());
    const fs::path elsewhere = fs::path(folder) / "elsewhere";
    fs::create_directories(elsewhere / "docs");
    std::ofstream(elsewhere / "dropped.txt") << "from the desktop";
    std::ofstream(elsewhere / "docs/inner.txt") << "inner";
    DropUrls(window.RemoteList(), {File(elsewhere / "dropped.txt")});
    EXPECT_FALSE(dropAccepted) << "not connected";

    Connect();
    ASSERT_TRUE(Idle());
    SelectLocal({"a file.txt", "tree"});
    EXPECT_TRUE(upload->isEnabled());
    EXPECT_FALSE(download->isEnabled()) << "nothing selected on the right";

    upload->trigger();
    EXPECT_FALSE(upload->isEnabled()) << "one queue at a time";
    ASSERT_TRUE(Idle());
    const fs::path root = server.root();
    EXPECT_EQ(ReadFile(root / "a file.txt"), "alpha");
    EXPECT_EQ(ReadFile(root / "tree/inner/b.bin"), std::string(70000, 'b'));

    // Back the other way, into an empty folder, by a drop onto the local pane.
    const fs::path back = fs::path(folder) / "back";
    fs::create_directories(back);
    window.Local().SetFolder(back.string());
    std::vector<int> rows;
    const auto& items = window.Session().RemoteView().Items();
    for (int row = 0; row < static_cast<int>(items.size()); ++row)
        rows.push_back(row);
    window.Session().RemoteView().SetSelection(rows);
    EXPECT_TRUE(download->isEnabled());
    Drop(window.LocalList(), "remote");
    EXPECT_TRUE(dropAccepted);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(ReadFile(back / "a file.txt"), "alpha");
    EXPECT_EQ(ReadFile(back / "tree/inner/b.bin"), std::string(70000, 'b'));

    Drop(window.LocalList(), "local");
    EXPECT_FALSE(dropAccepted) << "a pane's own selection is not dropped on itself";

    DropUrls(window.LocalList(), {File(elsewhere / "dropped.txt")});
    EXPECT_FALSE(dropAccepted) << "the local pane takes no files from outside";
    fs::remove(root / "a file.txt");
    window.Local().SetSelection({0, 1});
    DropUrls(window.RemoteList(), {File(elsewhere / "dropped.txt"), File(elsewhere / "docs")});
    EXPECT_TRUE(dropAccepted);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(ReadFile(root / "dropped.txt"), "from the desktop");
    EXPECT_EQ(ReadFile(root / "docs/inner.txt"), "inner");
    EXPECT_FALSE(fs::exists(root / "a file.txt")) << "not the local pane's files";

    remote::RemoteView& pane = window.Session().RemoteView();
    pane.SetSelection({});
    EXPECT_FALSE(remove->isEnabled()) << "nothing selected";
    EXPECT_FALSE(attributes->isEnabled());
    const auto& listed = pane.Items();
    const auto tree =
        std::find_if(listed.begin(), listed.end(),
                     [](const remote::RemoteItem& item) { return item.caption == "tree"; });
    ASSERT_NE(tree, listed.end());
    pane.SetSelection({static_cast<int>(tree - listed.begin())});
    EXPECT_TRUE(remove->isEnabled());
    prompts.yesNo.push_back(true);
    remove->click();
    EXPECT_FALSE(makeDir->isEnabled()) << "one chain at a time";
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(fs::exists(root / "tree"));
    EXPECT_TRUE(makeDir->isEnabled()) << "free again once the last listing is in";

    Find("CustomCommand3")->trigger();
    EXPECT_TRUE(Find("CustomCommand2")->isChecked()) << "both twins carry the mark";
    EXPECT_FALSE(window.findChild<QWidget*>("pnlCmd")->isHidden());
    prompts.yesNo.push_back(true);
    window.close();
    EXPECT_EQ(ReadFile(fs::path(folder) / transfer::CommandsFileName), "\r\n\r\n")
        << "saved at shutdown";
}

TEST(DroppedFiles, OnlyLocalFilesOfOneFolderAreTaken) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    fs::create_directories(root / "one/sub");
    fs::create_directories(root / "two");
    std::ofstream(root / "one/a b.txt") << "12345";
    std::ofstream(root / "two/c.txt") << "c";
    const auto file = [&](const char* relative) {
        return QUrl::fromLocalFile(QString::fromStdString((root / relative).string()));
    };
    const struct {
        const char* name;
        QList<QUrl> urls;
        std::string folder;  // relative to root; empty: refused
        std::string entries; // "name/size" or "name/" for a folder, joined by ","
    } rows[] = {
        {"a file and a folder", {file("one/a b.txt"), file("one/sub")}, "one", "a b.txt/5,sub/"},
        {"a folder's URL ending in /",
         {QUrl(QStringLiteral("file://") + QString::fromStdString((root / "one/sub/").string()))},
         "one",
         "sub/"},
        {"a remote URL is refused",
         {file("one/a b.txt"), QUrl(QStringLiteral("http://x/y"))},
         "",
         ""},
        {"two folders are refused", {file("one/a b.txt"), file("two/c.txt")}, "", ""},
        {"a file gone meanwhile is refused", {file("one/gone.txt")}, "", ""},
        {"the root has no name", {QUrl(QStringLiteral("file:///"))}, "", ""},
        {"nothing", {}, "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const DroppedFiles dropped = LocalFilesOfDrop(row.urls);
        if (row.folder.empty()) {
            EXPECT_FALSE(dropped.Error.empty());
            continue;
        }
        EXPECT_EQ(dropped.Error, "");
        EXPECT_EQ(dropped.Folder, (root / row.folder).string());
        std::string entries;
        for (const transfer::SelectedEntry& entry : dropped.Entries)
            entries += (entries.empty() ? "" : ",") + entry.Name + "/" + entry.Size;
        EXPECT_EQ(entries, row.entries);
    }
}

} // namespace
