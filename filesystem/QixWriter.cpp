#include "filesystem/QixWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "files/OutputFile.h"
#include "files/PathText.h"
#include "files/RegularFileReader.h"
#include "files/SourceFolder.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixTreeCheck.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kVersionBytes = 16;
constexpr std::size_t kReleaseBytes = 12;
constexpr std::size_t kMaxComponentUtf8 = kMaxNamePartUtf8;
constexpr std::uint64_t kMaxImage = std::numeric_limits<std::uint32_t>::max();

struct Entry {
    std::string phonePath;           // "/docs/a.txt", UTF-8
    std::string localPath;           // the same in the code page, as the configuration holds it
    std::string diskPath;            // for messages only: nothing is opened by it
    std::vector<std::string> parts;  // the names from the folder down, as the folder holds them
    FileIdentity identity;           // what the walk found under them
    std::uint64_t size = 0;
};

struct Refusal {
    std::string text;
};

struct Walk {
    std::vector<Entry> directories;
    std::vector<Entry> files;
    std::uint64_t bytes = 0;
    std::optional<Refusal> refusal;
    bool interrupted = false;
};

std::string containedKey(std::string_view text) {
    for (std::string_view key : qixkey::kAll)
        if (text.find(key) != std::string_view::npos)
            return std::string(key);
    return {};
}

// Why the configuration or the phone would take this name as something else; empty if neither.
std::string nameProblem(const std::string& name) {
    if (name.find_first_of("\r\n") != std::string::npos)
        return "the name holds a line break, which would end it early in the configuration";
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xC2 && i + 1 < name.size() &&
                        (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0x80;
        if (byte < 0x20 || byte == 0x7F || c1)
            return "the name holds a control character, which no .cfg may carry";
    }
    if (name.back() == ' ' || name.back() == '\t')
        return "the name ends in a blank, which the phone drops";
    if (name.size() > kMaxComponentUtf8)
        return "the name is " + std::to_string(name.size()) +
               " bytes in UTF-8; the phone lists names of at most 254";
    return {};
}

constexpr const char* kChanged = "changed while the image was made";

// The tree, entered folder by folder through the descriptor of the one above, so that a folder
// swapped for a link while it is read is refused, never followed.
class Walker {
  public:
    Walker(const CodePage& codePage, Walk& walk, const std::function<bool()>& stopRequested)
        : m_CodePage(codePage), m_Walk(walk), m_StopRequested(stopRequested) {}

    // False once a refusal is recorded or a stop was asked for.
    bool folder(const SourceFolder& dir, const std::string& phonePath,
                const std::vector<std::string>& parts) {
        std::vector<SourceEntry> entries;
        std::string why;
        if (!dir.list(&entries, &why))
            return refuse(dir.path(), why);
        for (const SourceEntry& e : entries) {
            if (m_StopRequested && m_StopRequested()) {
                m_Walk.interrupted = true;
                return false;
            }
            if (!entry(dir, e, phonePath, parts))
                return false;
        }
        return true;
    }

  private:
    bool refuse(const std::string& disk, const std::string& why) {
        m_Walk.refusal = Refusal{disk + ": " + why};
        return false;
    }

