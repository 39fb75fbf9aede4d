#pragma once
// The run report of a whole station: every port with every phone it served.
#include <string>
#include <vector>

#include "report/RunReport.h"

namespace zrk::station {

report::RunReport stationReport(const std::vector<report::PortRecord>& ports,
                                const std::string& program, report::TimePoint started,
                                report::TimePoint ended);

}  // namespace zrk::station
