#pragma once
// The link a port serves its phones over, set up once for phone after phone by either front
// end: the hex trace, then the phone simulator behind COM1 or the device COM1 stands for.
#include <string>
#include <vector>

namespace zrk {
class LinkSetup;
}  // namespace zrk

namespace zrk::station {

struct LinkPlan {
    std::string tracePath;  // empty: no trace
    bool sim = false;       // a phone simulator stands behind COM1
    std::vector<std::string> simArgs;
    bool quietSim = false;  // drop the simulator's own report
    std::string device;     // without the simulator: what COM1 opens, or empty for the map's own
};

// Empty when the link is ready; otherwise why not, in words.
std::string openPortLink(const LinkPlan& plan, LinkSetup& link);

struct LinkEnd {
    int traceError = 0;       // why the trace lost text (errno), or 0
    bool violations = false;  // the simulator recorded protocol violations
};

// Ends the trace and the simulator, and what they reported.
LinkEnd closePortLink(LinkSetup& link);

}  // namespace zrk::station
