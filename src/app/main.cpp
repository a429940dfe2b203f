#include "app/MainWindow.h"
#include "prefs/ProgramFolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));
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
