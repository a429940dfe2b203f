#include "local/LocalPane.h"
#include "support/ScriptedPrompts.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace local;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

void WriteFile(const fs::path& path, std::size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

Names CaptionsOf(const LocalPane& pane) {
    Names captions;
    for (const LocalItem& item : pane.Items())
        captions.push_back(item.caption);
    return captions;
}

class LocalPaneTest : public testing::Test {
protected:
    LocalPaneTest() : pane([this](const std::string& line) { log.push_back(line); }) {}

    std::string Path(const std::string& name) const { return root + "/" + name; }
    Names Captions() const { return CaptionsOf(pane); }
    int Row(const std::string& caption) const {
        const Names captions = Captions();
        const auto it = std::find(captions.begin(), captions.end(), caption);
        EXPECT_NE(it, captions.end()) << caption;
        return static_cast<int>(it - captions.begin());
    }
    void SelectNames(const Names& names) {
        std::vector<int> rows;
        for (const std::string& name : names)
            rows.push_back(Row(name));
        pane.SetSelection(rows);
    }

    QTemporaryDir dir;
    std::string root = dir.path().toStdString();
    Names log;
    ScriptedPrompts prompts;
    LocalPane pane;
};

TEST_F(LocalPaneTest, ListingFilterAndSortKeyTable) {
    for (const char* name : {"readme.txt", "B.TXT", "notes.txt.bak", "plain"})
        WriteFile(Path(name), 10);
    WriteFile(Path("big.bin"), 2048);
    fs::create_directory(Path("sub.dir"));
    fs::create_directory_symlink(Path("sub.dir"), Path("link"));
    struct Row {
        const char* name;
        const char* filter;
        std::vector<int> clicks;
        Names expected;
    };
    const Row rows[] = {
        {"folders-first-then-names",
         "*.*",
         {},
         {"link", "sub.dir", "B.TXT", "big.bin", "notes.txt.bak", "plain", "readme.txt"}},
        {"mask-keeps-folders-one-dot-any-case",
         "*.txt",
         {},
         {"link", "sub.dir", "B.TXT", "readme.txt"}},
        {"size-twice-largest-first",
         "*.*",
         {2, 2},
         {"link", "sub.dir", "big.bin", "B.TXT", "notes.txt.bak", "plain", "readme.txt"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LocalPane fresh([](const std::string&) {});
        fresh.SetFilter(row.filter);
        ASSERT_TRUE(fresh.SetFolder(root));
        for (const int column : row.clicks)
            fresh.SortByColumn(column);
        EXPECT_EQ(CaptionsOf(fresh), row.expected);
    }
}

TEST_F(LocalPaneTest, EntriesShowKindSizeAndNavigate) {
    fs::create_directories(Path("a/b"));
    // Sparse: a 5 GiB size without the disk space.
    std::ofstream(Path("a/huge.iso")).close();
    fs::resize_file(Path("a/huge.iso"), 5368709120LL);
    ASSERT_TRUE(pane.SetFolder(root + "/a/"));
    EXPECT_EQ(pane.Folder(), root + "/a");
    EXPECT_EQ(Captions(), (Names{"b", "huge.iso"}));
    EXPECT_EQ(pane.Items()[0].sizeText, "");
    EXPECT_EQ(pane.Items()[1].sizeText, "5368709120");
    EXPECT_EQ(pane.Items()[1].date.size(), 10u);
    EXPECT_EQ(pane.Items()[1].time.size(), 5u);

    pane.OpenEntry(Row("huge.iso")); // a file: stays; a folder opens in KeysTest
    EXPECT_EQ(pane.Folder(), root + "/a");
    pane.GoUpOneLevel();
    EXPECT_EQ(pane.Folder(), root);
    EXPECT_FALSE(pane.SetFolder(root + "/missing"));
    EXPECT_EQ(pane.Folder(), root);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].starts_with("Error " + root + "/missing: ")) << log[0];
}

TEST_F(LocalPaneTest, SelectionStripAndTransferSelectionTable) {
    WriteFile(Path("one"), 1024);
    WriteFile(Path("two"), 512);
    fs::create_directory(Path("dir"));
    std::ofstream(Path("huge")).close();
    fs::resize_file(Path("huge"), 3LL << 30);
    ASSERT_TRUE(pane.SetFolder(root));
    struct Row {
        const char* name;
        Names selected;
        std::string strip; // "" when hidden
    };
    const Row rows[] = {
        {"sum-beyond-2-GiB", {"huge", "one"}, "3221226496 byte(3145729.00 Kb) in 2 file(s)"},
        {"folder-only-hides", {"dir"}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SelectNames(row.selected);
        const LocalSummary summary = pane.Summary();
        EXPECT_EQ(summary.Visible() ? summary.Text() : "", row.strip);
    }
    SelectNames({"two", "dir"});
    EXPECT_EQ(pane.Selected(),
              (std::vector<SelectedEntry>{{"dir", true, "0"}, {"two", false, "512"}}));
    EXPECT_EQ(pane.SelectedFilePaths(), Names{Path("two")});
    EXPECT_EQ((LocalSummary{1536, 2}.Text(',')), "1536 byte(1,50 Kb) in 2 file(s)");
    EXPECT_EQ((LocalSummary{1023, 1}.Text()), "1023 byte(1.00 Kb) in 1 file(s)");
}

// All, Mask and Invert are walked through the windows (MainWindowTest's
// remote list, KeysTest's local list); Unselect only here.
TEST_F(LocalPaneTest, UnselectDropsMatchesOnlyAndTheMaskIsAsked) {
    std::vector<bool> selected = {true, true, true, false};
    ApplySelectCommand(SelectCommand::Unselect, {"a.txt", "b.TXT", "c.doc", "d"}, "*.txt",
                       selected);
    EXPECT_EQ(selected, (std::vector<bool>{false, false, true, false}));
    std::string filter = "*.*";
    prompts.inputs = {std::string("*.doc"), std::nullopt};
    EXPECT_TRUE(AskSelectMask(prompts, false, filter));
    EXPECT_EQ(filter, "*.doc");
    EXPECT_FALSE(AskSelectMask(prompts, true, filter));
    EXPECT_EQ(filter, "*.doc");
    EXPECT_EQ(prompts.asked[1].Text, "*.doc");
}

TEST_F(LocalPaneTest, DeleteAsksWithCountsAndNeverLeavesTheTree) {
    QTemporaryDir outsideDir;
    const fs::path outside = outsideDir.path().toStdString();
    WriteFile(outside / "keep", 5);
    fs::create_directories(Path("tree/empty"));
    WriteFile(Path("tree/f1"), 1);
    WriteFile(Path("tree/f2"), 1);
    fs::create_directory_symlink(outside, Path("tree/out"));
    fs::create_directory_symlink(outside, Path("toplink"));
    WriteFile(Path("other"), 1);
    ASSERT_TRUE(pane.SetFolder(root));

    SelectNames({"tree"});
    prompts.yesNo = {false, true};
    pane.Delete(prompts, root);
    EXPECT_TRUE(fs::exists(Path("tree/f1")));
    pane.Delete(prompts, root);
    ASSERT_EQ(prompts.questions.size(), 2u);
    // f1, f2 and the link; the folder and its empty sub-folder
    EXPECT_EQ(prompts.questions[0].text, "Do you wish to remove 3 file(s) and 2 folder(es)");
    EXPECT_FALSE(fs::exists(Path("tree")));
    EXPECT_TRUE(fs::exists(outside / "keep"));

    SelectNames({"toplink"});
    prompts.yesNo = {true};
    pane.Delete(prompts, root);
    EXPECT_EQ(prompts.questions.back().text, "Do you wish to remove 1 file(s)");
    EXPECT_FALSE(fs::is_symlink(Path("toplink")));
    EXPECT_TRUE(fs::exists(outside / "keep"));
    EXPECT_EQ(Captions(), Names{"other"});
    EXPECT_TRUE(log.empty());

    // A failure is logged and the rest goes on.
    DeletePlan plan{{Path("gone"), Path("other")}, {}};
    EXPECT_EQ(ExecuteDelete(plan, [this](const std::string& l) { log.push_back(l); }), 1);
    EXPECT_FALSE(fs::exists(Path("other")));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Error " + Path("gone") + ": No such file or directory");

    // Without a selection the tree's folder goes, and the pane moves up; the
    // tree's first row is never offered.
    fs::create_directories(Path("a/b"));
    ASSERT_TRUE(pane.SetFolder(Path("a/b")));
    prompts.yesNo = {true};
    pane.Delete(prompts, Path("a/b"));
    EXPECT_FALSE(fs::exists(Path("a/b")));
    EXPECT_EQ(pane.Folder(), Path("a"));
    pane.Delete(prompts, "/");
    EXPECT_EQ(prompts.questions.size(), 4u);
}

TEST_F(LocalPaneTest, RenameTable) {
    struct Row {
        const char* name;
        const char* typed; // nullopt-like: "" means Cancel
        std::vector<bool> answers;
        Names expected; // files afterwards
    };
    const Row rows[] = {
        {"cancel", "", {}, {"other.txt", "readme.txt"}},
        {"case-only-does-nothing", "README.TXT", {}, {"other.txt", "readme.txt"}},
        {"plain-rename", "new.txt", {}, {"new.txt", "other.txt"}},
        {"folder-part-dropped", "../x/new.txt", {}, {"new.txt", "other.txt"}},
        {"existing-no-keeps", "other.txt", {false}, {"other.txt", "readme.txt"}},
        {"existing-yes-replaces", "other.txt", {true}, {"other.txt"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir local;
        const std::string folder = local.path().toStdString();
        WriteFile(folder + "/readme.txt", 3);
        WriteFile(folder + "/other.txt", 7);
        ScriptedPrompts answers;
        answers.inputs = {row.typed[0] ? std::optional<std::string>(row.typed) : std::nullopt};
        answers.yesNo = {row.answers.begin(), row.answers.end()};
        LocalPane renamer([](const std::string&) {});
        ASSERT_TRUE(renamer.SetFolder(folder));
        renamer.Rename(answers, 1); // readme.txt
        EXPECT_EQ(CaptionsOf(renamer), row.expected);
        EXPECT_EQ(answers.asked.at(0).Text, "readme.txt");
        if (!row.answers.empty()) {
            EXPECT_EQ(answers.questions.at(0).text, "File already exists :other.txt\nRewrite?");
        }
        if (row.answers == std::vector<bool>{true}) {
            EXPECT_EQ(fs::file_size(folder + "/other.txt"), 3u);
        }
    }
}

TEST_F(LocalPaneTest, ChangeCaseRenamesInPlaceAndNeverOverwrites) {
    struct Row {
        const char* name;
        CaseMode mode;
        const char* before;
        const char* after;
    };
    const Row rows[] = {
        {"upper", CaseMode::Upper, "Read me.txt", "READ ME.TXT"},
        {"lower", CaseMode::Lower, "ReAD.TXT", "read.txt"},
        {"sentence", CaseMode::Sentence, "rEAD.TXT", "Read.txt"},
        {"ascii-only", CaseMode::Upper, "\xc3\xa6x", "\xc3\xa6X"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ChangeCase(row.before, row.mode), row.after);
    }
    WriteFile(Path("a.txt"), 1);
    WriteFile(Path("A.TXT"), 2);
    WriteFile(Path("b.txt"), 3);
    ASSERT_TRUE(pane.SetFolder(root));
    QSignalSpy changed(&pane, &LocalPane::ItemChanged);
    SelectNames({"a.txt", "b.txt"});
    pane.ChangeCaseOfSelected(CaseMode::Upper);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(pane.Items().at(2).caption, "B.TXT");
    EXPECT_TRUE(fs::exists(Path("B.TXT")));
    EXPECT_EQ(fs::file_size(Path("A.TXT")), 2u);
    EXPECT_EQ(fs::file_size(Path("a.txt")), 1u);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].starts_with("Error " + Path("a.txt"))) << log[0];
}

TEST_F(LocalPaneTest, MakeDirectoryMovesIntoIt) {
    ASSERT_TRUE(pane.SetFolder(root));
    prompts.inputs = {std::string("new"), std::string("new")};
    pane.MakeDirectory(prompts);
    EXPECT_EQ(pane.Folder(), Path("new"));
    pane.GoUpOneLevel();
    pane.MakeDirectory(prompts); // exists: logged, the pane stays
    EXPECT_EQ(pane.Folder(), root);
    EXPECT_EQ(log.size(), 1u);
}

} // namespace
