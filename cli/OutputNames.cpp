#include "cli/OutputNames.h"

#include <filesystem>
#include <optional>

#include "files/FileStatus.h"
#include "files/OutputTarget.h"
#include "files/PathText.h"

namespace zrk::cli {
namespace {

namespace fs = std::filesystem;

// The file a path names, as far as the system can say before it exists.
std::string resolved(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(pathOfText(path), error);
    if (error)
        return path;
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return textOfPath(error ? absolute.lexically_normal() : canonical);
}

bool sameFile(const std::string& a, const std::string& b) {
    if (resolved(a) == resolved(b))
        return true;
    const auto identity = fileIdentity(a);
    return identity && identity == fileIdentity(b);
}

// The path or one of the folders above it is the folder (by identity: another name for it,
// a bind mount, counts).
bool liesInside(const std::string& path, const std::string& folder) {
    const auto folderIdentity = fileIdentity(folder);
    const fs::path folderPath = pathOfText(resolved(folder));
    fs::path p = pathOfText(resolved(path));
    while (true) {
        if (p == folderPath || (folderIdentity && fileIdentity(textOfPath(p)) == folderIdentity))
            return true;
        if (!p.has_relative_path())
            return false;
        p = p.parent_path();
    }
}

}  // namespace

std::string outputClash(const std::vector<NamedOutput>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].path.empty())
            continue;
        for (std::size_t j = 0; j < i; ++j) {
            if (outputs[j].path.empty())
                continue;
            if (sameFile(outputs[i].path, outputs[j].path))
                return outputs[j].what + " and " + outputs[i].what + " would both write " +
                       outputs[i].path + "; give each its own name";
        }
    }
    return {};
}

std::string inputClash(const std::vector<NamedOutput>& outputs,
                       const std::vector<NamedInput>& inputs) {
    for (const NamedOutput& output : outputs) {
        if (output.path.empty())
            continue;
        for (const NamedInput& input : inputs) {
            if (input.path.empty())
                continue;
            if (input.folder ? liesInside(output.path, input.path)
                             : sameFile(output.path, input.path))
                return output.what + " (" + output.path + ") " +
                       (input.folder ? "lies inside " : "is the file of ") + input.what + " (" +
                       input.path + "); an output never replaces what the run reads, give it " +
                       "another name";
        }
    }
    return {};
}

std::string unwritableOutput(const std::vector<NamedOutput>& outputs) {
    for (const NamedOutput& output : outputs) {
        if (output.path.empty() || output.folder)
            continue;
        if (std::string refusal = outputTargetRefusal(output.path); !refusal.empty())
            return output.what + ": " + refusal;
    }
    return {};
}

std::string outputsRefusal(const std::vector<NamedOutput>& outputs,
                           const std::vector<NamedInput>& inputs) {
    if (std::string refusal = unwritableOutput(outputs); !refusal.empty())
        return refusal;
    if (std::string clash = outputClash(outputs); !clash.empty())
        return clash;
    return inputClash(outputs, inputs);
}

std::vector<NamedInput> imageInputs(const std::string& binPath, const std::string& qixPath,
                                    const std::string& cfgPath) {
    std::vector<NamedInput> inputs;
    if (!binPath.empty())
        inputs.push_back({"--bin", binPath});
    if (!qixPath.empty())
        inputs.push_back({"--qix", qixPath});
    if (!cfgPath.empty())
        inputs.push_back({"the .cfg beside --qix", cfgPath});
    return inputs;
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
