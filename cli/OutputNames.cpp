#include "cli/OutputNames.h"

#include <filesystem>
#include <optional>

#include "files/FileStatus.h"

namespace zrk::cli {
namespace {

namespace fs = std::filesystem;

// The file a path names, as far as the system can say before it exists.
std::string resolved(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error)
        return path;
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return (error ? absolute.lexically_normal() : canonical).string();
}

}  // namespace

std::string outputClash(const std::vector<NamedOutput>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].path.empty())
            continue;
        for (std::size_t j = 0; j < i; ++j) {
            if (outputs[j].path.empty())
                continue;
            const auto a = fileIdentity(outputs[i].path);
            const bool same = resolved(outputs[i].path) == resolved(outputs[j].path) ||
                              (a && a == fileIdentity(outputs[j].path));
            if (same)
                return outputs[j].what + " and " + outputs[i].what + " would both write " +
                       outputs[i].path + "; give each its own name";
        }
    }
    return {};
}

}  // namespace zrk::cli
