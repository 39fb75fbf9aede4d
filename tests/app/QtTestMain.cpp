// Window tests need a QApplication for the whole run. They never show a real window: the
// platform is offscreen unless the caller chose one (test discovery runs without ctest's
// environment).
#include <gtest/gtest.h>

#include <QApplication>

#include "app/SerialScanner.h"

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // Whatever cables this machine has must not change what the windows show; a test that
    // wants devices puts its own in place.
    zrk::setSerialScanner([] { return std::vector<zrk::SerialDevice>{}; });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
