#include "filesystem/QixTreeCheck.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "files/PathText.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixNameCheck.h"

namespace zrk {
namespace {

// A value can be as long as the text: enough of it to find it in an editor.
constexpr std::size_t kShownValueBytes = 100;

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

std::string shown(std::string_view value) {
    if (value.size() <= kShownValueBytes)
        return "\"" + printableLocalName(value) + "\"";
    return "\"" + printableLocalName(value.substr(0, kShownValueBytes)) + "...\"";
}

std::string hexByte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    return text;
}

const char* valueWord(std::string_view key) {
    if (key == qixkey::kVersion)
        return "version";
    if (key == qixkey::kReleaseVersion)
        return "release version";
    if (key == qixkey::kDirName)
        return "folder name";
    if (key == qixkey::kFileName)
        return "file name";
    return "file size";
}

struct KeyAt {
    std::string_view key;
    std::size_t at = std::string_view::npos;
};

KeyAt firstKey(std::string_view text) {
    KeyAt first;
    for (std::string_view key : qixkey::kAll)
        if (const std::size_t at = text.find(key); at < first.at)
            first = {key, at};
    return first;
}

// Digits, and blanks at most after them.
bool isSize(std::string_view value) {
    const std::size_t digits = std::min(value.find_first_not_of("0123456789"), value.size());
    return digits > 0 && value.find_first_not_of(' ', digits) == std::string_view::npos;
}

// The walk over the lines: which file waits for its size.
class LineReader {
  public:
    std::optional<QixTreeProblem> line(std::string_view text, std::size_t number) {
        const KeyAt key = firstKey(text);
        if (key.at == std::string_view::npos)
            return std::nullopt;
        const std::string_view value = text.substr(key.at + key.key.size());
        const std::string word = valueWord(key.key);
        for (const char c : value)
            if (isControl(static_cast<unsigned char>(c)))
                return QixTreeProblem{number, "the " + word + " " + shown(value) +
                                                  " holds a control character (" +
                                                  hexByte(static_cast<unsigned char>(c)) + ")"};
        if (const KeyAt inner = firstKey(value); inner.at != std::string_view::npos)
            return QixTreeProblem{number, "the " + word + " " + shown(value) + " holds \"" +
                                              std::string(inner.key) +
                                              "\", which is read as an entry of its own"};
        if (key.key == qixkey::kFileName) {
            if (auto missing = fileWithoutSize())
                return missing;
            m_File = PendingFile{number, std::string(value), false};
        } else if (key.key == qixkey::kFileSize) {
            if (!m_File)
                return QixTreeProblem{number, "a FILE_SIZE with no FILE_NAME before it"};
            if (m_File->sized)
                return QixTreeProblem{number, "a second FILE_SIZE for the file on line " +
                                                  std::to_string(m_File->line)};
            if (!isSize(value))
                return QixTreeProblem{
                    number, "the file size " + shown(value) + " is not a number of bytes"};
            m_File->sized = true;
        }
        return std::nullopt;
    }

    // The file named last, when no size followed it.
    std::optional<QixTreeProblem> fileWithoutSize() const {
        if (!m_File || m_File->sized)
            return std::nullopt;
        return QixTreeProblem{m_File->line, "the file " + shown(m_File->name) +
                                                " has no FILE_SIZE line before the next file or "
                                                "the end"};
    }

  private:
    struct PendingFile {
        std::size_t line = 0;
        std::string name;
        bool sized = false;
    };
    std::optional<PendingFile> m_File;
};

// Line numbers of text offsets, from the line feeds before them.
class LineIndex {
  public:
    explicit LineIndex(std::string_view text) {
        for (std::size_t at = text.find('\n'); at != std::string_view::npos;
             at = text.find('\n', at + 1))
            m_LineFeeds.push_back(at);
    }
    std::size_t lineOf(std::size_t offset) const {
        return 1 + static_cast<std::size_t>(
                       std::lower_bound(m_LineFeeds.begin(), m_LineFeeds.end(), offset) -
                       m_LineFeeds.begin());
    }

  private:
    std::vector<std::size_t> m_LineFeeds;
};

bool holdsControl(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        // U+0080 to U+009F, the C1 controls, are C2h 80h to C2h 9Fh.
        const bool c1 = byte == 0xC2 && i + 1 < utf8.size() &&
                        static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
        if (isControl(byte) || c1)
            return true;
    }
    return false;
}

struct TreeEntry {
    std::string name;  // UTF-8, as listed
    std::vector<std::string> parts;
    std::string path;  // as the phone stores it
    bool folder = false;
    std::size_t line = 0;
};

