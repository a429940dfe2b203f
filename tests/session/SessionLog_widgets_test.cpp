#include "session/SessionLog.h"
#include "session/SessionLog_widgets.h"

#include <QPlainTextEdit>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace session;

QString Shown(const QPlainTextEdit& log) {
    return log.toPlainText();
}

TEST(LogPaneView, TextFollowsThePane) {
    QPlainTextEdit log;
    log.setObjectName(QStringLiteral("Log"));
    TLogPane pane;
    pane.SetCapacity(100);
    pane.Add("before the view");
    new TLogPaneView(pane, &log); // owned by the text pane
    EXPECT_EQ(Shown(log), QStringLiteral("before the view"));

    const std::string a(40, 'a');
    const std::string b(40, 'b');
    pane.Add(a);
    EXPECT_EQ(Shown(log), QString::fromStdString("before the view\n" + a));
    const std::size_t number = pane.Add(b); // the first line goes
    EXPECT_EQ(Shown(log), QString::fromStdString(a + "\n" + b));
    EXPECT_EQ(log.document()->blockCount(), 2);

    pane.Replace(number, "b done");
    EXPECT_EQ(Shown(log), QString::fromStdString(a + "\nb done"));

    pane.Add(std::string(120, 'z')); // empties the pane, then is added alone
    EXPECT_EQ(Shown(log), QString::fromStdString(std::string(120, 'z')));
    EXPECT_EQ(log.document()->blockCount(), 1);
}

TEST(LogPaneView, EveryLineIsOneRow) {
    QPlainTextEdit log;
    TLogPane pane;
    new TLogPaneView(pane, &log); // owned by the text pane
    pane.Add("");                 // the empty line before a connect
    pane.Add("Connecting to host");
    pane.Add("< 220 two\r\nlines");
    pane.Add("æøå");
    EXPECT_EQ(log.document()->blockCount(), 4);
    EXPECT_EQ(Shown(log), QStringLiteral("\nConnecting to host\n< 220 two  lines\næøå"));
    pane.Replace(2, "< 220 ok");
    EXPECT_EQ(Shown(log), QStringLiteral("\nConnecting to host\n< 220 ok\næøå"));
}

} // namespace
