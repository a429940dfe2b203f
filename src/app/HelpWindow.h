#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QTextBrowser;

inline constexpr const char* HelpPageName = "corvane-help.html";

// Where the help page is looked for, in order: beside the program (as in the
// build tree), in the installation's share folder, and the copy built into
// the program, which is always there.
QStringList HelpPageCandidates(const QString& programDir);
// The first candidate that exists.
QString FindHelpPage(const QString& programDir);

// The help page in a window of its own, beside the main window (not modal).
class HelpWindow : public QDialog {
    Q_OBJECT

public:
    HelpWindow(const QString& page, QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};
