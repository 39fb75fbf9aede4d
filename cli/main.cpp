#include <vector>

#include "cli/Zrk410.h"
#include "files/ProgramText.h"
#include "serial/InterruptSource.h"

int main(int argc, char** argv) {
    // A closed pipe on stdout (zrk410 ... | head) must not kill us in the middle of a flash.
    zrk::InterruptSource::ignoreBrokenPipes();
    const zrk::ConsoleShowsUtf8 console;
    const std::vector<std::string> arguments = zrk::programArguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    return zrk::cli::runZrk410(static_cast<int>(arguments.size()), pointers.data(),
                               zrk::cli::TerminalOutput::standard());
}
