#include "app/MainWindow.h"
#include "prefs/ProgramFolder.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));

    MainWindow window(ProgramFolder());
    window.show();
    return QApplication::exec();
}
