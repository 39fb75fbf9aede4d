#include "cli/JobLink.h"

#include <cstring>

#include "cli/ExitCodes.h"
#include "cli/PhoneSession.h"
#include "cli/TerminalOutput.h"
#include "station/PortLink.h"

namespace zrk::cli {

int openJobLink(const PhoneJob& job, LinkSetup& link, UserChoices& choices,
                TerminalOutput& output) {
    choices = job.choices;
    const std::string failed = station::openPortLink(
        {job.tracePath, job.sim, job.simArgs, job.quietSim, job.device}, link);
    if (!failed.empty()) {
        output.diagnostic(failed);
        return EXIT_PORT_OR_FILE;
    }
    // The simulator, or a device given for the job, stands in for COM1.
    if (job.sim || !job.device.empty())
        choices.portIndex = 0;
    return EXIT_OK;
}

int closeJobLink(const PhoneJob& job, LinkSetup& link, TerminalOutput& output, int result) {
    const station::LinkEnd end = station::closePortLink(link);
    if (end.traceError) {
        output.diagnostic("the trace file " + job.tracePath +
                          " could not be written completely: " + std::strerror(end.traceError));
        if (result == EXIT_OK)
            result = EXIT_PORT_OR_FILE;
    }
    if (end.violations) {
        output.diagnostic("the phone simulator recorded protocol violations");
        if (result == EXIT_OK)
            result = EXIT_PHONE_FAILED;
    }
    return result;
}

}  // namespace zrk::cli
