#include "prefs/Options.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/WidgetTestSupport.h"
#include "sites/SiteFolder.h"
#include "sites/SiteListController.h"
#include "sites/SiteList_widgets.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QTest>

namespace {

std::string SiteLine(const std::string& name) {
    return FormatSiteLine({.Name = name, .Server = "host"});
}

class SiteViewTest : public testing::Test {
protected:
    void SetUp() override {
        MakeDirectories(folder.file("Folder/"));
        WriteFile(folder.file("Folder/ftplist.TXT"), SiteLine("inner") + "\r\n");
        WriteFile(folder.file("ftplist.TXT"),
                  SiteLine("caf\xE9") + "\r\nDIR=Folder\r\n" + SiteLine("site") + "\r\n");
        controller.LoadSiteFolder("");
        view.resize(300, 400);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    QStringList Shown() const {
        QStringList captions;
        for (int row = 0; row < items()->rowCount(); ++row)
            captions.append(items()->index(row).data().toString());
        return captions;
    }
    QStringList PathList() const {
        QStringList entries;
        for (int i = 0; i < view.PathList()->count(); ++i)
            entries.append(view.PathList()->itemText(i));
        return entries;
    }
    SiteListItemModel* items() const { return view.ItemModel(); }
    QPoint Center(int row) const {
        return view.ListView()->visualRect(items()->index(row)).center();
    }
    void DoubleClick(QPoint at) {
        QTest::mouseDClick(view.ListView()->viewport(), Qt::LeftButton, {}, at);
    }

    TempFolder folder;
    ScriptedPrompts prompts;
    Options options;
    SiteListController controller{folder.path(), prompts, options};
    SiteListView view{controller};
};

TEST_F(SiteViewTest, ASiteThatRequiresTlsShowsALock) {
    const struct {
        const char* encryption;
        bool locked;
    } rows[] = {{"", false}, {"auto", false}, {"explicit", true}};
    std::string lines;
    for (std::size_t i = 0; i < std::size(rows); ++i) // named so any sort keeps the order
        lines += SiteLine(std::to_string(i)) + "Encryption=" + rows[i].encryption + ";\r\n";
    WriteFile(folder.file("ftplist.TXT"), lines);
    controller.LoadSiteFolder("");
    const auto image = [this](int row) {
        return items()->index(row).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    };
    for (int row = 0; row < static_cast<int>(std::size(rows)); ++row) {
        SCOPED_TRACE(rows[row].encryption);
        EXPECT_EQ(image(row) != image(0), rows[row].locked);
        EXPECT_EQ(items()->index(row).data(Qt::ToolTipRole).toString().contains("TLS"),
                  rows[row].locked);
    }
}

TEST_F(SiteViewTest, DoubleClicksChooseSitesMakeNewOnesOpenFoldersAndGoUp) {
    std::vector<Site> chosen;
    QObject::connect(&controller, &SiteListController::SiteChosen,
                     [&chosen](const Site& site) { chosen.push_back(site); });
    DoubleClick(Center(2));
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0].Name, "site");

    prompts.sites.push_back({[](SiteForm& form) {
        form.Name = "added";
        form.Server = "h";
    }});
    DoubleClick(QPoint(150, 380)); // empty space
    EXPECT_EQ(Shown(), (QStringList{"Folder", "added", QStringLiteral("caf\u00e9"), "site"}));
    EXPECT_EQ(view.ListView()->selectionModel()->selectedRows(),
              QModelIndexList{items()->index(1)});

    DoubleClick(Center(0));
    EXPECT_EQ(PathList(), (QStringList{"SERVER LIST ...", "folder"}));
    DoubleClick(Center(0)); // ".."
    EXPECT_EQ(view.PathList()->currentIndex(), 0);
    emit view.PathList()->activated(1);
    EXPECT_EQ(Shown(), (QStringList{"..", "inner"}));
    EXPECT_EQ(chosen.size(), 1u) << "folders are not chosen";
}

TEST_F(SiteViewTest, SelectionIsSharedWithTheModel) {
    QTest::mouseClick(view.ListView()->viewport(), Qt::LeftButton, {}, Center(2));
    QTest::mouseClick(view.ListView()->viewport(), Qt::LeftButton, Qt::ControlModifier, Center(0));
    EXPECT_EQ(controller.Model().SelectedRows(), (std::vector<int>{0, 2}));
    prompts.yesNo.push_back(true);
    view.PopupMenu()->findChild<QAction*>("pmSiteDelete")->trigger();
    EXPECT_EQ(Shown(), QStringList{QStringLiteral("caf\u00e9")});
    EXPECT_EQ(ReadFile(folder.file("ftplist.TXT")), SiteLine("caf\xE9") + "\r\n");
}

TEST_F(SiteViewTest, ASiteDroppedOnAFolderMovesThere) {
    EXPECT_EQ(Shown(), (QStringList{"Folder", QStringLiteral("caf\u00e9"), "site"}));
    EXPECT_TRUE(items()->flags(items()->index(0)) & Qt::ItemIsDropEnabled);
    EXPECT_TRUE(items()->flags(items()->index(2)) & Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> data(items()->mimeData({items()->index(2)}));
    const QModelIndex folderIndex = items()->index(0);
    EXPECT_FALSE(items()->canDropMimeData(data.get(), Qt::MoveAction, 1, 0, {}))
        << "between entries";
    EXPECT_FALSE(items()->canDropMimeData(data.get(), Qt::MoveAction, -1, -1, items()->index(1)))
        << "onto a site";
    std::unique_ptr<QMimeData> folderDrag(items()->mimeData({folderIndex}));
    EXPECT_FALSE(items()->canDropMimeData(folderDrag.get(), Qt::MoveAction, -1, -1, folderIndex));
    QMimeData foreign;
    foreign.setData(SiteListItemModel::MimeType, "12345\n2");
    EXPECT_FALSE(items()->canDropMimeData(&foreign, Qt::MoveAction, -1, -1, folderIndex));

    ASSERT_TRUE(items()->dropMimeData(data.get(), Qt::MoveAction, -1, -1, folderIndex));
    EXPECT_EQ(Shown(), (QStringList{"Folder", QStringLiteral("caf\u00e9")}));
    EXPECT_EQ(ReadFile(folder.file("Folder/ftplist.TXT")),
              SiteLine("inner") + "\r\n" + SiteLine("site") + "\r\n");
}

} // namespace
