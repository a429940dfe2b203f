#pragma once

#include <QObject>

class QPlainTextEdit;

namespace session {

class LogPane;

// Keeps a text pane (the main window's "Log") showing the lines of a log
// pane model: one text block per line, following every change.
class LogPaneView : public QObject {
    Q_OBJECT

public:
    // Shows the lines `pane` holds now and follows it; lives as long as `log`.
    LogPaneView(const LogPane& pane, QPlainTextEdit* log);

private:
    void RemoveFirst(int count);
    void Append(int row);
    void RewriteLine(int row);

    const LogPane& pane_;
    QPlainTextEdit* log_;
};

} // namespace session
