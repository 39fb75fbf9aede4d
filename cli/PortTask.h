#pragma once
// One port of a run of many phones, touched by its own thread until it is joined.
#include <memory>
#include <string>

#include "cli/ExitCodes.h"
#include "cli/PhoneSession.h"
#include "cli/PortOutput.h"
#include "station/PhoneRecorder.h"

namespace zrk::cli {

struct PortTask {
    int index = 0;
    std::string name;
    PhoneJob job;
    std::unique_ptr<PortOutput> output;
    std::unique_ptr<station::PhoneRecorder> recorder;
    int worst = EXIT_OK;
    std::string lastReason;  // of the last phone that failed
};

}  // namespace zrk::cli
