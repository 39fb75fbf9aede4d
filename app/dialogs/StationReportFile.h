#pragma once
// The station's "Save report...": every port of the run with the phones it served, as one JSON
// document where the person chooses.
#include <vector>

#include "report/RunReport.h"

class QWidget;

namespace zrk {

class Prompter;

// Says so when there is nothing to write yet, or when the file cannot be written.
void saveStationReport(QWidget& window, Prompter& prompter,
                       const std::vector<report::PortRecord>& ports, report::TimePoint started);

}  // namespace zrk
