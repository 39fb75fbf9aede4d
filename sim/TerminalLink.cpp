#include "sim/TerminalLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace zrk::sim {
namespace {

std::optional<std::string> linkTarget(const std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

bool isPseudoTerminalName(const std::string& target) {
    const std::string prefix = "/dev/pts/";
    if (target.size() <= prefix.size() || target.compare(0, prefix.size(), prefix) != 0)
        return false;
    return target.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

// This user's link to a pseudo-terminal; with target given, to that one.
bool isOurTerminalLink(const std::string& path, const std::string* target) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    const auto points = linkTarget(path);
    return points && isPseudoTerminalName(*points) && (!target || *points == *target);
}

std::string systemReason(const std::string& what) {
    return "cannot link " + what + ": " + std::strerror(errno);
}

}  // namespace

bool placeTerminalLink(const std::string& path, const std::string& target, std::string* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT && ::symlink(target.c_str(), path.c_str()) == 0)
            return true;
        *error = systemReason(path);
        return false;
    }
    if (!isOurTerminalLink(path, nullptr)) {
        *error = path +
                 " is not a link to a pseudo-terminal that an earlier run left; it stays as it "
                 "is (remove it yourself or choose another --link)";
        return false;
    }
    // The fresh link is renamed over the old one: PATH never names anything in between.
    const std::string fresh = path + ".zrk410-phonesim-" + std::to_string(::getpid());
    if (::symlink(target.c_str(), fresh.c_str()) != 0) {
        *error = systemReason(fresh);
        return false;
    }
    if (::rename(fresh.c_str(), path.c_str()) != 0) {
        *error = systemReason(path);
        ::unlink(fresh.c_str());
        return false;
    }
    return true;
}

void removeTerminalLink(const std::string& path, const std::string& target) {
    if (isOurTerminalLink(path, &target))
        ::unlink(path.c_str());
}

}  // namespace zrk::sim
