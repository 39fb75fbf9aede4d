#pragma once
// The run report as one JSON document (the layout report/report.schema.json describes), and its
// file, written whole or not at all.
#include <nlohmann/json.hpp>
#include <string>

#include "report/RunReport.h"

namespace zrk::report {

nlohmann::json toJson(const RunReport& report);

// "2026-03-01T09:15:02.250Z": UTC, milliseconds.
std::string isoTime(TimePoint time);

// Writes FILE.part and renames it to FILE; false with the reason when it cannot. A report that
// could only be written in part never takes the name of a complete one.
bool writeReport(const RunReport& report, const std::string& path, std::string* error);

// The words the report uses for the typed values, also for the summaries people read.
const char* operationKey(Operation operation);
const char* outcomeKey(OutcomeKind kind);
const char* causeKey(FailureCause cause);
const char* verifyKey(VerifyResult result);

}  // namespace zrk::report