    bool entry(const SourceFolder& dir, const SourceEntry& found, const std::string& parentPhone,
               const std::vector<std::string>& parentParts) {
        const std::string disk = dir.pathOf(found.name);
        if (const std::string problem = nameProblem(found.name); !problem.empty())
            return refuse(disk, problem);
        if (found.link)
            return refuse(disk, "a symbolic link; an image holds only folders and regular files");
        const bool directory = found.kind == FileKind::Directory;
        if (!directory && found.kind != FileKind::Regular)
            return refuse(disk,
                          "not a regular file (a device, FIFO or socket); an image holds only "
                          "folders and regular files");

        Entry e;
        e.phonePath = parentPhone + "/" + found.name;
        e.diskPath = disk;
        e.parts = parentParts;
        e.parts.push_back(found.name);
        e.identity = found.identity;
        const auto local = m_CodePage.fromUtf8(e.phonePath);
        if (!local)
            return refuse(disk, "the name cannot be written in the code page " + m_CodePage.name() +
                                    " (or is not UTF-8)");
        e.localPath = *local;
        if (const std::string key = containedKey(e.localPath); !key.empty())
            return refuse(disk, "the path holds \"" + key +
                                    "\", which the configuration would read as an entry");
        const std::size_t limit = directory ? kMaxDirNameUtf8 - 1 : kMaxFileNameUtf8 - 1;
        const std::size_t longest = std::max(e.phonePath.size(), e.localPath.size());
        if (longest > limit)
            return refuse(disk, std::string(directory ? "the folder's" : "the file's") +
                                    " path on the phone, " + e.phonePath + ", is " +
                                    std::to_string(longest) + " bytes; the phone takes at most " +
                                    std::to_string(limit));
        if (directory) {
            std::string why;
            const auto sub = dir.enter(found.name, &why);
            if (!sub)
                return refuse(disk, why);
            if (sub->identity() != found.identity)
                return refuse(disk, kChanged);
            m_Walk.directories.push_back(e);
            return folder(*sub, e.phonePath, e.parts);
        }
        e.size = found.size;
        m_Walk.bytes += e.size;
        if (m_Walk.bytes > kMaxImage)
            return refuse(disk, "the files add up to more than " + std::to_string(kMaxImage) +
                                    " bytes, the most an image can hold");
        m_Walk.files.push_back(std::move(e));
        return true;
    }

    const CodePage& m_CodePage;
    Walk& m_Walk;
    const std::function<bool()>& m_StopRequested;
};

// The folders of the files being read, entered again from the top through descriptors only,
// each checked to be the folder the walk saw. Files come in path order, so the folders above
// the last one are kept for the next.
class FolderChain {
  public:
    FolderChain(std::shared_ptr<SourceFolder> root, const Walk& walk) : m_Root(std::move(root)) {
        for (const Entry& d : walk.directories)
            m_Seen.emplace(d.parts, d.identity);
    }

    // The folder holding file; nullptr with why.
    std::shared_ptr<SourceFolder> reach(const Entry& file, std::string* why) {
        const std::size_t depth = file.parts.size() - 1;
        std::size_t common = 0;
        while (common < m_Open.size() && common < depth &&
               m_Open[common].first == file.parts[common])
            ++common;
        m_Open.resize(common);
        while (m_Open.size() < depth) {
            const SourceFolder& above = m_Open.empty() ? *m_Root : *m_Open.back().second;
            const std::string& name = file.parts[m_Open.size()];
            std::string whyNot;
            auto folder = above.enter(name, &whyNot);
            if (!folder) {
                *why = above.pathOf(name) + ": " + whyNot;
                return nullptr;
            }
            const std::vector<std::string> parts(file.parts.begin(),
                                                 file.parts.begin() + m_Open.size() + 1);
            const auto seen = m_Seen.find(parts);
            if (seen == m_Seen.end() || seen->second != folder->identity()) {
                *why = folder->path() + ": " + kChanged;
                return nullptr;
            }
            m_Open.emplace_back(name, std::move(folder));
        }
        return m_Open.empty() ? m_Root : m_Open.back().second;
    }

  private:
    std::shared_ptr<SourceFolder> m_Root;
    std::map<std::vector<std::string>, FileIdentity> m_Seen;
    std::vector<std::pair<std::string, std::shared_ptr<SourceFolder>>> m_Open;
};

// A text of the configuration, blank-padded to its field so that no line end rides along.
std::optional<std::string> fieldText(const std::string& text, std::size_t width,
                                     const CodePage& codePage, const char* what,
                                     std::string* error) {
    const auto local = codePage.fromUtf8(text);
    if (!local) {
        *error = std::string("the ") + what + " '" + text +
                 "' cannot be written in the code page " + codePage.name();
        return std::nullopt;
    }
    if (local->find_first_of("\r\n") != std::string::npos) {
        *error = std::string("the ") + what + " holds a line break";
        return std::nullopt;
    }
    if (const std::string key = containedKey(*local); !key.empty()) {
        *error = std::string("the ") + what + " holds \"" + key +
                 "\", which the configuration would read as an entry";
        return std::nullopt;
    }
    if (local->size() > width) {
        *error = std::string("the ") + what + " '" + text + "' is " +
                 std::to_string(local->size()) + " bytes; it holds at most " +
                 std::to_string(width);
        return std::nullopt;
    }
    return *local + std::string(width - local->size(), ' ');
}

