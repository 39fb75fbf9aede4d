#include "filesystem/QixNameCheck.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "engine/SafeText.h"
#include "files/PathText.h"
#include "filesystem/CodePage.h"

namespace zrk {
namespace {

bool sameName(std::string a, std::string b) {
    const auto lower = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    };
    lower(a);
    lower(b);
    return a == b;
}

std::optional<QixNameProblem> firstProblem(QixConfig config, const CodePage& codePage) {
    const auto problemOf = [&](const WalkStep& step, bool directory) {
        QixNameProblem problem;
        problem.complaint = step.logText;
        problem.localName = step.entry.localName;
        problem.directory = directory;
        problem.unconvertible = !codePage.toUtf8(step.entry.localName);
        return problem;
    };
    config.restartWalk();
    for (WalkStep s = config.nextDirEntry(codePage); s.result != WalkResult::NoneLeft;
         s = config.nextDirEntry(codePage))
        if (s.result == WalkResult::NameTooLong)
            return problemOf(s, true);
    config.restartWalk();
    for (WalkStep s = config.nextFileEntry(codePage); s.result != WalkResult::NoneLeft;
         s = config.nextFileEntry(codePage))
        if (s.result == WalkResult::NameTooLong)
            return problemOf(s, false);
    return std::nullopt;
}

std::string fileNameOf(const std::string& path) {
    return printableLocalName(textOfPath(pathOfText(path).filename()));
}

}  // namespace

const std::vector<std::string>& commonCodePages() {
    static const std::vector<std::string> names{"UTF-8", "CP1252", "CP949",  "CP932",     "CP936",
                                                "CP950", "CP1251", "CP1250", "ISO-8859-1"};
    return names;
}

QixNameCheck checkQixNames(const QixConfig& config, const CodePage& codePage) {
    QixNameCheck check;
    check.problem = firstProblem(config, codePage);
    if (!check.problem || !check.problem->unconvertible)
        return check;
    for (const std::string& name : commonCodePages()) {
        if (sameName(name, codePage.name()))
            continue;
        const auto other = CodePage::open(name, nullptr);
        if (other && !firstProblem(config, *other)) {
            check.suggestion = name;
            break;
        }
    }
    return check;
}

std::string printableLocalName(std::string_view name) {
    return printableName(name);
}

std::string qixNameExplanation(const QixNameCheck& check, const std::string& configPath,
                               const std::string& codePageName, const std::string& howToChoose,
                               const std::string& consequence) {
    if (!check.problem)
        return {};
    const QixNameProblem& problem = *check.problem;
    const auto choose = [&](const std::string& name) {
        std::string text = howToChoose;
        if (const auto at = text.find("NAME"); at != std::string::npos)
            text.replace(at, 4, name);
        return text;
    };
    std::string text = "** The " + std::string(problem.directory ? "folder" : "file") + " name \"" +
                       printableLocalName(problem.localName) + "\" in " + fileNameOf(configPath);
    if (!problem.unconvertible) {
        text += " is too long for the phone in UTF-8 (at most " +
                std::to_string((problem.directory ? kMaxDirNameUtf8 : kMaxFileNameUtf8) - 1) +
                " bytes)";
        return text + (consequence.empty() ? "" : "; " + consequence) + ".\r\n";
    }
    text += " is not valid in the code page " + codePageName;
    text += consequence.empty() ? "." : "; " + consequence + ".";
    if (check.suggestion)
        text += " All its names are valid in " + *check.suggestion + ": choose it with " +
                choose(*check.suggestion) + ".";
    else
        text += " Choose the code page the .cfg was written in with " + choose("NAME") + ".";
    return text + "\r\n";
}

std::string qixCodePageQuestion(const std::string& configPath, const std::string& codePageName,
                                const std::string& suggestion) {
    return "The names in " + fileNameOf(configPath) + " are not valid in " + codePageName +
           "; they are valid in " + suggestion + ". Use " + suggestion + "?";
}

}  // namespace zrk
