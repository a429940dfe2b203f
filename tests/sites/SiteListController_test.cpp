#include "prefs/Options.h"
#include "prefs/PrefsTestSupport.h"
#include "sites/SiteFolder.h"
#include "sites/SiteListController.h"
#include "support/ScriptedPrompts.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Lines = std::vector<std::string>;

std::string SiteLine(const std::string& name, const std::string& server = "host") {
    return FormatSiteLine({.Name = name, .Server = server});
}

std::string ListFile(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

class SiteListTest : public testing::Test {
protected:
    std::string List(const std::string& folderPath = "") const {
        return ReadFile(folder.file(folderPath + SiteListFileName));
    }
    void WriteList(const std::string& folderPath, const Lines& lines) {
        MakeDirectories(folder.file(folderPath));
        WriteFile(folder.file(folderPath + SiteListFileName), ListFile(lines));
    }
    // The captions of the view, in view order.
    Lines Captions() const {
        Lines captions;
        for (const SiteEntry& entry : model.Entries())
            captions.push_back(entry.Name);
        return captions;
    }
    int Row(const std::string& caption) const {
        for (int row = 0; row < model.Count(); ++row) {
            if (model.Entry(row).Name == caption)
                return row;
        }
        ADD_FAILURE() << "no entry " << caption;
        return -1;
    }
    void Select(const std::string& caption) { model.SelectOnly(Row(caption)); }
    // Saves a site in the properties window with these fields.
    void AnswerSite(std::string name, std::string server) {
        prompts.sites.push_back({[name, server](SiteForm& form) {
            form.Name = name;
            form.Server = server;
        }});
    }

    TempFolder folder;
    ScriptedPrompts prompts;
    Options options;
    SiteListController controller{folder.path(), prompts, options};
    SiteListModel& model = controller.Model();
};

// Folder lines that would leave the program folder are no entries.
TEST_F(SiteListTest, EntriesSortByKindThenNameWithoutRegardToCase) {
    WriteList("", {SiteLine("beta"), "DIR=Zulu", SiteLine("Alpha"), "dir=apple", SiteLine("gamma"),
                   "DIR=Mango", "DIR=..", "DIR=a/b", "DIR=", "DIR=."});
    ASSERT_TRUE(controller.LoadSiteFolder(""));
    EXPECT_EQ(Captions(), (Lines{"apple", "Mango", "Zulu", "Alpha", "beta", "gamma"}));
    EXPECT_FALSE(controller.LoadSiteFolder("Zulu/../../"));
    EXPECT_EQ(controller.FolderPath(), "");

    controller.SetSortKey(-1);
    EXPECT_EQ(Captions(), (Lines{"Zulu", "Mango", "apple", "gamma", "beta", "Alpha"}));

    WriteList("Zulu/", {SiteLine("b"), "DIR=x"});
    controller.LoadSiteFolder("Zulu/");
    EXPECT_EQ(Captions(), (Lines{"..", "x", "b"})) << "the up entry comes first in any direction";
}

// A file a newer version or a person wrote: lines and fields this version does
// not read stay, verbatim, where they stood.
TEST_F(SiteListTest, LinesAndFieldsThisVersionDoesNotReadAreKept) {
    std::string tls = SiteLine("b");
    tls.insert(tls.find("Port="), "Tls=explicit;");
    tls += "Cert=AB:CD;";
    const Lines top{"# sites of the team, kept by hand", "DIR=../outside"};
    const Lines beforeA{"", "; the old server, off for now", ";" + SiteLine("old")};
    const Lines bottom{"LINK=../shared/", "# end"};
    Lines file = top;
    file.push_back("DIR=archive");
    file.insert(file.end(), beforeA.begin(), beforeA.end());
    file.push_back(SiteLine("a"));
    file.insert(file.end(), {"# b speaks TLS", tls});
    file.insert(file.end(), bottom.begin(), bottom.end());
    WriteList("", file);
    ASSERT_TRUE(controller.LoadSiteFolder(""));
    EXPECT_EQ(Captions(), (Lines{"archive", "a", "b"})) << "no comment became a nameless site";
    ASSERT_TRUE(controller.SaveSiteFolder());
    EXPECT_EQ(List(), ListFile(file));

    // The top stays on top; other lines move with the entry they preceded.
    controller.SetSortKey(-1);
    ASSERT_TRUE(controller.SaveSiteFolder());
    Lines descending = top;
    descending.insert(descending.end(), {"DIR=archive", "# b speaks TLS", tls});
    descending.insert(descending.end(), beforeA.begin(), beforeA.end());
    descending.push_back(SiteLine("a"));
    descending.insert(descending.end(), bottom.begin(), bottom.end());
    EXPECT_EQ(List(), ListFile(descending));
    controller.SetSortKey(1);

    // An edited site keeps its unknown fields.
    Select("b");
    AnswerSite("b", "other");
    controller.Properties();
    const std::string edited = FormatSiteLine(model.Entry(Row("b")).Site);
    EXPECT_NE(edited.find("Server=other;Tls=explicit;Port="), std::string::npos) << edited;
    EXPECT_TRUE(edited.ends_with(";Cert=AB:CD;")) << edited;

    // The lines of a removed entry stay, before the entry that followed it.
    Select("a");
    prompts.yesNo.push_back(true);
    controller.Delete();
    Lines left = top;
    left.push_back("DIR=archive");
    left.insert(left.end(), beforeA.begin(), beforeA.end());
    left.insert(left.end(), {"# b speaks TLS", edited});
    left.insert(left.end(), bottom.begin(), bottom.end());
    EXPECT_EQ(List(), ListFile(left));
}

TEST_F(SiteListTest, ThePathListFollowsTheOpenFolderInLowerCase) {
    const auto path = [this] { return model.PathList(); };
    controller.LoadSiteFolder("Work/Clients/");
    EXPECT_EQ(path(), (Lines{"SERVER LIST ...", "work", "clients"}));
    EXPECT_EQ(model.PathIndex(), 2);

    // Names compare without regard to case: nothing after them is dropped.
    controller.LoadSiteFolder("WORK/");
    EXPECT_EQ(path(), (Lines{"SERVER LIST ...", "work", "clients"}));
    controller.LoadSiteFolder("work/Other/");
    EXPECT_EQ(path(), (Lines{"SERVER LIST ...", "work", "other"}));
}

TEST_F(SiteListTest, DeleteRemovesTheEntriesButNotTheDirectories) {
    WriteList("old/", {SiteLine("kept")});
    WriteList("", {"DIR=old", SiteLine("a"), SiteLine("b"), SiteLine("c")});
    controller.LoadSiteFolder("");
    // A stored site is lost only when the user says so.
    Select("a");
    prompts.yesNo.push_back(false);
    controller.Delete();
    EXPECT_EQ(Captions(), (Lines{"old", "a", "b", "c"}));
    model.SetSelectedRows({Row("old"), Row("a"), Row("c")});
    prompts.yesNo.push_back(true);
    controller.Delete();
    EXPECT_EQ(Captions(), Lines{"b"});
    ASSERT_EQ(prompts.questions.size(), 2u);
    EXPECT_EQ(prompts.questions[0].text, "Delete \"a\" from the site list?");
    EXPECT_EQ(prompts.questions[1].text, "Delete the 3 selected entries from the site list?");
    EXPECT_EQ(List(), ListFile({SiteLine("b")}));
    EXPECT_TRUE(FileExists(folder.file("old/ftplist.TXT")));

    controller.LoadSiteFolder("old/");
    model.SelectOnly(0);
    prompts.questions.clear();
    controller.Delete();
    EXPECT_EQ(Captions(), (Lines{"..", "kept"})) << "the up entry is not in the file";
    EXPECT_TRUE(prompts.questions.empty()) << "nothing to delete, nothing asked";
}

TEST_F(SiteListTest, MakeFolderListsANewFolderOnceAndRefusesAFileOrAnEscape) {
    WriteList("", {"DIR=Work", SiteLine("s")});
    controller.LoadSiteFolder("");
    prompts.inputs.push_back("work");
    controller.MakeFolder();
    EXPECT_EQ(Captions(), (Lines{"Work", "s"}));
    EXPECT_EQ(model.SelectedRows(), std::vector<int>{0});

    // Inside a sub-folder; a file where the directory would go.
    controller.LoadSiteFolder("a/");
    prompts.inputs.push_back("b");
    controller.MakeFolder();
    EXPECT_TRUE(IsExistingDirectory(folder.file("a/b")));
    EXPECT_EQ(List("a/"), "DIR=b\r\n");

    WriteFile(folder.file("a/file"), "");
    prompts.inputs.push_back("file");
    controller.MakeFolder();
    prompts.inputs.push_back("../escape");
    controller.MakeFolder();
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, "Can Not Create the Directory :a/file");
    EXPECT_EQ(prompts.messages[1].text, "Can Not Create the Directory :a/../escape");
    EXPECT_FALSE(FileExists(folder.file("escape")));
    EXPECT_EQ(Captions(), (Lines{"..", "b"}));
}

