#include "cli/MultiPortOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <set>

#include "cli/CommandLine.h"
#include "serial/PortMap.h"

namespace zrk::cli {

namespace {
constexpr unsigned kMostPhones = PortMap::kLastPort;
constexpr std::size_t kMostPorts = 64;

bool writesAFile(Command c) {
    return c == Command::Dump || c == Command::FsGet || c == Command::FsNandDump;
}

bool writesAFolder(Command c) {
    return c == Command::FsPull || c == Command::FsBackup;
}
}  // namespace

void addMultiPortOptions(CLI::App& app, Options& o) {
    app.add_option("--ports", o.portsList,
                   "several ports at once, separated by commas (COM1,COM2,/dev/ttyUSB0): one "
                   "phone on each, all running the command together")
        ->type_name("LIST")
        ->delimiter(',')
        ->allow_extra_args(false);
    app.add_option("--phones", o.phones,
                   "with --sim: start N simulated phones, COM1..COMN, and serve them at once")
        ->type_name("N")
        ->check(CLI::Range(1u, kMostPhones));
    app.add_option("--sim-port", o.simPortOptions,
                   "with --sim: options for one simulated phone only, added to those of --sim, "
                   "e.g. --sim-port COM2:bad-sector-sum=1 (again for another phone)")
        ->type_name("COMn:OPTIONS")
        ->allow_extra_args(false);
    app.add_flag("--loop", o.loop,
                 "production line: when a phone is done, wait for the next one on the same "
                 "cable and run the command again, until Ctrl-C; passes and failures are "
                 "counted per port");
    app.add_option("--report", o.reportPath,
                   "write a JSON report of the run: every port, phone and operation with its "
                   "images, times, bytes, verify result and outcome")
        ->type_name("FILE.json");
}

std::string finishMultiPortOptions(Options& o) {
    o.portList.insert(o.portList.end(), o.portsList.begin(), o.portsList.end());
    o.portsList.clear();
    std::set<std::string> seen;
    for (const auto& port : o.portList) {
        if (port.empty())
            return "--ports: an empty port name in the list";
        std::string key = port;
        if (const auto number = PortMap::parsePortName(port))
            key = PortMap::portName(*number);
        if (!seen.insert(key).second)
            return "--port: " + port + " is given twice; each port serves one phone at a time";
    }
    if (o.portList.size() > kMostPorts)
        return "--port: at most " + std::to_string(kMostPorts) + " ports at once";
    o.port = o.portList.empty() ? std::string() : o.portList.front();

    if (o.phones > 0 && !o.sim)
        return "--phones: give --sim too; without it the phones are those on --port";
    if (!o.simPortOptions.empty() && !o.sim)
        return "--sim-port: give --sim too";
    const unsigned simulated = o.phones > 0 ? o.phones : 1;
    std::set<int> configured;
    for (const auto& entry : o.simPortOptions) {
        const auto colon = entry.find(':');
        const auto number = colon == std::string::npos
                                ? std::nullopt
                                : PortMap::parsePortName(entry.substr(0, colon));
        if (!number)
            return "--sim-port: '" + entry + "' is not COMn:OPTIONS";
        if (*number < 1 || static_cast<unsigned>(*number) > simulated)
            return "--sim-port: " + entry.substr(0, colon) + " is not one of the " +
                   std::to_string(simulated) + " simulated phone(s) (COM1..COM" +
                   std::to_string(simulated) + ")";
        if (!configured.insert(*number).second)
            return "--sim-port: " + entry.substr(0, colon) + " is given twice";
    }
    if (o.loop && writesAFile(o.command))
        return "--loop: every phone would write its --out file over the last one's; run the "
               "command once per phone instead";
    if (o.loop && writesAFolder(o.command))
        return "--loop: every phone would copy its files into the same folder as the last "
               "one's; run the command once per phone instead";
    if (o.command == Command::Crc && (o.loop || o.portList.size() > 1 || o.phones > 1))
        return "crc needs no phone: --loop, --phones and several ports do not apply";
    return {};
}

bool runsSeveralPhones(const Options& o) {
    return o.loop || o.portList.size() > 1 || o.phones > 1;
}

}  // namespace zrk::cli
