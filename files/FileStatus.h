#pragma once
// What the system says about a path, in words of our own: the layers above ask here instead of
// calling the system, so that another system is a folder beside posix/, not edits everywhere.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

namespace zrk {

enum class FileKind { Regular, Directory, Other };

struct FileStatus {
    FileKind kind = FileKind::Other;
    std::uint64_t size = 0;
    bool regular() const { return kind == FileKind::Regular; }
    bool directory() const { return kind == FileKind::Directory; }
};

// Follows symbolic links. nullopt, with why (when asked) saying why, when the path cannot be
// looked at.
std::optional<FileStatus> fileStatus(const std::string& path, std::error_code* why = nullptr);
// The file behind a stream this program opened.
std::optional<FileStatus> fileStatus(std::FILE* stream);

// Two names, one file: the device and the file's number on it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
std::optional<FileIdentity> fileIdentity(const std::string& path, std::error_code* why = nullptr);

// What this process may do, asked of the system (which knows groups, ACLs and read-only
// mounts); false with why (when asked) saying why.
bool pathExists(const std::string& path, std::error_code* why = nullptr);
bool mayRead(const std::string& path, std::error_code* why = nullptr);
bool mayWrite(const std::string& path, std::error_code* why = nullptr);
// Create (and so also name) files in the folder.
bool mayCreateIn(const std::string& folder, std::error_code* why = nullptr);

}  // namespace zrk
