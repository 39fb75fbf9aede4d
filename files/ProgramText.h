#pragma once
// How text enters and leaves the program. Inside, every name and message is in the terminal's
// encoding, which on Windows is UTF-8 whatever the ANSI code page: the arguments are taken from
// the UTF-16 command line rather than the ANSI copy (which turns what that page lacks into '?'),
// and the console is asked to show UTF-8 for as long as the program runs. Elsewhere the locale
// decides, and the arguments are the bytes typed.
#include <optional>
#include <string>
#include <vector>

namespace zrk {

// The program's arguments, argv[0] included, in the program's encoding.
std::vector<std::string> programArguments(int argc, const char* const* argv);

// True where arguments and console text are UTF-8 whatever the locale says (Windows).
bool programTextIsUtf8();

// Windows' ANSI code page, as a converter name ("CP1252", "UTF-8"): what files of the user's
// own are written in there. nullopt where the locale names it instead.
std::optional<std::string> systemAnsiCodePage();

// For its lifetime, the console shows the bytes it is given as UTF-8 (a no-op where terminals
// take the locale's encoding anyway); the console's own setting comes back at the end, since it
// outlives us and belongs to the user's window.
class ConsoleShowsUtf8 {
  public:
    ConsoleShowsUtf8();
    ~ConsoleShowsUtf8();
    ConsoleShowsUtf8(const ConsoleShowsUtf8&) = delete;
    ConsoleShowsUtf8& operator=(const ConsoleShowsUtf8&) = delete;

  private:
    unsigned m_PreviousPage = 0;
};

}  // namespace zrk
