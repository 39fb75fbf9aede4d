#pragma once
// One exit code for a run of many phones: the most serious class any of them ended with, and
// what each class means for a phone's record.
#include <string>

#include "station/PhoneRecorder.h"

namespace zrk::cli {

// The order in which exit classes outrank each other: interrupted, internal, port or file,
// refused, not on the phone, phone failed, time-out, success.
int moreSerious(int a, int b);

// The report's word for a phone that ended with this exit class.
std::string phoneResultFor(int exitCode);

// A served phone's end for its record: its exit class and closing complaint.
station::PhoneEnding phoneEnding(int exitCode, const std::string& reason);

}  // namespace zrk::cli
