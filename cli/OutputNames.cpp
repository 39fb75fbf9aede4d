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

std::string perPortPath(const std::string& path, const std::string& portName) {
    std::string tag = portName;
    if (const auto slash = tag.rfind('/'); slash != std::string::npos)
        tag = tag.substr(slash + 1);
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A leading dot names a hidden file, not an extension.
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    if (!hasExtension)
        return path + "-" + tag;
    return path.substr(0, dot) + "-" + tag + path.substr(dot);
}

}  // namespace zrk::cli
