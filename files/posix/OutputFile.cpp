#include "files/OutputFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/OutputFolder.h"
#include "files/OutputTarget.h"
#include "files/posix/Descriptor.h"

namespace zrk {
namespace {

// Room for ".", "." and six letters of its own and ".part" within the 255 bytes of a name, for
// a target of any allowed length.
constexpr std::size_t kTempPrefixBytes = 200;

std::string reason(int error) {
    return std::strerror(error);
}

// Cut at a character's start, so that a shortened UTF-8 name stays readable.
std::string utf8Prefix(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string randomLetters() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char raw[6] = {};
    if (::getrandom(raw, sizeof raw, 0) != static_cast<ssize_t>(sizeof raw)) {
        // Uniqueness comes from O_EXCL; the letters only make a clash unlikely.
        static unsigned counter = 0;
        const unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u + ++counter;
        for (std::size_t i = 0; i < sizeof raw; ++i)
            raw[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string letters;
    for (unsigned char byte : raw)
        letters += kLetters[byte % (sizeof kLetters - 1)];
    return letters;
}

// Gives from the name to, never replacing what stands there.
bool renameNoReplace(int folder, const std::string& from, const std::string& to, int* error) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        *error = errno;
        return false;
    }
    // A file system without the flag: a hard link fails the same way on a taken name.
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0) {
        *error = errno;
        return false;
    }
    ::unlinkat(folder, from.c_str(), 0);
    return true;
}

}  // namespace

bool OutputFile::openDevice(const std::string& path, bool throughLink, std::string* whyNot) {
    // Non-blocking for the open only: a serial line without carrier would hold it, and so
    // would a FIFO that took the device's place since it was judged.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK |
                                            (throughLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        if (whyNot)
            *whyNot = "cannot open " + path + ": " + reason(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(fd);
        if (whyNot)
            *whyNot = path + " changed into something other than a device; nothing was written";
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_Stream = true;
    m_TargetPath = path;
    begin(fd);
    return true;
}

bool OutputFile::openDescriptor(const std::string& path, int descriptor, std::string* whyNot) {
    // The descriptor itself, as the shell opened it (appending, at its offset): reopening
    // /proc/self/fd/N would start a file over at its first byte.
    const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        if (whyNot)
            *whyNot = "cannot open " + path + ": " + reason(errno);
        return false;
    }
    m_Stream = true;
    m_TargetPath = path;
    begin(fd);
    return true;
}

NativeFile OutputFile::createTemporary(std::string* whyNot) {
    const std::string prefix = "." + utf8Prefix(m_Name, kTempPrefixBytes) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = prefix + randomLetters() + ".part";
        // O_EXCL with O_CREAT never follows a link and never opens a file that was there.
        // Readable too, so that the bytes can move to another file (rehome).
        const int fd = ::openat(descriptorOf(m_Folder->handle()), candidate.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_TempName = candidate;
            return fd;
        }
        if (errno != EEXIST) {
            if (whyNot)
                *whyNot = "cannot create a file in " + m_Folder->path() + ": " + reason(errno);
            return kNoFile;
        }
    }
    if (whyNot)
        *whyNot = "cannot create a file in " + m_Folder->path() + ": every name tried was taken";
    return kNoFile;
}

