#include "cli/TypedPhonePath.h"

#include "cli/TerminalEncoding.h"
#include "engine/SafeText.h"
#include "filesystem/CodePage.h"

namespace zrk::cli {

std::string typedPhonePathProblem(const std::string& path) {
    const TerminalEncoding encoding = terminalEncoding();
    std::string error;
    const auto terminal = CodePage::open(encoding.codePage, &error);
    if (!terminal)
        return "the locale's encoding " + encoding.codePage +
               " is not known here, so the phone path cannot be converted: " + error;
    if (terminal->toUtf8(path))
        return {};
    const std::string whose = encoding.codePage == encoding.localeCodeset
                                  ? "the locale's"
                                  : "the locale's " + encoding.localeCodeset + " taken as UTF-8";
    return "the phone path " + printableName(path, textEncodingOf(*terminal)) +
           " is not valid in the terminal's encoding " + terminal->name() + " (" + whose +
           "; --codepage names the .cfg's code page only); nothing was sent";
}

}  // namespace zrk::cli
