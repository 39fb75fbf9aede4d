#pragma once
// Where one phone's report goes: PORT-phoneN-K.json in the report folder. PORT is the port's
// COM name, or its whole device path in a safe form, so two ports never share a name; K is the
// first counter whose name is free, so a later run never replaces an earlier one's report.
// Nothing in the name depends on the clock.
#include <string>

#include "report/RunReport.h"

namespace zrk::station {

// "COM3" as it is; a device path whole, each '/' as '_' and every other byte that is not a
// letter, a digit, '.' or '-' as %XX, so that different paths give different names.
std::string reportPortTag(const std::string& port);

// "COM3-phone2-1.json".
std::string phoneReportName(const std::string& port, int number, int counter);

// Writes the report into folder under the first free name of that form; the path it went
// to, or empty with why in error. An existing report is never replaced.
std::string writePhoneReport(const report::RunReport& report, const std::string& folder,
                             const std::string& port, int number, std::string* error);

}  // namespace zrk::station
