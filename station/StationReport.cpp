#include "station/StationReport.h"

namespace zrk::station {

report::RunReport stationReport(const std::vector<report::PortRecord>& ports,
                                const std::string& program, report::TimePoint started,
                                report::TimePoint ended) {
    report::RunReport r;
    r.program = program;
    r.version = report::programVersion();
    r.command = "station download";
    r.started = started;
    r.ended = ended;
    r.ports = ports;
    return r;
}

}  // namespace zrk::station
