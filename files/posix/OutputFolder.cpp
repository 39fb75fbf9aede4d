#include "files/OutputFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "files/posix/Descriptor.h"

namespace zrk {
namespace {

std::string systemReason(int error) {
    return std::strerror(error);
}

}  // namespace

OutputFolder::~OutputFolder() {
    if (m_Handle != kNoFile)
        ::close(descriptorOf(m_Handle));
}

bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= 255 &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::shared_ptr<OutputFolder> OutputFolder::openOrCreate(const std::string& path,
                                                         std::string* whyNot) {
    if (path.empty()) {
        if (whyNot)
            *whyNot = "no folder was named";
        return nullptr;
    }
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    // What already stands there (a file, a link) is judged by the open below.
    std::error_code made, looked;
    std::filesystem::create_directories(trimmed, made);
    if (made && !std::filesystem::exists(std::filesystem::symlink_status(trimmed, looked))) {
        if (whyNot)
            *whyNot = "cannot create the folder " + trimmed + ": " + made.message();
        return nullptr;
    }
    const int fd = ::open(trimmed.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        if (whyNot) {
            if (::lstat(trimmed.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
                *whyNot = trimmed + " is a symbolic link; name the folder itself";
            else if (error == ENOTDIR)
                *whyNot = trimmed + " is not a folder";
            else
                *whyNot = "cannot open the folder " + trimmed + ": " + systemReason(error);
        }
        return nullptr;
    }
    return std::shared_ptr<OutputFolder>(new OutputFolder(fd, trimmed));
}

std::shared_ptr<OutputFolder> OutputFolder::openParentOf(const std::string& filePath,
                                                         std::string* name, std::string* whyNot) {
    const auto slash = filePath.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : filePath.substr(0, slash);
    *name = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
    if (!isPlainFileName(*name)) {
        if (whyNot)
            *whyNot = filePath + " does not name a file";
        return nullptr;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (whyNot)
            *whyNot = "cannot open the folder " + folder + ": " + systemReason(errno);
        return nullptr;
    }
    return std::shared_ptr<OutputFolder>(new OutputFolder(fd, folder));
}

std::shared_ptr<OutputFolder> OutputFolder::child(const std::string& name, std::string* whyNot) {
    const std::string shown = pathOf(name);
    if (!isPlainFileName(name)) {
        if (whyNot)
            *whyNot = "'" + name + "' cannot be a folder's name";
        return nullptr;
    }
    if (!claim(name)) {
        if (whyNot)
            *whyNot = "another name of this copy already became " + shown;
        return nullptr;
    }
    if (::mkdirat(descriptorOf(m_Handle), name.c_str(), 0777) != 0 && errno != EEXIST) {
        if (whyNot)
            *whyNot = "cannot create the folder " + shown + ": " + systemReason(errno);
        return nullptr;
    }
    return enter(name, whyNot);
}

std::shared_ptr<OutputFolder> OutputFolder::enter(const std::string& name,
                                                  std::string* whyNot) const {
    const std::string shown = pathOf(name);
    if (!isPlainFileName(name)) {
        if (whyNot)
            *whyNot = "'" + name + "' cannot be a folder's name";
        return nullptr;
    }
    const int fd = ::openat(descriptorOf(m_Handle), name.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (whyNot) {
            struct stat st {};
            if (::fstatat(descriptorOf(m_Handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode))
                *whyNot = shown + " is a symbolic link that was already there; it is not followed";
            else if (error == ENOTDIR)
                *whyNot = shown + " exists and is not a folder";
            else
                *whyNot = "cannot open the folder " + shown + ": " + systemReason(error);
        }
        return nullptr;
    }
    return std::shared_ptr<OutputFolder>(new OutputFolder(fd, shown));
}

bool OutputFolder::claim(const std::string& name) {
    return m_Claimed.insert(name).second;
}

std::string OutputFolder::pathOf(const std::string& name) const {
    if (m_Path == ".")
        return name;
    return (m_Path.empty() || m_Path.back() != '/' ? m_Path + "/" : m_Path) + name;
}

}  // namespace zrk
