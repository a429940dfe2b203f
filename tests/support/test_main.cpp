#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // GoogleTest takes its flags out of argv first; Qt keeps references to what is left.
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
