// Window tests need a QApplication for the whole run; the platform is offscreen (ctest sets
// QT_QPA_PLATFORM).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
