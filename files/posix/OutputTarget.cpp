#include "files/OutputTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace zrk {
namespace {

constexpr const char* kWhereOutputsGo =
    "; outputs are written only to regular files or to devices under /dev";

bool allDigits(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The number of a descriptor the path names, or -1.
int descriptorNamed(const std::string& path) {
    if (path == "/dev/stdout")
        return 1;
    if (path == "/dev/stderr")
        return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::string p = prefix;
        if (path.compare(0, p.size(), p) == 0 && allDigits(path.substr(p.size())))
            return std::stoi(path.substr(p.size()));
    }
    return -1;
}

// The path as typed lies in the system's own device folders: under /dev/, with no ".." to
// climb out, and in no folder others may write to (/dev/shm and /dev/mqueue are anybody's).
bool inDeviceFolder(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        return false;
    for (const auto& part : absolute)
        if (part == "..")
            return false;
    const std::filesystem::path normal = absolute.lexically_normal();
    const std::string text = normal.string();
    if (text.compare(0, 5, "/dev/") != 0 || text.size() == 5)
        return false;
    for (std::filesystem::path folder = normal.parent_path(); folder.string().size() >= 4;
         folder = folder.parent_path()) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || (st.st_mode & S_IWOTH))
            return false;
    }
    return true;
}

OutputTarget refused(const std::string& path, const std::string& what) {
    OutputTarget target;
    target.refusal = path + what;
    return target;
}

OutputTarget ofKind(OutputTarget::Kind kind) {
    OutputTarget target;
    target.kind = kind;
    return target;
}

}  // namespace

OutputTarget judgeOutputTarget(const std::string& path) {
    if (const int fd = descriptorNamed(path); fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return refused(path, std::string(": ") + std::strerror(errno));
        if (S_ISDIR(st.st_mode) || S_ISBLK(st.st_mode))
            return refused(path, " is a folder or a disk, not written to");
        OutputTarget target = ofKind(OutputTarget::Kind::Descriptor);
        target.descriptor = fd;
        return target;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return ofKind(OutputTarget::Kind::File);
    if (S_ISREG(st.st_mode))
        return ofKind(OutputTarget::Kind::File);
    if (S_ISDIR(st.st_mode))
        return refused(path, " is a folder; give the name of a file");
    if (S_ISFIFO(st.st_mode))
        return refused(path, std::string(" is a FIFO") + kWhereOutputsGo);
    if (S_ISCHR(st.st_mode))
        return inDeviceFolder(path)
                   ? ofKind(OutputTarget::Kind::Device)
                   : refused(path, std::string(" is a device outside /dev's own folders") +
                                       kWhereOutputsGo);
    if (!S_ISLNK(st.st_mode))
        return refused(path, " is a device or special file that is not written to");

    // A link to a file (or to nothing) is replaced by the output, never written through.
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0 || S_ISREG(target.st_mode) || S_ISDIR(target.st_mode))
        return ofKind(OutputTarget::Kind::File);
    if (S_ISFIFO(target.st_mode))
        return refused(path, std::string(" is a link to a FIFO") + kWhereOutputsGo);
    if (!S_ISCHR(target.st_mode))
        return refused(path, " is a link to a device or special file that is not written to");
    if (!inDeviceFolder(path))
        return refused(path, std::string(" is a link to a device") + kWhereOutputsGo);
    // /dev's own links (/dev/serial/by-id/...) are the system's; one another account left in
    // a shared folder such as /dev/shm is not followed.
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return refused(path, " is a link to a device made by another account; it is not followed");
    OutputTarget device = ofKind(OutputTarget::Kind::Device);
    device.throughLink = true;
    return device;
}

std::string outputTargetRefusal(const std::string& path) {
    const OutputTarget target = judgeOutputTarget(path);
    return target.kind == OutputTarget::Kind::Refused ? target.refusal : std::string();
}

}  // namespace zrk
