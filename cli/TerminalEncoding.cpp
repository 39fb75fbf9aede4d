#include "cli/TerminalEncoding.h"

#include "files/ProgramText.h"
#include "filesystem/CodePage.h"

namespace zrk::cli {

TerminalEncoding terminalEncoding() {
    TerminalEncoding encoding;
    encoding.localeCodeset = localeCodePageName();
    encoding.codePage = programTextIsUtf8() ? std::string("UTF-8") : encoding.localeCodeset;
    // A page without a single character above 0x7F is ASCII by another name: shown as UTF-8
    // already (textEncodingOf), so typed as UTF-8 too.
    if (const auto page = CodePage::open(encoding.localeCodeset, nullptr);
        page && textEncodingOf(*page).kind == TextEncoding::Kind::Utf8)
        encoding.codePage = "UTF-8";
    return encoding;
}

}  // namespace zrk::cli
