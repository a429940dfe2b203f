#include <QApplication>
#include <gtest/gtest.h>

// Widget tests need a QApplication, not the QCoreApplication of the logic tests.
int main(int argc, char* argv[]) {
    // CTest sets offscreen for the runs; test discovery at build time does not.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
