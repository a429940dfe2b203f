#pragma once

#include <QObject>

class QPlainTextEdit;

namespace session {

class TLogPane;

// Keeps a text pane (the main window's "Log") showing the lines of a log
// pane model: one text block per line, following every change.
class TLogPaneView : public QObject {
    Q_OBJECT

public:
    // Shows the lines `pane` holds now and follows it; lives as long as `log`.
    TLogPaneView(const TLogPane& pane, QPlainTextEdit* log);

private:
    void RemoveFirst(int count);
    void Append(int row);
    void Change(int row);

    const TLogPane& pane_;
    QPlainTextEdit* log_;
};

} // namespace session
