#include "app/dialogs/StationReportFile.h"

#include <QObject>
#include <chrono>
#include <string>

#include "app/Prompter.h"
#include "report/ReportJson.h"
#include "station/StationReport.h"

namespace zrk {

void saveStationReport(QWidget& window, Prompter& prompter,
                       const std::vector<report::PortRecord>& ports, report::TimePoint started) {
    if (ports.empty()) {
        prompter.message(&window, QObject::tr("No phone has been served yet."),
                         MessageIcon::Information, {});
        return;
    }
    FileDialogRequest request;
    request.title = QObject::tr("Save report");
    request.nameFilters = {QObject::tr("Report (*.json)"), QObject::tr("All files (*)")};
    request.defaultSuffix = QStringLiteral("json");
    const QString path = prompter.saveFile(&window, request);
    if (path.isEmpty())
        return;
    const report::RunReport run =
        station::stationReport(ports, "zrk410-gui", started, std::chrono::system_clock::now());
    std::string error;
    if (!report::writeReport(run, path.toStdString(), &error))
        prompter.message(&window, QObject::tr("The report could not be written."),
                         MessageIcon::Error, QString::fromStdString(error));
}

}  // namespace zrk
