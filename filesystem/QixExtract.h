#pragma once
// Unpacks an image into a folder on the PC: the directories and files of a checked listing,
// with the names in UTF-8. A path that would climb out of the folder is refused, the folder
// must be new or empty (so nothing in it can redirect a write), and each file appears under
// its name only when it is complete.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zrk {

struct QixListing;

struct QixExtractResult {
    std::string error;         // what stopped it, naming the path; empty on success
    bool refused = false;      // the listing or the folder cannot be unpacked (else: file I/O)
    bool interrupted = false;  // stopRequested said so; the file being written was removed
    std::size_t directories = 0;
    std::size_t files = 0;
    std::uint64_t bytes = 0;

    bool ok() const { return error.empty(); }
};

// listing: readQixListing of the image, which must be ok(). stopRequested is asked between
// chunks (Ctrl-C): true ends the unpacking there, the files completed so far staying.
QixExtractResult extractQixImage(const QixListing& listing, const std::string& imagePath,
                                 const std::string& folder,
                                 const std::function<bool()>& stopRequested = {});

}  // namespace zrk