// The directory and the path list's entry follow the new name.
TEST_F(SiteListTest, RenameFolderRenamesTheDirectory) {
    WriteList("Old/", {SiteLine("inside")});
    WriteList("", {"DIR=Old", "DIR=other", SiteLine("s")});
    MakeDirectories(folder.file("other/"));
    controller.LoadSiteFolder("Old/");
    controller.ChoosePathEntry(0);
    Select("Old");
    prompts.inputs.push_back("New");
    controller.RenameFolder();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].Text, "Old");
    EXPECT_EQ(Captions(), (Lines{"New", "other", "s"}));
    EXPECT_EQ(List(), ListFile({"DIR=New", "DIR=other", SiteLine("s")}));
    EXPECT_EQ(List("New/"), ListFile({SiteLine("inside")}));
    EXPECT_FALSE(FileExists(folder.file("Old")));
    EXPECT_EQ(model.PathList(), (Lines{"SERVER LIST ...", "new"}));

    // Only the case changes.
    prompts.inputs.push_back("NEW");
    controller.RenameFolder();
    EXPECT_TRUE(IsExistingDirectory(folder.file("NEW")));
    EXPECT_EQ(model.Entry(0).Name, "NEW");

    // Failures change nothing and say nothing.
    const std::string before = List();
    struct Row {
        const char* name;
        std::optional<std::string> typed;
    } rows[] = {{"an existing directory", "Other"},
                {"a directory made meanwhile", "made"},
                {"a name that leaves the folder", "../renamed"},
                {"cancelled", std::nullopt}};
    MakeDirectories(folder.file("made/"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        prompts.inputs.push_back(row.typed);
        controller.RenameFolder();
        EXPECT_EQ(model.Entry(0).Name, "NEW");
        EXPECT_EQ(List(), before);
        EXPECT_EQ(List("NEW/"), ListFile({SiteLine("inside")}));
    }
    EXPECT_TRUE(prompts.messages.empty());

    // No directory behind the entry: the rename fails.
    Select("other");
    ::rmdir(folder.file("other").c_str());
    prompts.inputs.push_back("gone");
    controller.RenameFolder();
    EXPECT_EQ(Captions(), (Lines{"NEW", "other", "s"}));
}

