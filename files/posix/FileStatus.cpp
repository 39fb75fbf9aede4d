#include "files/FileStatus.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zrk {

namespace {

FileStatus statusOf(const struct stat& st) {
    const FileKind kind = S_ISREG(st.st_mode)   ? FileKind::Regular
                          : S_ISDIR(st.st_mode) ? FileKind::Directory
                                                : FileKind::Other;
    return {kind, static_cast<std::uint64_t>(st.st_size)};
}

// False, with why (when asked) set from errno.
bool failed(std::error_code* why) {
    if (why)
        *why = std::error_code(errno, std::generic_category());
    return false;
}

bool allowed(const std::string& path, int mode, std::error_code* why) {
    return ::access(path.c_str(), mode) == 0 || failed(why);
}

}  // namespace

std::optional<FileStatus> fileStatus(const std::string& path, std::error_code* why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        failed(why);
        return std::nullopt;
    }
    return statusOf(st);
}

std::optional<FileStatus> fileStatus(std::FILE* stream) {
    struct stat st {};
    if (!stream || ::fstat(::fileno(stream), &st) != 0)
        return std::nullopt;
    return statusOf(st);
}

std::optional<FileIdentity> fileIdentity(const std::string& path, std::error_code* why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        failed(why);
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

bool pathExists(const std::string& path, std::error_code* why) {
    return allowed(path, F_OK, why);
}

bool mayRead(const std::string& path, std::error_code* why) {
    return allowed(path, R_OK, why);
}

bool mayWrite(const std::string& path, std::error_code* why) {
    return allowed(path, W_OK, why);
}

bool mayCreateIn(const std::string& folder, std::error_code* why) {
    return allowed(folder, W_OK | X_OK, why);
}

}  // namespace zrk
