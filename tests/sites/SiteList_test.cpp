#include "sites/SiteList.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

SiteEntry SiteNamed(const std::string& name) {
    Site site;
    site.Name = name;
    return EntryForSite(site);
}

QList<QVariant> Range(int first, int last) {
    return {first, last};
}

TEST(SiteListModelTest, ChangesAreAnnouncedBeforeAndAfter) {
    SiteListModel model;
    QSignalSpy aboutToReset(&model, &SiteListModel::AboutToReset);
    QSignalSpy reset(&model, &SiteListModel::WasReset);
    QSignalSpy aboutToInsert(&model, &SiteListModel::AboutToInsert);
    QSignalSpy inserted(&model, &SiteListModel::Inserted);
    QSignalSpy aboutToRemove(&model, &SiteListModel::AboutToRemove);
    QSignalSpy removed(&model, &SiteListModel::Removed);
    QSignalSpy changed(&model, &SiteListModel::Changed);
    QSignalSpy selection(&model, &SiteListModel::SelectionChanged);

    model.Reset({SiteNamed("b"), FolderEntry("z"), SiteNamed("D"), UpEntry()});
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(reset.count(), 1);
    ASSERT_EQ(model.Count(), 4);
    EXPECT_EQ(model.Entry(0).Name, "..");
    EXPECT_EQ(model.Entry(1).Name, "z");

    // A new entry goes to its place in the order.
    EXPECT_EQ(model.Insert(SiteNamed("c")), 3);
    EXPECT_EQ(aboutToInsert.takeFirst(), Range(3, 3));
    EXPECT_EQ(inserted.takeFirst(), Range(3, 3));
    EXPECT_EQ(model.Insert(FolderEntry("A")), 1);
    EXPECT_EQ(inserted.takeFirst(), Range(1, 1));

    selection.clear();
    model.SetSelectedRows({2, 4});
    model.SetSelectedRows({4, 2});
    EXPECT_EQ(selection.count(), 1) << "only a change is announced";
    EXPECT_EQ(model.Selected(), 2);

    model.Remove(4);
    EXPECT_EQ(aboutToRemove.takeFirst(), Range(4, 4));
    EXPECT_EQ(removed.takeFirst(), Range(4, 4));
    EXPECT_EQ(selection.count(), 2);
    EXPECT_EQ(model.SelectedRows(), std::vector<int>{2});

    model.Rename(2, "y");
    Site renamed;
    renamed.Name = "e";
    model.SetSite(3, renamed);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(model.Entry(3).Name, "e");
    EXPECT_EQ(model.Entry(3).Site.Name, "e");
}

TEST(SiteListModelTest, ThePathListIsBroughtInLine) {
    SiteListModel model;
    QSignalSpy path(&model, &SiteListModel::PathChanged);
    using L = std::vector<std::string>;
    model.BringPathInLine({"A", " B "});
    EXPECT_EQ(model.PathList(), (L{"SERVER LIST ...", "a", "b"}));
    model.BringPathInLine({"a"});
    EXPECT_EQ(model.PathList(), (L{"SERVER LIST ...", "a", "b"}));
    EXPECT_EQ(model.PathIndex(), 1);
    EXPECT_EQ(model.PathNames(2), (L{"a", "b"}));
    model.RenameNextPathEntry("B", "C");
    EXPECT_EQ(model.PathNames(2), (L{"a", "c"}));
    model.RenameNextPathEntry("x", "y");
    model.BringPathInLine({"a", "d", "e"});
    EXPECT_EQ(model.PathList(), (L{"SERVER LIST ...", "a", "d", "e"}));
    EXPECT_EQ(path.count(), 4);
}

} // namespace
