#include "session/SessionLog.h"
#include "session/SessionLog_widgets.h"

#include <QPlainTextEdit>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace session;

TEST(LogPaneView, EveryLineOfThePaneIsOneRowOfTheText) {
    QPlainTextEdit log;
    LogPane pane;
    pane.SetCapacity(100);
    pane.Add("before the view");
    new LogPaneView(pane, &log); // owned by the text pane
    const auto shows = [&log](const std::string& text, int rows) {
        EXPECT_EQ(log.toPlainText(), QString::fromStdString(text));
        EXPECT_EQ(log.document()->blockCount(), rows);
    };
    shows("before the view", 1);

    const std::string a(40, 'a');
    pane.Add(a);
    shows("before the view\n" + a, 2);
    const std::string b(30, 'b');
    const std::size_t number = pane.Add("< 220 two\r\n" + b + "æøå"); // the first line goes
    shows(a + "\n< 220 two  " + b + "æøå", 2);
    pane.Replace(number, "b done");
    shows(a + "\nb done", 2);
    pane.Add(""); // the empty line before a connect
    shows(a + "\nb done\n", 3);

    pane.Add(std::string(120, 'z')); // empties the pane, then is added alone
    shows(std::string(120, 'z'), 1);
}

} // namespace