bool OutputFile::holdsFileNamed(const std::string& name) const {
    struct stat held {};
    struct stat named {};
    return m_Folder && m_File != kNoFile && ::fstat(descriptorOf(m_File), &held) == 0 &&
           ::fstatat(descriptorOf(m_Folder->handle()), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) ==
               0 &&
           S_ISREG(named.st_mode) && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

bool OutputFile::rehome() {
    const int fd = static_cast<int>(createTemporary(nullptr));
    if (fd < 0)
        return false;
    std::vector<std::uint8_t> chunk(kBufferBytes);
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(descriptorOf(m_File), chunk.data(), chunk.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t n =
                ::write(fd, chunk.data() + done, static_cast<std::size_t>(got - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ::close(fd);
                ::unlinkat(descriptorOf(m_Folder->handle()), m_TempName.c_str(), 0);
                return false;
            }
            done += n;
        }
        offset += got;
    }
    closeFile();
    m_File = fd;
    return true;
}

bool OutputFile::flush() {
    if (m_File == kNoFile || !m_WriteError.empty())
        return false;
    std::size_t done = 0;
    while (done < m_Buffer.size()) {
        const ssize_t n =
            ::write(descriptorOf(m_File), m_Buffer.data() + done, m_Buffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_WriteErrorCode = std::error_code(n < 0 ? errno : EIO, std::generic_category());
            m_WriteError = m_WriteErrorCode.message();
            m_Buffer.erase(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(done));
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    m_Buffer.clear();
    return true;
}

bool OutputFile::commit(std::string* whyNot) {
    if (m_File == kNoFile || !m_KeptPath.empty()) {
        if (whyNot)
            *whyNot = "the file is not open";
        return false;
    }
    const auto failed = [&](const std::string& what) {
        if (whyNot)
            *whyNot = what;
        return false;
    };
    if (!flush())
        return failed("cannot write " + m_TargetPath + ": " + m_WriteError);
    if (m_Stream) {
        closeFile();
        m_Stream = false;
        return true;
    }
    // On disk before the rename: otherwise a crash could leave the name on empty blocks.
    if (::fsync(descriptorOf(m_File)) != 0) {
        m_WriteErrorCode = std::error_code(errno, std::generic_category());
        m_WriteError = m_WriteErrorCode.message();
        return failed("cannot write " + m_TargetPath + ": " + m_WriteError);
    }
    const int folder = descriptorOf(m_Folder->handle());
    if (!holdsFileNamed(m_TempName))
        return failed("the hidden file " + m_Folder->pathOf(m_TempName) +
                      " was replaced by something else while it was written; " + m_TargetPath +
                      " was left as it was");
    if (m_Existing == Existing::Replace) {
        if (::renameat(folder, m_TempName.c_str(), folder, m_Name.c_str()) != 0)
            return failed("cannot give " + m_TargetPath + " its name: " + reason(errno));
    } else {
        int error = 0;
        if (!renameNoReplace(folder, m_TempName, m_Name, &error))
            return failed(error == EEXIST
                              ? m_TargetPath + " already exists; it was left as it was"
                              : "cannot give " + m_TargetPath + " its name: " + reason(error));
    }
    // A swap between the look and the rename: what took the name is not ours, so it goes.
    if (!holdsFileNamed(m_Name)) {
        ::unlinkat(folder, m_Name.c_str(), 0);
        return failed("the hidden file of " + m_TargetPath +
                      " was replaced by something else while it was written; nothing was left "
                      "under that name");
    }
    closeFile();
    // The rename lives in the folder; where the folder cannot be synced the file is still
    // complete under its name.
    ::fsync(folder);
    m_Folder.reset();
    m_TempName.clear();
    return true;
}

std::string OutputFile::keepPartial() {
    if (m_File == kNoFile || !m_KeptPath.empty())
        return m_KeptPath;
    flush();
    if (m_Stream) {
        m_KeptPath = m_TargetPath;
        return m_KeptPath;
    }
    // What stands under the hidden name may no longer be this file: the bytes are kept in one
    // of its own rather than under a name someone else chose.
    if (!holdsFileNamed(m_TempName) && !rehome())
        return m_KeptPath;
    m_KeptPath = m_Folder->pathOf(m_TempName);
    int error = 0;
    const std::string partName = m_Name + ".part";
    // An open file keeps its descriptor through a rename.
    if (isPlainFileName(partName) &&
        renameNoReplace(descriptorOf(m_Folder->handle()), m_TempName, partName, &error)) {
        if (holdsFileNamed(partName)) {
            m_KeptPath = m_Folder->pathOf(partName);
            m_TempName = partName;
        } else {
            // Swapped between the look and the rename: that is not ours to keep.
            ::unlinkat(descriptorOf(m_Folder->handle()), partName.c_str(), 0);
            m_KeptPath = rehome() ? m_Folder->pathOf(m_TempName) : std::string();
        }
    }
    return m_KeptPath;
}

void OutputFile::discard() {
    if (m_File != kNoFile) {
        // Only the file this object made: a name someone swapped in stays as they left it.
        if (m_KeptPath.empty() && !m_Stream && holdsFileNamed(m_TempName))
            ::unlinkat(descriptorOf(m_Folder->handle()), m_TempName.c_str(), 0);
        closeFile();
    }
    m_Stream = false;
    m_Folder.reset();
    m_TempName.clear();
    m_KeptPath.clear();
    m_Buffer.clear();
}

int OutputFile::writeErrorNumber() const {
    return m_WriteErrorCode.value();
}

void OutputFile::closeFile() {
    if (m_File != kNoFile)
        ::close(descriptorOf(m_File));
    m_File = kNoFile;
}

}  // namespace zrk
