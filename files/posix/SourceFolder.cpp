#include "files/SourceFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/RegularFileReader.h"
#include "files/posix/Descriptor.h"

namespace zrk {
namespace {

std::string reason(int error) {
    return std::strerror(error);
}

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

SourceFolder::~SourceFolder() {
    if (m_Handle != kNoFile)
        ::close(descriptorOf(m_Handle));
}

std::shared_ptr<SourceFolder> SourceFolder::adopt(NativeFile handle, std::string path,
                                                  std::string* whyNot) {
    const int fd = descriptorOf(handle);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        if (whyNot)
            *whyNot = "cannot look at the folder " + path + ": " + reason(error);
        return nullptr;
    }
    return std::shared_ptr<SourceFolder>(new SourceFolder(fd, std::move(path), identityOf(st)));
}

std::shared_ptr<SourceFolder> SourceFolder::open(const std::string& path, std::string* whyNot) {
    std::string trimmed = path;
    // "DIR/" would follow a link at DIR.
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const int fd = ::open(trimmed.c_str(), kFolderFlags);
    if (fd < 0) {
        const int error = errno;
        if (whyNot) {
            struct stat st {};
            if (::lstat(trimmed.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
                *whyNot = "a symbolic link; name the folder itself";
            else if (error == ENOTDIR)
                *whyNot = "not a folder";
            else
                *whyNot = "cannot open the folder: " + reason(error);
        }
        return nullptr;
    }
    return adopt(fd, trimmed, whyNot);
}

std::shared_ptr<SourceFolder> SourceFolder::enter(const std::string& name,
                                                  std::string* whyNot) const {
    const int fd = ::openat(descriptorOf(m_Handle), name.c_str(), kFolderFlags);
    if (fd < 0) {
        const int error = errno;
        if (whyNot) {
            struct stat st {};
            if (::fstatat(descriptorOf(m_Handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode))
                *whyNot = "a symbolic link where a folder was; it is not followed";
            else if (error == ENOTDIR)
                *whyNot = "no longer a folder";
            else
                *whyNot = "cannot open the folder: " + reason(error);
        }
        return nullptr;
    }
    return adopt(fd, pathOf(name), whyNot);
}

bool SourceFolder::list(std::vector<SourceEntry>* entries, std::string* whyNot) const {
    // The stream gets a descriptor of its own, so this folder's stays as it is.
    const int fd = ::openat(descriptorOf(m_Handle), ".", kFolderFlags);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (whyNot)
            *whyNot = "cannot read the folder: " + reason(error);
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir);
        if (!item) {
            if (errno != 0) {
                ok = false;
                if (whyNot)
                    *whyNot = "cannot read the folder: " + reason(errno);
            }
            break;
        }
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(descriptorOf(m_Handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            if (whyNot)
                *whyNot = pathOf(name) + ": " + reason(errno);
            break;
        }
        SourceEntry entry;
        entry.name = name;
        entry.link = S_ISLNK(st.st_mode);
        entry.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
                     : S_ISDIR(st.st_mode) ? FileKind::Directory
                                           : FileKind::Other;
        entry.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
        entry.identity = identityOf(st);
        entries->push_back(std::move(entry));
    }
    ::closedir(dir);
    return ok;
}

bool SourceFolder::openFile(const std::string& name, RegularFileReader& reader,
                            FileIdentity* identity, std::string* whyNot) const {
    reader.close();
    // O_NONBLOCK: a FIFO swapped in does not hold the open until a writer comes.
    const int fd = ::openat(descriptorOf(m_Handle), name.c_str(),
                            O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (whyNot) {
            struct stat st {};
            if (::fstatat(descriptorOf(m_Handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode))
                *whyNot = "a symbolic link where a file was; it is not followed";
            else
                *whyNot = reason(error);
        }
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (whyNot)
            *whyNot = "no longer a regular file";
        return false;
    }
    reader.m_Handle = fd;
    reader.m_Size = static_cast<std::uint64_t>(st.st_size);
    if (identity)
        *identity = identityOf(st);
    return true;
}

std::string SourceFolder::pathOf(const std::string& name) const {
    if (m_Path == ".")
        return name;
    return (m_Path.empty() || m_Path.back() != '/' ? m_Path + "/" : m_Path) + name;
}

}  // namespace zrk
