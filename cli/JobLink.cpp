#include "cli/JobLink.h"

#include <cerrno>
#include <cstring>

#include "cli/ExitCodes.h"
#include "cli/PhoneSession.h"
#include "cli/TerminalOutput.h"
#include "serial/LinkSetup.h"

namespace zrk::cli {

int openJobLink(const PhoneJob& job, LinkSetup& link, UserChoices& choices,
                TerminalOutput& output) {
    if (!job.tracePath.empty() && !link.setTrace(job.tracePath)) {
        output.diagnostic("cannot write the trace file " + job.tracePath + ": " +
                          std::strerror(errno));
        return EXIT_PORT_OR_FILE;
    }
    choices = job.choices;
    if (job.sim) {
        std::string error;
        if (!link.startSimulator(job.simArgs, &error, job.quietSim)) {
            output.diagnostic("cannot start the phone simulator: " + error);
            return EXIT_PORT_OR_FILE;
        }
        choices.portIndex = 0;
    } else if (!job.device.empty()) {
        link.ports().setDevice(1, job.device);
        choices.portIndex = 0;
    }
    return EXIT_OK;
}

int closeJobLink(const PhoneJob& job, LinkSetup& link, TerminalOutput& output, int result) {
    link.setTrace({});
    if (const int error = link.traceWriteError()) {
        output.diagnostic("the trace file " + job.tracePath +
                          " could not be written completely: " + std::strerror(error));
        if (result == EXIT_OK)
            result = EXIT_PORT_OR_FILE;
    }

    if (job.sim) {
        const int simStatus = link.stopSimulator();
        if (simStatus == 1) {
            output.diagnostic("the phone simulator recorded protocol violations");
            if (result == EXIT_OK)
                result = EXIT_PHONE_FAILED;
        }
    }
    return result;
}

}  // namespace zrk::cli
