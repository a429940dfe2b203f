#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "prefs/WidgetTestSupport.h"
#include "transfer/Progress_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace transfer {
namespace {

class ProgressWindowTest : public testing::Test {
protected:
    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
    std::int64_t now = 0;
    ProgressWindow window{language, nullptr, [this] { return now; }};

    QString Row(const char* name) { return window.Dialog()->Row(name)->text(); }
};

TEST_F(ProgressWindowTest, ShowsTheFiguresAndPaintsAtMost25TimesASecond) {
    window.StartFile("ignored", 1, Direction::Sending); // no window yet: nothing
    EXPECT_EQ(window.Dialog(), nullptr);

    window.Open();
    ASSERT_NE(window.Dialog(), nullptr);
    EXPECT_EQ(window.Dialog()->windowTitle(), "Progress");
    window.StartFile("/pub/big.iso", 5'000'000, Direction::Receiving);
    EXPECT_EQ(window.Dialog()->windowTitle(), "Receiving big.iso (5000000 bytes)");

    const int before = window.Paints();
    for (int ms = 1; ms <= 10'000; ++ms) { // a report every millisecond for 10 s
        now = ms;
        window.Update(ms * 250);
    }
    EXPECT_LE(window.Paints() - before, 251);
    EXPECT_EQ(Row("FileBytes"), "2500000") << "the last figures are shown exactly";
    EXPECT_EQ(Row("Rate"), "250.0 K/sec");
    EXPECT_EQ(Row("FileLeft"), " 0:00:10");
    EXPECT_EQ(window.Dialog()->Bar()->value(), 2'500'000);

    window.EndFile();
    EXPECT_EQ(window.Dialog()->Bar()->value(), 0);
    window.StartFile("/home/u/disk.img", 6'000'000'000, Direction::Sending);
    now += 1000;
    window.Update(3'000'000'000);
    const QProgressBar* bar = window.Dialog()->Bar();
    EXPECT_NEAR(double(bar->value()) / bar->maximum(), 0.5, 0.001) << "a bar beyond int scales";
    EXPECT_EQ(Row("AllBytes"), "3002500000");

    window.Close();
    EXPECT_EQ(window.Dialog(), nullptr);
    window.Open(); // the next queue starts from nothing
    EXPECT_EQ(Row("AllBytes"), "0");
}

TEST_F(ProgressWindowTest, CancelAndEscapeOnlyAskToStop) {
    QSignalSpy asked(&window, &ProgressWindow::CancelRequested);
    window.Open();
    window.Dialog()->CancelButton()->click();
    QTest::keyClick(window.Dialog(), Qt::Key_Escape);
    EXPECT_EQ(asked.count(), 0) << "the request is posted, not handled at once";
    QCoreApplication::processEvents();
    EXPECT_EQ(asked.count(), 2);
    EXPECT_TRUE(window.Dialog()->isVisible()) << "the queue closes the window when it ends";
}

} // namespace
} // namespace transfer
