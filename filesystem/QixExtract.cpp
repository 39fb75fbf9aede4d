#include "filesystem/QixExtract.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "engine/OpenFile.h"
#include "filesystem/QixListing.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

// The phone path under the folder: separators and "." parts dropped as the phone drops them;
// nullopt for a ".." part, which could climb out.
std::optional<fs::path> relativePath(const std::string& utf8WithNul) {
    const std::string path = utf8WithNul.substr(0, utf8WithNul.find('\0'));
    fs::path relative;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..")
            return std::nullopt;
        if (!part.empty() && part != ".")
            relative /= part;
        start = end + 1;
    }
    return relative;
}

QixExtractResult refused(std::string text) {
    QixExtractResult result;
    result.error = std::move(text);
    result.refused = true;
    return result;
}

}  // namespace

QixExtractResult extractQixImage(const QixListing& listing, const std::string& imagePath,
                                 const std::string& folder) {
    if (!listing.ok())
        return refused(listing.messageText.empty() ? listing.logText : listing.messageText);

    // Every path first, so a bad one leaves nothing behind.
    std::vector<fs::path> directories, files;
    for (const auto& d : listing.directories) {
        auto relative = relativePath(d.utf8Name);
        if (!relative)
            return refused(d.utf8Name.c_str() + std::string(": the path climbs out of the folder"));
        directories.push_back(fs::path(folder) / *relative);
    }
    for (const auto& f : listing.files) {
        auto relative = relativePath(f.entry.utf8Name);
        if (!relative)
            return refused(f.entry.utf8Name.c_str() +
                           std::string(": the path climbs out of the folder"));
        if (relative->empty())
            return refused(f.entry.utf8Name.c_str() + std::string(": a file without a name"));
        files.push_back(fs::path(folder) / *relative);
    }

    std::error_code error;
    if (fs::exists(fs::symlink_status(folder, error))) {
        if (!fs::is_directory(fs::symlink_status(folder, error)))
            return refused(folder + ": exists and is not a folder");
        if (!fs::is_empty(folder, error))
            return refused(folder + ": not empty; unpack into a new or empty folder");
    }

    QixExtractResult result;
    auto failed = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };
    if (!fs::create_directories(folder, error) && error)
        return failed(folder + ": " + error.message());
    for (const auto& d : directories) {
        if (!fs::create_directories(d, error) && error)
            return failed(d.string() + ": " + error.message());
        if (!fs::is_directory(d, error))
            return failed(d.string() + ": a file of that name is in the way");
        ++result.directories;
    }

    OpenFile image;
    if (!image.openForReading(imagePath))
        return failed(imagePath + ": " + std::strerror(errno));
    std::vector<std::uint8_t> chunk(65536);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path& target = files[i];
        if (!fs::create_directories(target.parent_path(), error) && error)
            return failed(target.parent_path().string() + ": " + error.message());
        if (fs::is_directory(target, error))
            return failed(target.string() + ": a folder of that name is in the way");
        OpenFile out;
        if (!out.createPartFile(target.string()))
            return failed(OpenFile::partPath(target.string()) + ": " + std::strerror(errno));
        std::uint64_t left = listing.files[i].entry.fileSize;
        while (left > 0) {
            const std::size_t n =
                image.read(chunk.data(), std::min<std::uint64_t>(left, chunk.size()));
            if (n == 0)
                return failed(imagePath + ": ends before " + target.string() + " is complete");
            if (!out.write(chunk.data(), n))
                return failed(out.path() + ": " + std::strerror(errno));
            left -= n;
        }
        if (!out.commit())
            return failed(target.string() + ": cannot be completed: " + std::strerror(errno));
        ++result.files;
        result.bytes += listing.files[i].entry.fileSize;
    }
    return result;
}

}  // namespace zrk
