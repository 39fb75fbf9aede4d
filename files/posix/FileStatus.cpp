#include "files/FileStatus.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zrk {

namespace {

FileStatus statusOf(const struct stat& st) {
    const FileKind kind = S_ISREG(st.st_mode)   ? FileKind::Regular
                          : S_ISDIR(st.st_mode) ? FileKind::Directory
                                                : FileKind::Other;
    return {kind, static_cast<std::uint64_t>(st.st_size)};
}

}  // namespace

std::optional<FileStatus> fileStatus(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return statusOf(st);
}

std::optional<FileStatus> fileStatus(std::FILE* stream) {
    struct stat st {};
    if (!stream || ::fstat(::fileno(stream), &st) != 0)
        return std::nullopt;
    return statusOf(st);
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

bool pathExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

bool mayRead(const std::string& path) {
    return ::access(path.c_str(), R_OK) == 0;
}

bool mayWrite(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

bool mayCreateIn(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace zrk
