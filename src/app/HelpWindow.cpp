#include "app/HelpWindow.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

QStringList HelpPageCandidates(const QString& programDir) {
    const QString name = QString::fromLatin1(HelpPageName);
    return {QDir::cleanPath(programDir + QLatin1Char('/') + name),
            QDir::cleanPath(programDir + QStringLiteral("/../share/corvane/") + name),
            QStringLiteral(":/help/") + name};
}

QString FindHelpPage(const QString& programDir) {
    for (const QString& path : HelpPageCandidates(programDir)) {
        if (QFileInfo(path).isFile())
            return QFileInfo(path).absoluteFilePath();
    }
    return {};
}

HelpWindow::HelpWindow(const QString& page, QWidget* parent)
    : QDialog(parent), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(tr("Help"));
    setModal(false);
    resize(640, 560);
    browser_->setObjectName(QStringLiteral("HelpText"));
    // Links inside the page move within it; others go to the desktop.
    browser_->setOpenExternalLinks(true);
    const QUrl url = page.startsWith(QLatin1Char(':')) ? QUrl(QStringLiteral("qrc") + page)
                                                       : QUrl::fromLocalFile(page);
    browser_->setSource(url);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_, 1);
    layout->addWidget(buttons);
}
