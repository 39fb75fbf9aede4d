#include "filesystem/QixNameCheck.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "engine/SafeText.h"
#include "filesystem/CodePage.h"

namespace zrk {
namespace {

// The length of the UTF-8 sequence at the start of text, 0 when it is not one (overlong forms,
// surrogates and values past U+10FFFF included).
std::size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    return length;
}

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
    return printableLocalName(std::filesystem::path(path).filename().string());
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
    std::string out;
    while (!name.empty()) {
        const std::size_t length = utf8SequenceLength(name);
        if (length == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(name[0]));
            out += escaped;
            name.remove_prefix(1);
        } else {
            out.append(name.substr(0, length));
            name.remove_prefix(length);
        }
    }
    return printableName(out);
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