class TreeReader {
  public:
    std::optional<QixTreeProblem> add(std::string name, bool folder, std::size_t line) {
        const std::string what = std::string(folder ? "folder" : "file");
        const auto refuse = [&](std::string why) {
            return QixTreeProblem{line, "the " + what + " name " + shown(name) + " " + why};
        };
        if (holdsControl(name))
            return refuse("holds a control character");
        auto parts = phonePathParts(name);
        if (!parts)
            return refuse("holds a \"..\" part, which the phone resolves to another folder");
        if (parts->empty())
            return refuse(folder ? "names the root folder, which every phone has"
                                 : "names the root folder, not a file");
        for (const std::string& part : *parts)
            if (part.size() > kMaxNamePartUtf8)
                return refuse("has a part " + std::to_string(part.size()) +
                              " bytes in UTF-8; the phone lists names of at most " +
                              std::to_string(kMaxNamePartUtf8));
        TreeEntry entry{std::move(name), std::move(*parts), {}, folder, line};
        for (const std::string& part : entry.parts)
            entry.path += "/" + part;
        if (const auto listed = m_Paths.find(entry.path); listed != m_Paths.end()) {
            const TreeEntry& first = m_Entries[listed->second];
            std::string text = "the " + what + " " + shown(entry.name);
            if (first.folder != folder)
                text += std::string(" is also listed as a ") + (first.folder ? "folder" : "file");
            else if (entry.path != entry.name)
                text += " is " + printableLocalName(entry.path) + ", already listed";
            else
                text += " is already listed";
            text += " on line " + std::to_string(first.line);
            return QixTreeProblem{line, text};
        }
        m_Paths.emplace(entry.path, m_Entries.size());
        m_Entries.push_back(std::move(entry));
        return std::nullopt;
    }

    // Every folder a path needs is one: none of them is listed as a file.
    std::optional<QixTreeProblem> foldersAreFolders() const {
        for (const TreeEntry& entry : m_Entries) {
            std::string folder;
            for (std::size_t i = 0; i + 1 < entry.parts.size(); ++i) {
                folder += "/" + entry.parts[i];
                const auto listed = m_Paths.find(folder);
                if (listed == m_Paths.end() || m_Entries[listed->second].folder)
                    continue;
                return QixTreeProblem{
                    entry.line,
                    "the " + std::string(entry.folder ? "folder " : "file ") + shown(entry.name) +
                        " needs the folder " + printableLocalName(folder) + ", which line " +
                        std::to_string(m_Entries[listed->second].line) + " lists as a file"};
            }
        }
        return std::nullopt;
    }

  private:
    std::vector<TreeEntry> m_Entries;
    std::map<std::string, std::size_t> m_Paths;  // into m_Entries
};

std::string withoutZero(const std::string& utf8) {
    return utf8.substr(0, utf8.find('\0'));
}

}  // namespace

std::optional<QixTreeProblem> checkQixLines(std::string_view text) {
    LineReader reader;
    std::size_t number = 1;
    for (std::size_t start = 0; start < text.size(); ++number) {
        std::size_t end = text.find_first_of("\r\n", start);
        std::size_t next = text.size();
        if (end == std::string_view::npos) {
            end = text.size();
        } else if (text[end] == '\n') {
            return QixTreeProblem{number,
                                  "the line ends in a bare LF; the lines of a .cfg end in CR LF, "
                                  "and a name runs on to the next CR"};
        } else if (end + 1 == text.size() || text[end + 1] != '\n') {
            return QixTreeProblem{number,
                                  "a bare CR, without its LF; the lines of a .cfg end in CR LF"};
        } else {
            next = end + 2;
        }
        if (auto problem = reader.line(text.substr(start, end - start), number))
            return problem;
        start = next;
    }
    return reader.fileWithoutSize();
}

std::optional<QixTreeProblem> checkQixTree(const QixConfig& config, const CodePage& codePage) {
    QixConfig walk = config;
    const LineIndex lines(walk.text());
    TreeReader tree;
    walk.restartWalk();
    for (int files = 0; files < 2; ++files) {
        for (;;) {
            const WalkStep step =
                files ? walk.nextFileEntry(codePage) : walk.nextDirEntry(codePage);
            // A name that does not convert or fit is the name check's to explain.
            if (step.result != WalkResult::Entry)
                break;
            if (auto problem = tree.add(withoutZero(step.entry.utf8Name), !files,
                                        lines.lineOf(step.entry.keyOffset)))
                return problem;
        }
        walk.restartWalk();
    }
    return tree.foldersAreFolders();
}

std::optional<std::vector<std::string>> phonePathParts(std::string_view utf8) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= utf8.size();) {
        std::size_t end = std::min(utf8.find('/', start), utf8.size());
        std::string part(utf8.substr(start, end - start));
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t' || part.back() == '\r' ||
                                 part.back() == '\n'))
            part.pop_back();
        if (part == "..")
            return std::nullopt;
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

std::string qixTreeRefusal(const QixTreeProblem& problem, const std::string& configPath) {
    return printableLocalName(textOfPath(pathOfText(configPath).filename())) + ", line " +
           std::to_string(problem.line) + ": " + problem.what;
}

}  // namespace zrk