std::string configText(const Walk& walk, const std::string& version,
                       const std::optional<std::string>& release) {
    std::string text = std::string(qixkey::kVersion) + version + "\r\n";
    if (release)
        text += std::string(qixkey::kReleaseVersion) + *release + "\r\n";
    for (const Entry& d : walk.directories)
        text += std::string(qixkey::kDirName) + d.localPath + "\r\n";
    for (const Entry& f : walk.files)
        text += std::string(qixkey::kFileName) + f.localPath + "\r\n" +
                std::string(qixkey::kFileSize) + std::to_string(f.size) + "\r\n";
    return text;
}

// The configuration read back as a download reads it: every entry must come out as written.
std::string readBackProblem(const std::string& text, const Walk& walk, const CodePage& codePage) {
    QixCheckResult check = checkQixConfigText(text, walk.bytes);
    if (!check.ok())
        return "the configuration does not read back (" + check.logText + check.messageText + ")";
    auto same = [](const WalkStep& step, const Entry& e) {
        return step.result == WalkResult::Entry && step.entry.localName == e.localPath &&
               step.entry.utf8Name == e.phonePath + '\0';
    };
    if (const auto lines = checkQixLines(text))
        return "the configuration does not read back (line " + std::to_string(lines->line) + ": " +
               lines->what + ")";
    QixConfig& config = *check.config;
    if (const auto tree = checkQixTree(config, codePage))
        return "the configuration does not read back (line " + std::to_string(tree->line) + ": " +
               tree->what + ")";
    for (const Entry& d : walk.directories)
        if (!same(config.nextDirEntry(codePage), d))
            return d.diskPath + ": the name does not come back the same through the code " +
                   "page " + codePage.name();
    config.restartWalk();
    for (const Entry& f : walk.files) {
        const WalkStep step = config.nextFileEntry(codePage);
        if (!same(step, f) || step.entry.fileSize != f.size)
            return f.diskPath + ": the name does not come back the same through the code " +
                   "page " + codePage.name();
    }
    return {};
}

bool isInside(const fs::path& path, const fs::path& folder) {
    std::error_code error;
    const fs::path p = fs::weakly_canonical(fs::absolute(path), error);
    const fs::path f = fs::weakly_canonical(fs::absolute(folder), error);
    auto pi = p.begin();
    for (auto fi = f.begin(); fi != f.end(); ++fi, ++pi) {
        if (fi->empty())
            continue;  // the empty last element of a path ending in "/"
        if (pi == p.end() || *pi != *fi)
            return false;
    }
    return true;
}

enum class Append { Done, Failed, Stopped };

// The file's bytes onto the image; Failed with the reason when they are not all there.
Append appendFile(OutputFile& image, FolderChain& folders, const Entry& file,
                  const std::function<bool()>& stopRequested, std::string* error) {
    if (stopRequested && stopRequested())
        return Append::Stopped;
    const auto folder = folders.reach(file, error);
    if (!folder)
        return Append::Failed;
    // Judged again through the open file: one swapped for a link, a FIFO or another file since
    // the walk is refused.
    RegularFileReader in;
    FileIdentity opened;
    std::string why;
    if (!folder->openFile(file.parts.back(), in, &opened, &why)) {
        *error = file.diskPath + ": " + why;
        return Append::Failed;
    }
    if (opened != file.identity) {
        *error = file.diskPath + ": " + kChanged;
        return Append::Failed;
    }
    std::vector<std::uint8_t> chunk(65536);
    std::uint64_t copied = 0;
    for (;;) {
        if (stopRequested && stopRequested())
            return Append::Stopped;
        const long got = in.read(chunk.data(), chunk.size());
        if (got < 0) {
            *error = file.diskPath + ": " + std::strerror(errno);
            return Append::Failed;
        }
        if (got == 0)
            break;
        copied += static_cast<std::uint64_t>(got);
        if (copied > file.size)
            break;
        if (!image.write(chunk.data(), static_cast<std::size_t>(got))) {
            *error = image.targetPath() + ": " + image.writeError();
            return Append::Failed;
        }
    }
    in.close();
    if (copied != file.size) {
        *error = file.diskPath + ": changed size while the image was made";
        return Append::Failed;
    }
    return Append::Done;
}

