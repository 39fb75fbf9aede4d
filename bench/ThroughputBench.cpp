// How close the host comes to the line's limit when the line is a fast one: zrk410 as its own
// process against zrk410-phonesim (another process) over a real pseudo-terminal, unpaced, beside
// a stop-and-wait exchange that does nothing else (the limit), measured in the same run.
//
//   throughput_bench [--mb N] [--idle-seconds S] [--repeats N] [--no-nand]
//
// A transfer's wall time is the operation's own, from the run report; its CPU time and memory
// are the command's, less a bare bring-up's (identify) in the same run.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/HostRun.h"
#include "bench/StopAndWaitLimit.h"
#include "serial/SimulatorProcess.h"

namespace {

using namespace zrk::bench;

constexpr double kMb = 1024.0 * 1024.0;
constexpr std::size_t kNandDumpBytes = 131203072;

struct Settings {
    std::size_t megabytes = 16;
    int idleSeconds = 30;
    bool nand = true;
    int repeats = 5;
};

std::string zrk410Path() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    for (const auto& candidate : {self / "../cli/zrk410", self / "zrk410"})
        if (std::filesystem::exists(candidate))
            return std::filesystem::canonical(candidate).string();
    throw std::runtime_error("zrk410 was not found beside " + self.string());
}

struct CommandRun {
    HostRun host;
    double transferSeconds = 0;  // the operations after the bring-up, as the report times them
};

// One command against a fresh simulated phone. The bring-up waits for the phone's next offer
// of a connection, so its length varies by tens of milliseconds: the transfer is timed apart.
CommandRun againstFreshPhone(const std::vector<std::string>& command, const std::string& report) {
    zrk::SimulatorProcess sim;
    std::string error;
    if (!sim.start(zrk::SimulatorProcess::locate(), {}, &error, true))
        throw std::runtime_error("phone simulator: " + error);
    std::vector<std::string> args{"--port", sim.devicePath(), "--speed",
                                  "921600", "--report",       report};
    args.insert(args.end(), command.begin(), command.end());
    CommandRun run{runHost(zrk410Path(), args)};
    if (run.host.exitCode != 0)
        throw std::runtime_error("zrk410 " + command.front() + " ended with " +
                                 std::to_string(run.host.exitCode) + ": " + run.host.errorText);
    std::ifstream in(report);
    const auto json = nlohmann::json::parse(in, nullptr, false);
    if (json.is_discarded())
        throw std::runtime_error("zrk410 wrote no readable report " + report);
    for (const auto& op : json.at("ports").at(0).at("phones").at(0).at("operations"))
        if (op.at("operation") != "bring-up")
            run.transferSeconds += op.at("elapsedSeconds").get<double>();
    return run;
}

void printLimit(const char* what, const LimitFigure& f) {
    std::printf("%-30s %7.2f MB/s  (%zu exchanges in %.2f s)\n", what,
                f.payloadBytesPerSecond / kMb, f.exchanges, f.seconds);
}

// The limit, a bare bring-up and the command, side by side, several times: on a shared
// machine a figure is only comparable with a limit measured next to it. zrk410 and the
// simulator are two processes, so the limit they are held to is two processes' too, over as
// many exchanges as the command makes, measured just before and just after it (the mean of the
// two). A transfer starts from a standing start after the bring-up's pauses, and on this kind
// of machine the first few thousand exchanges after a pause run at about half the speed of the
// rest (a scheduler warming up to the pair), so a 1 s limit would hold a 0.3 s transfer to a
// rate it cannot have had. The 1 s steady rates of two processes and of two threads are shown
// beside it. The median run is shown.
struct Exchange {
    std::size_t hostBytes, phoneBytes, payloadBytes;
};

