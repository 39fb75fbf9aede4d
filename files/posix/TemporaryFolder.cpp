#include "files/TemporaryFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>

namespace zrk {

std::optional<std::string> makeTemporaryFolder(const std::string& prefix) {
    // TMPDIR naming a folder that is gone must be a refusal, not an exception.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        return std::nullopt;
    std::string folder = (base / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(folder.data()))  // mode 0700: the read-back files are the user's alone
        return std::nullopt;
    return folder;
}

}  // namespace zrk
