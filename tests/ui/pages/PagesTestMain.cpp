#include <QApplication>

#include <gtest/gtest.h>

// The pages need a QApplication; tests need no real screen unless a platform is asked for
// (screenshots under a virtual X server).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
