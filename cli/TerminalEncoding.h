#pragma once
// The encoding of what the terminal types and shows: the locale's, except that a locale of
// plain ASCII (C, POSIX) is taken as UTF-8, as terminals nowadays are, so that names typed
// there read the way they are shown, and that Windows' console and arguments are UTF-8 (the
// program asks for them so). --codepage never enters into it: it names the .cfg's page.
#include <string>

namespace zrk::cli {

struct TerminalEncoding {
    std::string codePage;       // what names are converted with, such as "UTF-8" or "CP1252"
    std::string localeCodeset;  // the locale's own, as glibc names it ("ANSI_X3.4-1968")
};

TerminalEncoding terminalEncoding();

}  // namespace zrk::cli
