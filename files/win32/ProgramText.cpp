#include "files/ProgramText.h"

#include "files/win32/WinApi.h"
//
#include <shellapi.h>

namespace zrk {

std::vector<std::string> programArguments(int argc, const char* const* argv) {
    std::vector<std::string> ansi(argv, argv + argc);
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return ansi;
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        // A lone surrogate cannot be UTF-8; such an argument is passed on as the ANSI copy
        // has it, and is refused as invalid text where it is used.
        auto utf8 = win32::narrow(wide[i]);
        if (!utf8 && i < argc)
            utf8 = ansi[static_cast<std::size_t>(i)];
        arguments.push_back(utf8.value_or(std::string()));
    }
    ::LocalFree(wide);
    // The C runtime and the shell split a command line alike; should they ever not, the
    // runtime's split is the one CLI11 would have seen, so keep its count.
    return static_cast<int>(arguments.size()) == argc ? arguments : ansi;
}

bool programTextIsUtf8() {
    return true;
}

std::optional<std::string> systemAnsiCodePage() {
    const UINT page = ::GetACP();
    if (page == CP_UTF8)
        return std::string("UTF-8");
    return "CP" + std::to_string(page);
}

ConsoleShowsUtf8::ConsoleShowsUtf8() : m_PreviousPage(::GetConsoleOutputCP()) {
    // 0 when there is no console (output to files or pipes): nothing to set or restore.
    if (m_PreviousPage != 0 && m_PreviousPage != CP_UTF8 && !::SetConsoleOutputCP(CP_UTF8))
        m_PreviousPage = 0;
}

ConsoleShowsUtf8::~ConsoleShowsUtf8() {
    if (m_PreviousPage != 0 && m_PreviousPage != CP_UTF8)
        ::SetConsoleOutputCP(m_PreviousPage);
}

}  // namespace zrk
