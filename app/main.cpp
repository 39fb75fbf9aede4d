#include <QApplication>

#include "app/DownloaderApp.h"

int main(int argc, char** argv) {
    if (const auto status = zrk::answerWithoutWindow(argc, argv))
        return *status;
    QApplication application(argc, argv);
    zrk::DownloaderApp::prepareToolkit();
    zrk::DownloaderApp app;
    return app.run(zrk::parseLaunchOptions(QApplication::arguments()));
}
