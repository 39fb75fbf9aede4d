#include "filesystem/QixExtract.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engine/OpenFile.h"
#include "files/OutputFile.h"
#include "files/OutputFolder.h"
#include "files/PathText.h"
#include "filesystem/QixListing.h"
#include "filesystem/QixTreeCheck.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

// The parts of the phone path under the folder, as the phone stores them; nullopt for a ".."
// part, which could climb out.
std::optional<std::vector<std::string>> relativeParts(const std::string& utf8WithNul) {
    return phonePathParts(std::string_view(utf8WithNul).substr(0, utf8WithNul.find('\0')));
}

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i)
        path += (i ? "/" : "") + parts[i];
    return path;
}

// The folders of the unpacked tree, each made once and entered through the one above it, so
// that nothing already standing in the folder (a link) is followed.
class FolderTree {
  public:
    explicit FolderTree(std::shared_ptr<OutputFolder> root) { m_Folders[""] = std::move(root); }

    std::shared_ptr<OutputFolder> reach(const std::vector<std::string>& parts, std::size_t count,
                                        std::string* whyNot) {
        const std::string key = joined(parts, count);
        if (auto found = m_Folders.find(key); found != m_Folders.end())
            return found->second;
        auto parent = reach(parts, count - 1, whyNot);
        if (!parent)
            return nullptr;
        auto folder = parent->child(parts[count - 1], whyNot);
        if (folder)
            m_Folders[key] = folder;
        return folder;
    }
    std::size_t made() const { return m_Folders.size() - 1; }

  private:
    std::map<std::string, std::shared_ptr<OutputFolder>> m_Folders;
};

QixExtractResult refused(std::string text) {
    QixExtractResult result;
    result.error = std::move(text);
    result.refused = true;
    return result;
}

}  // namespace

QixExtractResult extractQixImage(const QixListing& listing, const std::string& imagePath,
                                 const std::string& folder,
                                 const std::function<bool()>& stopRequested) {
    if (!listing.ok())
        return refused(listing.messageText.empty() ? listing.logText : listing.messageText);

    // Every path first, so a bad one leaves nothing behind.
    std::vector<std::vector<std::string>> directories, files;
    for (const auto& d : listing.directories) {
        auto relative = relativeParts(d.utf8Name);
        if (!relative)
            return refused(d.utf8Name.c_str() + std::string(": the path climbs out of the folder"));
        directories.push_back(std::move(*relative));
    }
    for (const auto& f : listing.files) {
        auto relative = relativeParts(f.entry.utf8Name);
        if (!relative)
            return refused(f.entry.utf8Name.c_str() +
                           std::string(": the path climbs out of the folder"));
        if (relative->empty())
            return refused(f.entry.utf8Name.c_str() + std::string(": a file without a name"));
        files.push_back(std::move(*relative));
    }

    std::error_code error;
    const fs::path folderPath = pathOfText(folder);
    if (fs::exists(fs::symlink_status(folderPath, error))) {
        if (!fs::is_directory(fs::symlink_status(folderPath, error)))
            return refused(folder + ": exists and is not a folder");
        if (!fs::is_empty(folderPath, error))
            return refused(folder + ": not empty; unpack into a new or empty folder");
    }

    QixExtractResult result;
    auto failed = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };
    std::string whyNot;
    auto root = OutputFolder::openOrCreate(folder, &whyNot);
    if (!root)
        return failed(whyNot);
    FolderTree tree(root);
    for (const auto& d : directories) {
        if (!tree.reach(d, d.size(), &whyNot))
            return failed(whyNot);
    }
    result.directories = tree.made();

    OpenFile image;
    if (!image.openForReading(imagePath))
        return failed(imagePath + ": " + std::strerror(errno));
    std::vector<std::uint8_t> chunk(65536);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& parts = files[i];
        auto parent = tree.reach(parts, parts.size() - 1, &whyNot);
        if (!parent)
            return failed(whyNot);
        OutputFile out;
        if (!out.create(parent, parts.back(), OutputFile::Existing::Refuse, &whyNot))
            return failed(whyNot);
        const std::string target = out.targetPath();
        std::uint64_t left = listing.files[i].entry.fileSize;
        while (left > 0) {
            if (stopRequested && stopRequested()) {
                result.interrupted = true;
                return failed("interrupted; " + std::to_string(result.files) +
                              " files were complete, the one being written was removed");
            }
            const std::size_t n =
                image.read(chunk.data(), std::min<std::uint64_t>(left, chunk.size()));
            if (n == 0)
                return failed(imagePath + ": ends before " + target + " is complete");
            if (!out.write(chunk.data(), n))
                return failed(target + ": " + out.writeError());
            left -= n;
        }
        if (!out.commit(&whyNot))
            return failed(whyNot);
        ++result.files;
        result.bytes += listing.files[i].entry.fileSize;
    }
    return result;
}

}  // namespace zrk