TEST_F(SiteListTest, MovingASiteIntoAFolderAppendsItToItsListOrChangesNothing) {
    WriteList("", {"DIR=Archive", SiteLine("moving"), SiteLine("staying")});
    controller.LoadSiteFolder("");
    ASSERT_TRUE(controller.MoveSiteToFolder(Row("moving"), Row("Archive")));
    EXPECT_EQ(List("Archive/"), ListFile({SiteLine("moving")}));
    EXPECT_EQ(Captions(), (Lines{"Archive", "staying"}));
    EXPECT_EQ(List(), ListFile({"DIR=Archive", SiteLine("staying")}));

    // Appended after what the folder holds, its lines kept as they are.
    WriteFile(folder.file("Archive/ftplist.TXT"), "DIR=x\nName=old;");
    ASSERT_TRUE(controller.MoveSiteToFolder(Row("staying"), Row("Archive")));
    EXPECT_EQ(List("Archive/"), "DIR=x\nName=old;\r\n" + SiteLine("staying") + "\r\n");

    // A failed move changes nothing.
    WriteList("", {"DIR=blocked", SiteLine("s"), SiteLine("t")});
    WriteFile(folder.file("blocked"), "a file where the folder would be");
    controller.LoadSiteFolder("");
    const std::string before = List();
    EXPECT_FALSE(controller.MoveSiteToFolder(Row("s"), Row("blocked")));
    EXPECT_FALSE(controller.MoveSiteToFolder(Row("s"), Row("t"))) << "only into a folder";
    EXPECT_FALSE(controller.MoveSiteToFolder(Row("blocked"), Row("blocked")))
        << "only a site moves";
    EXPECT_FALSE(controller.MoveSiteToFolder(7, Row("blocked")));
    EXPECT_EQ(Captions(), (Lines{"blocked", "s", "t"}));
    EXPECT_EQ(List(), before);
}

