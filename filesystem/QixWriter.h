#pragma once
// Makes a file-system image and its configuration from a folder on the PC, the way the reader
// in QixConfig takes them apart: directories first, then files, each group sorted by its path
// bytewise, so the same folder always gives the same two files. Everything that the phone or
// the reader would take differently from the folder is refused before anything is written,
// and both files appear under their names only when both are complete. The folder is read
// through descriptors from the top down, never through a link at any level.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zrk {

class CodePage;

struct QixWriteRequest {
    std::string folder;     // the tree to pack; the names on the PC are UTF-8
    std::string imagePath;  // FILE.qix; the configuration goes beside it (configPathFor)
    std::string version;    // at most 16 bytes in the code page, padded with blanks
    std::optional<std::string> release;  // at most 12 bytes; none: no release version line
    // Asked between entries and between chunks of a file: true ends the run with nothing
    // written (Ctrl-C). Empty: never.
    std::function<bool()> stopRequested;
};

struct QixWriteResult {
    std::string error;         // what stopped it, naming the path; empty on success
    bool refused = false;      // the folder or a text cannot be made into an image (else: file I/O)
    bool interrupted = false;  // stopRequested said so; nothing was left behind
    std::size_t directories = 0;
    std::size_t files = 0;
    std::uint64_t bytes = 0;

    bool ok() const { return error.empty(); }
};

QixWriteResult writeQixImage(const QixWriteRequest& request, const CodePage& codePage);

// Why the version and release texts cannot go into a configuration; empty when they can.
std::string qixTextProblem(const std::string& version, const std::optional<std::string>& release,
                           const CodePage& codePage);

// The version a folder's image gets when none is given: the folder's own name, cut to what
// 16 bytes of the code page hold ("QIX" when nothing of it fits).
std::string defaultQixVersion(const std::string& folder, const CodePage& codePage);

}  // namespace zrk
