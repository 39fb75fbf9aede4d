#include <csignal>

#include "cli/Zrk410.h"

int main(int argc, char** argv) {
    // A closed pipe on stdout (zrk410 ... | head) must not kill us in the middle of a flash.
    std::signal(SIGPIPE, SIG_IGN);
    return zrk::cli::runZrk410(argc, argv, zrk::cli::TerminalOutput::standard());
}
