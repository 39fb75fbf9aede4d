#pragma once
// The table a run of many phones ends with: a row per port (its flash, bytes, time and
// result; with --loop its phones, passed and failed) and the count of phones that passed.
#include <memory>
#include <vector>

#include "cli/PortTask.h"

namespace zrk::cli {

void printPortSummary(PortScreen& screen, const std::vector<std::unique_ptr<PortTask>>& tasks,
                      bool loop);

}  // namespace zrk::cli
