#include "filesystem/QixWriter.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "files/OutputFile.h"
#include "files/PathText.h"
#include "files/SourceFolder.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixImageCopy.h"
#include "filesystem/QixSourceWalk.h"
#include "filesystem/QixTreeCheck.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kVersionBytes = 16;
constexpr std::size_t kReleaseBytes = 12;

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
    if (const std::string key = qixKeyInside(*local); !key.empty()) {
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

std::string configText(const QixSourceWalk& walk, const std::string& version,
                       const std::optional<std::string>& release) {
    std::string text = std::string(qixkey::kVersion) + version + "\r\n";
    if (release)
        text += std::string(qixkey::kReleaseVersion) + *release + "\r\n";
    for (const QixSourceEntry& d : walk.directories)
        text += std::string(qixkey::kDirName) + d.localPath + "\r\n";
    for (const QixSourceEntry& f : walk.files)
        text += std::string(qixkey::kFileName) + f.localPath + "\r\n" +
                std::string(qixkey::kFileSize) + std::to_string(f.size) + "\r\n";
    return text;
}

// The configuration read back as a download reads it: every entry must come out as written.
std::string readBackProblem(const std::string& text, const QixSourceWalk& walk,
                            const CodePage& codePage) {
    QixCheckResult check = checkQixConfigText(text, walk.bytes);
    if (!check.ok())
        return "the configuration does not read back (" + check.logText + check.messageText + ")";
    auto same = [](const WalkStep& step, const QixSourceEntry& e) {
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
    for (const QixSourceEntry& d : walk.directories)
        if (!same(config.nextDirEntry(codePage), d))
            return d.diskPath + ": the name does not come back the same through the code " +
                   "page " + codePage.name();
    config.restartWalk();
    for (const QixSourceEntry& f : walk.files) {
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
    QixSourceWalk walk;
    if (!walkQixSource(*root, codePage, request.stopRequested, walk))
        return walk.interrupted ? stopped() : refused(walk.refusal->text);
    const auto byPath = [](const QixSourceEntry& a, const QixSourceEntry& b) {
        return a.phonePath < b.phonePath;
    };
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
    QixFolderChain folders(root, walk);
    for (const QixSourceEntry& file : walk.files) {
        const QixAppend appended = appendQixFile(image, folders, file, request.stopRequested, &why);
        if (appended == QixAppend::Stopped)
            return stopped();
        if (appended == QixAppend::Failed)
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
