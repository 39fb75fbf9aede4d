#pragma once
// A failed phone's cause in a few words for its tile, from the typed outcome alone: the log's
// texts are for people reading the log.
#include <chrono>
#include <string>

#include "engine/Outcome.h"

namespace zrk::station {

std::string failureWords(const OperationOutcome& outcome);

// The phone stopped answering in the middle of this exchange (empty: before any began).
std::string silenceWords(const std::string& exchange);

// How a served phone ended, as both front ends' reports and tables sort it.
enum class ResultKind { Passed, Failed, TimedOut, Interrupted, PortOrFile, Refused, Unavailable };

// "passed", "failed", "timed out", "interrupted", "port or file problem", "refused",
// "unavailable".
const char* resultKindWords(ResultKind kind);

// A phone's result in its report when its operation ended without completing: "port or file
// problem", "refused", "interrupted" or "failed".
std::string resultWords(const OperationOutcome& outcome);

// A cable where no phone spoke for the whole wait.
std::string noAnswerWords(std::chrono::milliseconds silence);

}  // namespace zrk::station
