#pragma once
// Every name of a .cfg, converted before anything goes to the phone. The download converts
// each name only when it reaches it: a name that does not convert would stop it half-way, with
// the folders and files before it on the phone and no unmount. Checked first, such a
// configuration is refused whole, and a common code page in which it does convert is named.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filesystem/QixConfig.h"

namespace zrk {

class CodePage;

struct QixNameProblem {
    std::string complaint;  // the walk's own log line for the name
    std::string localName;  // as in the configuration
    bool directory = false;
    bool unconvertible = false;  // not valid in the code page (otherwise: too long in UTF-8)
};

struct QixNameCheck {
    std::optional<QixNameProblem> problem;  // the first name the download would stop at
    // For a name that does not convert: a common code page in which every name is usable.
    std::optional<std::string> suggestion;

    bool ok() const { return !problem; }
};

// The code pages tried for a suggestion, most likely first. UTF-8 leads: text that is valid
// UTF-8 is almost never meant as anything else, while ISO-8859-1 takes any byte and comes last.
const std::vector<std::string>& commonCodePages();

// Walks the directories and then the files as the download does, from the start.
QixNameCheck checkQixNames(const QixConfig& config, const CodePage& codePage);

// A name from a .cfg for a log line: bytes that are not UTF-8 as \xNN, controls escaped.
std::string printableLocalName(std::string_view name);

// The line after the walk's complaint: which name, in which file, which code page, and what to
// do. howToChoose says how this front end's user picks a code page, "NAME" standing for the
// name ("--codepage NAME"). consequence ("nothing was sent") may be empty. Ends in CR LF.
std::string qixNameExplanation(const QixNameCheck& check, const std::string& configPath,
                               const std::string& codePageName, const std::string& howToChoose,
                               const std::string& consequence);

// The question that offers the suggestion.
std::string qixCodePageQuestion(const std::string& configPath, const std::string& codePageName,
                                const std::string& suggestion);

}  // namespace zrk
