#include "files/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace zrk {

bool isTerminal(std::FILE* stream) {
    return stream && ::isatty(::fileno(stream)) == 1;
}

std::optional<int> terminalColumns(std::FILE* stream) {
    winsize size{};
    if (!stream || ::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0)
        return std::nullopt;
    return static_cast<int>(size.ws_col);
}

}  // namespace zrk
