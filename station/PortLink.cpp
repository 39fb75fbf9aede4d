#include "station/PortLink.h"

#include <cerrno>
#include <cstring>

#include "serial/LinkSetup.h"

namespace zrk::station {

std::string openPortLink(const LinkPlan& plan, LinkSetup& link) {
    if (!plan.tracePath.empty() && !link.setTrace(plan.tracePath))
        return "cannot write the trace file " + plan.tracePath + ": " + std::strerror(errno);
    if (plan.sim) {
        std::string error;
        if (!link.startSimulator(plan.simArgs, &error, plan.quietSim))
            return "cannot start the phone simulator: " + error;
    } else if (!plan.device.empty()) {
        link.ports().setDevice(1, plan.device);
    }
    return {};
}

LinkEnd closePortLink(LinkSetup& link) {
    LinkEnd end;
    link.setTrace({});
    end.traceError = link.traceWriteError();
    if (link.simulating())
        end.violations = link.stopSimulator() == 1;
    return end;
}

}  // namespace zrk::station