// A new site starts from the defaults, Properties on nothing from an empty record.
TEST_F(SiteListTest, SitesAreAddedAndEditedInThePropertiesWindow) {
    options.MailAno = true;
    options.Anonymous = "me@example.org";
    WriteList("", {"DIR=f", SiteLine("b")});
    controller.LoadSiteFolder("");
    AnswerSite("Alpha", "host");
    controller.NewSite();
    EXPECT_EQ(prompts.shownSites.at(0).EMail, "me@example.org");
    EXPECT_EQ(Captions(), (Lines{"f", "Alpha", "b"}));
    prompts.sites.push_back({nullptr, false});
    controller.NewSite();
    EXPECT_EQ(model.Count(), 3) << "cancelled";

    Select("b");
    AnswerSite("a", "host");
    controller.Properties();
    EXPECT_EQ(prompts.shownSites.at(2).Name, "b");
    EXPECT_EQ(Captions(), (Lines{"f", "Alpha", "a"})) << "the entry keeps its row";
    const std::string before = List();
    EXPECT_EQ(before, ListFile({"DIR=f", FormatSiteLine(model.Entry(1).Site),
                                FormatSiteLine(model.Entry(2).Site)}));
    prompts.sites.push_back({[](SiteForm& form) { form.Server = "changed"; }, false});
    controller.Properties();
    EXPECT_EQ(List(), before) << "cancelled";
    Select("f");
    controller.Properties();
    EXPECT_EQ(prompts.shownSites.size(), 4u) << "a folder opens nothing";

    model.SetSelectedRows({});
    AnswerSite("x", "h");
    controller.Properties();
    EXPECT_EQ(List().substr(List().rfind("Name=x")),
              "Name=x;Server=h;Anonymous=0;SavePassword=0;Pasv=0;Answer=0957681;"
              "CheckPSW=0;CheckVHost=0;\r\n");
}

TEST_F(SiteListTest, AListThatCannotBeReadIsNeverReplacedAndAFailedWriteIsReported) {
    WriteFile(folder.file("blocked"), "a file");
    controller.LoadSiteFolder("blocked/");
    AnswerSite("s", "h");
    controller.NewSite();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Can not create the directory:" + folder.file("blocked/"));
    EXPECT_EQ(Captions(), (Lines{"..", "s"})) << "the view keeps its entries";
    EXPECT_FALSE(controller.SaveSiteFolder());
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads and writes every file";
    prompts.messages.clear();
    WriteList("", {SiteLine("precious")});
    ::chmod(folder.file(SiteListFileName).c_str(), 0200);
    controller.LoadSiteFolder("");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Can not read the file:" + folder.file("ftplist.TXT"));
    AnswerSite("new", "h");
    controller.NewSite();
    EXPECT_EQ(prompts.messages.size(), 2u);
    ::chmod(folder.file(SiteListFileName).c_str(), 0600);
    EXPECT_EQ(List(), ListFile({SiteLine("precious")}));

    ::unlink(folder.file(SiteListFileName).c_str());
    controller.LoadSiteFolder("");
    ::chmod(folder.path().c_str(), 0500);
    AnswerSite("s", "h");
    controller.NewSite();
    ::chmod(folder.path().c_str(), 0700);
    ASSERT_EQ(prompts.messages.size(), 3u);
    EXPECT_EQ(prompts.messages[2].text, "Can not write the file:" + folder.file("ftplist.TXT"));
}

SiteEntry SiteNamed(const std::string& name) {
    return EntryForSite({.Name = name});
}

QList<QVariant> Range(int first, int last) {
    return {first, last};
}

// The view follows these signals; a wrong range shows the wrong rows.
TEST(SiteListModelTest, ChangesAreAnnouncedBeforeAndAfter) {
    SiteListModel model;
    QSignalSpy reset(&model, &SiteListModel::WasReset);
    QSignalSpy aboutToInsert(&model, &SiteListModel::AboutToInsert);
    QSignalSpy inserted(&model, &SiteListModel::Inserted);
    QSignalSpy aboutToRemove(&model, &SiteListModel::AboutToRemove);
    QSignalSpy removed(&model, &SiteListModel::Removed);
    QSignalSpy changed(&model, &SiteListModel::Changed);

    model.Reset({SiteNamed("b"), FolderEntry("z"), SiteNamed("D"), UpEntry()});
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.Insert(SiteNamed("c")), 3);
    EXPECT_EQ(aboutToInsert.takeFirst(), Range(3, 3));
    EXPECT_EQ(inserted.takeFirst(), Range(3, 3));

    model.SetSelectedRows({2, 4});
    model.Remove(3);
    EXPECT_EQ(aboutToRemove.takeFirst(), Range(3, 3));
    EXPECT_EQ(removed.takeFirst(), Range(3, 3));
    EXPECT_EQ(model.SelectedRows(), (std::vector<int>{2, 3})) << "rows after it move up";

    model.Rename(2, "y");
    EXPECT_EQ(changed.count(), 1);
}

} // namespace
