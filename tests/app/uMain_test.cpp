#include "app/uMain.h"

#include <QPlainTextEdit>
#include <QRect>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// A widget's rectangle in the coordinates of the main window.
QRect rectIn(const QWidget& window, const QWidget* widget) {
    return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
}

class MainWindowTest : public testing::Test {
protected:
    void showWindow(QSize size) {
        window.resize(size);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    T_Main window;
};

TEST_F(MainWindowTest, IsNamedCorvaneAndFindsItsPartsByName) {
    EXPECT_EQ(window.windowTitle(), "Corvane");
    EXPECT_EQ(window.objectName(), "T_Main");
    EXPECT_EQ(window.findChild<QToolBar*>("ToolBar1"), window.toolBar());
    EXPECT_EQ(window.findChild<QWidget*>("LocalPanel"), window.localPane());
    EXPECT_EQ(window.findChild<QWidget*>("RemotePanel"), window.remotePane());
    EXPECT_EQ(window.findChild<QPlainTextEdit*>("Log"), window.logView());
    EXPECT_TRUE(window.logView()->isReadOnly());
}

TEST_F(MainWindowTest, ShowsToolBarPanesSideBySideAndLogBelow) {
    showWindow(QSize(900, 600));

    ASSERT_TRUE(window.toolBar()->isVisible());
    ASSERT_TRUE(window.localPane()->isVisible());
    ASSERT_TRUE(window.remotePane()->isVisible());
    ASSERT_TRUE(window.logView()->isVisible());
    ASSERT_TRUE(window.statusBar()->isVisible());

    const QRect tools = rectIn(window, window.toolBar());
    const QRect local = rectIn(window, window.localPane());
    const QRect remote = rectIn(window, window.remotePane());
    const QRect log = rectIn(window, window.logView());
    const QRect status = rectIn(window, window.statusBar());

    EXPECT_LE(tools.bottom(), local.top());
    EXPECT_LT(local.right(), remote.left());
    EXPECT_EQ(local.top(), remote.top());
    EXPECT_EQ(local.height(), remote.height());
    EXPECT_LT(local.bottom(), log.top());
    EXPECT_LT(log.bottom(), status.top());
    EXPECT_LE(local.left(), log.left());
    EXPECT_GE(remote.right(), log.right());

    // The log takes about a quarter of the height the panes and the log share.
    const double logShare = double(log.height()) / (log.bottom() - local.top());
    EXPECT_GT(logShare, 0.15);
    EXPECT_LT(logShare, 0.35);
}

TEST_F(MainWindowTest, PanesStayEqualWidthWhenTheWindowIsResized) {
    showWindow(QSize(900, 600));
    const QSize sizes[] = {{1200, 800}, {1201, 700}, {640, 480}, {901, 601}};
    for (const QSize size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        window.resize(size);
        QTest::qWait(0);
        const int local = window.localPane()->width();
        const int remote = window.remotePane()->width();
        EXPECT_LE(std::abs(local - remote), 1);
        EXPECT_EQ(local + remote + window.paneSplitter()->handleWidth(),
                  window.paneSplitter()->width());
    }
}

} // namespace
