#include "serial/SimulatorProcess.h"

// The simulator plays the phone on a pseudo-terminal, which Windows does not have.
namespace zrk {

bool SimulatorProcess::start(const std::string&, const std::vector<std::string>&,
                             std::string* error, bool) {
    if (error)
        *error =
            "the phone simulator needs Linux: it serves a pseudo-terminal, which Windows does "
            "not have. To try the downloader without a phone, run it on Linux with --sim, or "
            "run this program under Wine on Linux with a COM name linked to the simulator's "
            "terminal (see the README's section on Windows)";
    return false;
}

int SimulatorProcess::stop() {
    return -1;
}

// A name, so that start() is reached and says why there is no simulator here.
std::string SimulatorProcess::locate() {
    return "zrk410-phonesim";
}

}  // namespace zrk