void measureTransfer(const char* what, std::size_t bytes, const std::vector<std::string>& command,
                     Exchange exchange, int repeats, const std::string& report) {
    struct Sample {
        double share, steadyShare, threadShare, rate, wall, cpuPerMb, limit, rss;
    };
    const std::size_t exchanges = (bytes + exchange.payloadBytes - 1) / exchange.payloadBytes;
    const auto sameLength = [&] {
        return measureStopAndWaitExchanges(exchange.hostBytes, exchange.phoneBytes,
                                           exchange.payloadBytes, exchanges, LimitEnds::Processes)
            .payloadBytesPerSecond;
    };
    const auto steady = [&](LimitEnds ends) {
        return measureStopAndWait(exchange.hostBytes, exchange.phoneBytes, exchange.payloadBytes,
                                  1.0, ends)
            .payloadBytesPerSecond;
    };
    std::vector<Sample> samples;
    for (int i = 0; i < repeats; ++i) {
        const double before = sameLength();
        const HostRun base = againstFreshPhone({"identify"}, report).host;
        const CommandRun timed = againstFreshPhone(command, report);
        const HostRun& run = timed.host;
        const double limit = (before + sameLength()) / 2;
        const double processes = steady(LimitEnds::Processes);
        const double threads = steady(LimitEnds::Threads);
        const double wall = timed.transferSeconds;
        const double megabytes = static_cast<double>(bytes) / kMb;
        const double rate = static_cast<double>(bytes) / wall;
        samples.push_back({rate / limit, rate / processes, rate / threads, rate, wall,
                           (run.cpuSeconds - base.cpuSeconds) / megabytes, limit,
                           run.peakResidentMb});
    }
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.share < b.share; });
    const Sample& m = samples[samples.size() / 2];
    std::printf("%-22s %7.2f MB/s  %6.2f s  host CPU %.4f s/MB  peak RSS %.1f MB\n", what,
                m.rate / kMb, m.wall, m.cpuPerMb, m.rss);
    std::printf(
        "%-22s %5.1f%% of two processes' limit over the same %zu exchanges (%.2f MB/s; "
        "runs %.1f%% .. %.1f%%)\n",
        "", 100.0 * m.share, exchanges, m.limit / kMb, 100.0 * samples.front().share,
        100.0 * samples.back().share);
    std::printf("%-22s %5.1f%% of two processes' 1 s steady rate, %.1f%% of two threads'\n", "",
                100.0 * m.steadyShare, 100.0 * m.threadShare);
}

Settings parse(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mb" && i + 1 < argc)
            s.megabytes = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--idle-seconds" && i + 1 < argc)
            s.idleSeconds = std::atoi(argv[++i]);
        else if (a == "--no-nand")
            s.nand = false;
        else if (a == "--repeats" && i + 1 < argc)
            s.repeats = std::max(1, std::atoi(argv[++i]));
        else
            throw std::runtime_error(
                "usage: throughput_bench [--mb N] [--idle-seconds S] [--repeats N] "
                "[--no-nand]");
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) try {
    const Settings settings = parse(argc, argv);
    const std::size_t bytes = settings.megabytes << 20;
    ScratchFolder scratch;
    const std::string image = scratch.file("firmware.bin");
    writeNoiseFile(image, bytes);

    std::printf("== limits: stop-and-wait over a pseudo-terminal, nothing else running\n");
    for (const auto ends : {LimitEnds::Threads, LimitEnds::Processes}) {
        std::printf("-- %s\n", ends == LimitEnds::Threads ? "two threads" : "two processes");
        printLimit("2048 bytes out, 1 back", measureStopAndWait(2048, 1, 2048, 1.5, ends));
        printLimit("5 out, 8193 back (NOR block)", measureStopAndWait(5, 8193, 8192, 1.5, ends));
        printLimit("1 out, 2049 back (NAND page)", measureStopAndWait(1, 2049, 2048, 1.5, ends));
    }

    std::printf("\n== zrk410 against zrk410-phonesim, unpaced, median of %d\n", settings.repeats);
    const std::string report = scratch.file("report.json");
    const HostRun base = againstFreshPhone({"identify"}, report).host;
    std::printf("%-22s %6.2f s  host CPU %.3f s  peak RSS %.1f MB\n", "bring-up (identify)",
                base.wallSeconds, base.cpuSeconds, base.peakResidentMb);
    measureTransfer(("download " + std::to_string(settings.megabytes) + " MB").c_str(), bytes,
                    {"download", "--bin", image}, {2048, 1, 2048}, settings.repeats, report);
    const std::string sectors = "0-" + std::to_string(bytes / 65536 - 1);
    measureTransfer(("read-out " + std::to_string(settings.megabytes) + " MB").c_str(), bytes,
                    {"dump", "--sectors", sectors, "--out", scratch.file("nor.hex")},
                    {5, 8193, 8192}, settings.repeats, report);
    if (settings.nand)
        measureTransfer("NAND full dump", kNandDumpBytes,
                        {"fs", "nand-dump", "--out", scratch.file("nand")}, {1, 2049, 2048},
                        settings.repeats, report);

    // A terminal where nobody answers: the host waits for the power-on for the whole time-out.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const HostRun idle = runHost(zrk410Path(), {"--port", ::ptsname(master), "--timeout",
                                                std::to_string(settings.idleSeconds), "identify"});
    ::close(master);
    std::printf("%-34s %6.2f s  host CPU %.3f s = %.2f%% of a core\n", "waiting for a silent phone",
                idle.wallSeconds, idle.cpuSeconds, 100.0 * idle.cpuSeconds / idle.wallSeconds);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "throughput_bench: %s\n", e.what());
    return 1;
}
