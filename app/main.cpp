#include <QApplication>

#include "app/DownloaderApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zrk::DownloaderApp::prepareToolkit();
    zrk::DownloaderApp app;
    return app.run(zrk::parseLaunchOptions(QApplication::arguments()));
}
