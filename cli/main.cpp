#include "cli/Zrk410.h"
#include "serial/InterruptSource.h"

int main(int argc, char** argv) {
    // A closed pipe on stdout (zrk410 ... | head) must not kill us in the middle of a flash.
    zrk::InterruptSource::ignoreBrokenPipes();
    return zrk::cli::runZrk410(argc, argv, zrk::cli::TerminalOutput::standard());
}
