#include "cli/PortTargets.h"

#include <algorithm>

#include "cli/SimArguments.h"
#include "serial/PortMap.h"

namespace zrk::cli {

bool portTargets(const Options& o, const PhoneJob& base, std::vector<PortTarget>* targets,
                 std::string* error) {
    if (o.sim) {
        const unsigned phones = std::max(1u, o.phones);
        for (unsigned n = 1; n <= phones; ++n) {
            PhoneJob job = base;
            const std::string name = PortMap::portName(static_cast<int>(n));
            for (const auto& entry : o.simPortOptions) {
                const auto colon = entry.find(':');
                if (PortMap::parsePortName(entry.substr(0, colon)) == static_cast<int>(n)) {
                    const auto more = splitSimOptions(entry.substr(colon + 1));
                    job.simArgs.insert(job.simArgs.end(), more.begin(), more.end());
                }
            }
            targets->emplace_back(name, std::move(job));
        }
    } else if (o.portList.empty()) {
        targets->emplace_back(PortMap::portName(base.choices.portIndex + 1), base);
    } else {
        for (const auto& text : o.portList) {
            PhoneJob job = base;
            if (const auto number = PortMap::parsePortName(text)) {
                job.choices.portIndex = *number - 1;
                targets->emplace_back(PortMap::portName(*number), std::move(job));
            } else if (text.find('/') != std::string::npos) {
                job.device = text;
                targets->emplace_back(text, std::move(job));
            } else {
                *error = "--port: '" + text +
                         "' is neither COM1..COM20 nor a device path such as /dev/ttyUSB0";
                return false;
            }
        }
    }

    return true;
}

}  // namespace zrk::cli
