#include "session/SessionLog_widgets.h"

#include "session/SessionLog.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace session {

namespace {

// A line break inside a message would split it over two blocks and put every
// later row off by one.
QString BlockText(const std::string& line) {
    QString text = QString::fromStdString(line);
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

LogPaneView::LogPaneView(const LogPane& pane, QPlainTextEdit* log)
    : QObject(log), pane_(pane), log_(log) {
    log_->clear();
    for (std::size_t row = 0; row < pane_.Count(); ++row)
        Append(static_cast<int>(row));
    connect(&pane_, &LogPane::LinesRemoved, this, &LogPaneView::RemoveFirst);
    connect(&pane_, &LogPane::LineAdded, this, &LogPaneView::Append);
    connect(&pane_, &LogPane::LineChanged, this, &LogPaneView::RewriteLine);
}

void LogPaneView::RemoveFirst(int count) {
    QTextDocument* document = log_->document();
    if (count >= document->blockCount() || pane_.Count() == 0) {
        log_->clear();
        return;
    }
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, count);
    cursor.removeSelectedText();
}

void LogPaneView::Append(int row) {
    const QString text = BlockText(pane_.Line(static_cast<std::size_t>(row)));
    // Row 0 goes into the one block an empty document has.
    if (row == 0) {
        log_->setPlainText(text);
        log_->moveCursor(QTextCursor::End);
        return;
    }
    QScrollBar* bar = log_->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    QTextCursor cursor(log_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    cursor.insertText(text);
    if (atBottom)
        bar->setValue(bar->maximum());
}

void LogPaneView::RewriteLine(int row) {
    const QTextBlock block = log_->document()->findBlockByNumber(row);
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(BlockText(pane_.Line(static_cast<std::size_t>(row))));
}

} // namespace session
