#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "transfer/Permissions_dialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class PermissionsDialogTest : public testing::Test {
protected:
    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
};

TEST_F(PermissionsDialogTest, BoxesAndManualFieldFollowEachOther) {
    transfer::PermissionForm form({{"a", 644}, {"b", 664}});
    PermissionsDialog window(language, form);
    EXPECT_EQ(window.windowTitle(), "Change File Attributes");
    EXPECT_EQ(window.Manual()->text(), "644");
    EXPECT_EQ(window.Box(4)->checkState(), Qt::PartiallyChecked) << "group write differs";
    EXPECT_EQ(window.Box(0)->checkState(), Qt::Checked);

    window.Box(4)->click();
    EXPECT_EQ(window.Box(4)->checkState(), Qt::Checked) << "a grayed box is clicked to checked";
    EXPECT_EQ(window.Manual()->text(), "664");
    window.Box(4)->click();
    EXPECT_EQ(window.Box(4)->checkState(), Qt::Unchecked) << "never grayed again";

    window.Manual()->clear();
    QTest::keyClicks(window.Manual(), "7a98x5");
    EXPECT_EQ(window.Manual()->text(), "75") << "only octal digits are typed";
    EXPECT_EQ(window.Box(6)->checkState(), Qt::Checked);
    EXPECT_EQ(window.Box(0)->checkState(), Qt::Unchecked);
    const std::vector<transfer::PermissionEntry> changes = form.Changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].Value, 75u);
}

} // namespace
