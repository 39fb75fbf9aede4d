// zrk410-phonesim: a simulated phone on a pseudo-terminal. Prints the slave's path on its
// first line, serves the phone until SIGTERM/SIGINT (or --runs sessions), then reports the
// protocol violations it saw. Exit status: 0 none, 1 at least one, 2 bad usage.
#include <sys/prctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "sim/PhoneSimulator.h"
#include "sim/SimOptionsParse.h"
#include "sim/TerminalLink.h"

namespace {
std::atomic<bool> g_Quit{false};
void onSignal(int) {
    g_Quit = true;
}
}  // namespace

int main(int argc, char** argv) {
    // Taken before the options are read: a parent that dies while they are would otherwise go
    // unnoticed by --exit-with-parent.
    const pid_t parentAtStart = ::getppid();
    zrk::sim::SimOptions options;
    zrk::sim::ExecutableOptions exe;
    CLI::App app{
        "zrk410-phonesim: a simulated ZR-K410 phone on a pseudo-terminal.\n"
        "Prints the terminal's path as its first line; open that path as the serial port.\n"
        "Exit status: 0 no protocol violation, 1 at least one, 2 bad usage."};
    app.name("zrk410-phonesim");
    app.set_version_flag("--version", std::string("zrk410-phonesim ") + ZRK_VERSION,
                         "Print the version and exit");
    zrk::sim::addSimOptions(app, options, exe);
    try {
        app.parse(argc, argv);
        zrk::sim::finishSimOptions(options, exe);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // A program that starts us as its phone may die without stopping us: do not linger.
    if (exe.exitWithParent) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parentAtStart)
            g_Quit = true;
    }

    zrk::sim::PhoneSimulator simulator(options);
    std::string error;
    if (!simulator.start(&error)) {
        std::cerr << "zrk410-phonesim: " << error << "\n";
        return 2;
    }
    // The link exists before the path is printed: whoever reads the line may use either.
    const std::string terminal = simulator.slavePath();
    if (!exe.linkPath.empty() && !zrk::sim::placeTerminalLink(exe.linkPath, terminal, &error)) {
        std::cerr << "zrk410-phonesim: --link: " << error << "\n";
        simulator.stop();
        return 2;
    }
    std::cout << simulator.slavePath() << std::endl;
    while (!g_Quit && !simulator.hungUp() &&
           (exe.runs == 0 || simulator.counters().sessions < exe.runs))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    simulator.stop();
    if (!exe.linkPath.empty())
        zrk::sim::removeTerminalLink(exe.linkPath, terminal);
    int status = simulator.violationCount() == 0 ? 0 : 1;
    if (!exe.stateOut.empty() && !simulator.saveState(exe.stateOut, &error)) {
        std::cerr << "zrk410-phonesim: " << error << "\n";
        status = 1;
    }
    std::cerr << simulator.summary();
    return status;
}
