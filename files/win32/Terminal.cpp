#include "files/Terminal.h"

#include <io.h>

#include "files/win32/WinApi.h"

namespace zrk {
namespace {

// A console, not just any character device: NUL is one too, and it has no columns.
HANDLE consoleOf(std::FILE* stream) {
    if (!stream)
        return INVALID_HANDLE_VALUE;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode))
        return INVALID_HANDLE_VALUE;
    return handle;
}

}  // namespace

bool isTerminal(std::FILE* stream) {
    return consoleOf(stream) != INVALID_HANDLE_VALUE;
}

std::optional<int> terminalColumns(std::FILE* stream) {
    const HANDLE console = consoleOf(stream);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (console == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(console, &info))
        return std::nullopt;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace zrk
