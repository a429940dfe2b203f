#include "app/MainWindow.h"
#include "prefs/ProgramFolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <algorithm>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));
    // Outside a desktop session the toolkit names no icon theme: take a common
    // one that is installed, so the panes show file types; else the toolkit's own.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QStringLiteral("hicolor")) {
        for (const char* theme : {"breeze", "Adwaita", "oxygen", "gnome"}) {
            const QString name = QString::fromLatin1(theme);
            const QStringList paths = QIcon::themeSearchPaths();
            if (std::any_of(paths.begin(), paths.end(), [&](const QString& path) {
                    return QFileInfo::exists(path + QLatin1Char('/') + name +
                                             QStringLiteral("/index.theme"));
                })) {
                QIcon::setThemeName(name);
                break;
            }
        }
    }
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/corvane-%1.png").arg(size));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("corvane"), icon));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A two-pane FTP client."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption folderOption(
        QStringLiteral("program-folder"),
        QStringLiteral("Keep the options, site lists and log in <folder> (made when missing)."),
        QStringLiteral("folder"));
    parser.addOption(folderOption);
    parser.process(app);

    std::string folder = ProgramFolder();
    if (parser.isSet(folderOption)) {
        const QString chosen = QDir(parser.value(folderOption)).absolutePath();
        if (!QDir().mkpath(chosen)) {
            qCritical("corvane: cannot make the program folder %s", qPrintable(chosen));
            return 2;
        }
        folder = chosen.toStdString() + '/';
    }
    MainWindow window(folder);
    window.show();
    return QApplication::exec();
}