QixWriteResult refused(std::string text) {
    QixWriteResult result;
    result.error = std::move(text);
    result.refused = true;
    return result;
}

}  // namespace

QixWriteResult writeQixImage(const QixWriteRequest& request, const CodePage& codePage) {
    const std::string cfgPath = configPathFor(request.imagePath);
    if (cfgPath == request.imagePath)
        return refused(request.imagePath +
                       ": the image would be its own configuration; give it another extension");
    std::string why;
    const auto root = SourceFolder::open(request.folder, &why);
    if (!root)
        return refused(request.folder + ": " + why);
    const fs::path folderPath = pathOfText(request.folder);
    if (isInside(pathOfText(request.imagePath), folderPath) ||
        isInside(pathOfText(cfgPath), folderPath))
        return refused(request.imagePath +
                       ": the image and its configuration must lie outside the folder they are "
                       "made from");

    std::string textError;
    const auto version = fieldText(request.version, kVersionBytes, codePage, "version", &textError);
    if (!version)
        return refused(textError);
    std::optional<std::string> release;
    if (request.release) {
        release =
            fieldText(*request.release, kReleaseBytes, codePage, "release version", &textError);
        if (!release)
            return refused(textError);
    }

    QixWriteResult result;
    const auto stopped = [&] {
        result.interrupted = true;
        result.error = "interrupted; nothing was written";
        return result;
    };
    Walk walk;
    if (!Walker(codePage, walk, request.stopRequested).folder(*root, "", {}))
        return walk.interrupted ? stopped() : refused(walk.refusal->text);
    const auto byPath = [](const Entry& a, const Entry& b) { return a.phonePath < b.phonePath; };
    std::sort(walk.directories.begin(), walk.directories.end(), byPath);
    std::sort(walk.files.begin(), walk.files.end(), byPath);

    const std::string text = configText(walk, *version, release);
    // A pair made here must be one a download takes.
    if (text.size() > kMaxConfigBytes)
        return refused(configTooLargeText(cfgPath) +
                       "; the folder holds too many names for one image");
    if (std::string problem = readBackProblem(text, walk, codePage); !problem.empty())
        return refused(std::move(problem));

    // Neither file is left behind by a failure: both are removed when they go out of scope
    // uncommitted.
    OutputFile image, config;
    auto failed = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    if (!image.create(request.imagePath, OutputFile::Existing::Replace, &why))
        return failed(request.imagePath + ": " + why);
    if (!config.create(cfgPath, OutputFile::Existing::Replace, &why))
        return failed(cfgPath + ": " + why);
    FolderChain folders(root, walk);
    for (const Entry& file : walk.files) {
        const Append appended = appendFile(image, folders, file, request.stopRequested, &why);
        if (appended == Append::Stopped)
            return stopped();
        if (appended == Append::Failed)
            return failed(std::move(why));
    }
    if (!config.write(text.data(), text.size()))
        return failed(cfgPath + ": " + config.writeError());
    if (request.stopRequested && request.stopRequested())
        return stopped();
    if (!image.commit(&why))
        return failed(why);
    if (!config.commit(&why))
        return failed(why);

    result.directories = walk.directories.size();
    result.files = walk.files.size();
    result.bytes = walk.bytes;
    return result;
}

std::string qixTextProblem(const std::string& version, const std::optional<std::string>& release,
                           const CodePage& codePage) {
    std::string error;
    if (!fieldText(version, kVersionBytes, codePage, "version", &error))
        return error;
    if (release && !fieldText(*release, kReleaseBytes, codePage, "release version", &error))
        return error;
    return {};
}

std::string defaultQixVersion(const std::string& folder, const CodePage& codePage) {
    fs::path path = pathOfText(folder).lexically_normal();
    std::string name = textOfPath(path.filename());
    if (name.empty())
        name = textOfPath(path.parent_path().filename());
    if (name == "." || name == "..") {
        std::error_code error;
        name = textOfPath(fs::weakly_canonical(fs::absolute(pathOfText(folder)), error).filename());
    }
    std::string ignored;
    while (!name.empty()) {
        if (fieldText(name, kVersionBytes, codePage, "version", &ignored))
            return name;
        // One UTF-8 character off the end: its continuation bytes, then its first byte.
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
            name.pop_back();
        if (!name.empty())
            name.pop_back();
    }
    return "QIX";
}

}  // namespace zrk
