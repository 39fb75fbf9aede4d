#pragma once
// A failed phone's cause in a few words for its tile, from the typed outcome alone: the log's
// texts are for people reading the log.
#include <string>

#include "engine/Outcome.h"

namespace zrk::station {

std::string failureWords(const OperationOutcome& outcome);

// The phone stopped answering in the middle of this exchange (empty: before any began).
std::string silenceWords(const std::string& exchange);

}  // namespace zrk::station
