#pragma once
// A new, empty folder of the user's own in the system's folder for temporary files, for work
// that is removed afterwards.
#include <optional>
#include <string>

namespace zrk {

// The folder's path, its name starting with prefix and made unique by the system; nullopt when
// there is no usable temporary folder or the new one cannot be made. Never throws.
std::optional<std::string> makeTemporaryFolder(const std::string& prefix);

}  // namespace zrk
