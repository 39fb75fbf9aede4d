#include "engine/OpenFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace zrk {

bool OpenFile::openForReading(const std::string& path) {
    close();
    m_File = std::fopen(path.c_str(), "rb");
    if (!m_File)
        return false;
    struct stat st {};
    if (::fstat(fileno(m_File), &st) != 0 || S_ISDIR(st.st_mode)) {
        close();
        return false;
    }
    useLargeBuffer();
    m_Path = path;
    return true;
}

void OpenFile::useLargeBuffer() {
    // Buffering only, before the first read or write, so a failure here changes nothing.
    m_Buffer = std::make_unique<char[]>(kBufferBytes);
    if (std::setvbuf(m_File, m_Buffer.get(), _IOFBF, kBufferBytes) != 0)
        m_Buffer.reset();
}

bool OpenFile::createForWriting(const std::string& path) {
    close();
    m_File = std::fopen(path.c_str(), "wb");
    if (!m_File)
        return false;
    useLargeBuffer();
    m_Path = path;
    return true;
}

bool OpenFile::createPartFile(const std::string& path) {
    close();
    const std::string part = partPath(path);
    m_File = std::fopen(part.c_str(), "wb");
    if (!m_File)
        return false;
    useLargeBuffer();
    m_Path = part;
    m_FinalPath = path;
    return true;
}

bool OpenFile::commit() {
    if (!m_File || m_FinalPath.empty())
        return false;
    // On disk before the rename: otherwise a crash could leave the new name on empty blocks.
    bool ok = std::fflush(m_File) == 0;
    ok = ok && ::fsync(fileno(m_File)) == 0;
    ok = std::fclose(m_File) == 0 && ok;
    m_File = nullptr;
    m_Buffer.reset();
    ok = ok && std::rename(m_Path.c_str(), m_FinalPath.c_str()) == 0;
    if (ok) {
        // The rename itself lives in the folder; where the folder cannot be synced the file is
        // still complete under its name, so this is not a failure of the commit.
        const auto slash = m_FinalPath.rfind('/');
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : m_FinalPath.substr(0, slash);
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    m_Path.clear();
    m_FinalPath.clear();
    return ok;
}

std::size_t OpenFile::read(std::uint8_t* buffer, std::size_t capacity) {
    return m_File ? std::fread(buffer, 1, capacity, m_File) : 0;
}

bool OpenFile::write(const std::uint8_t* data, std::size_t length) {
    return m_File && std::fwrite(data, 1, length, m_File) == length;
}

std::optional<std::uint64_t> OpenFile::size() {
    if (!m_File)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fileno(m_File), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool OpenFile::close() {
    bool ok = true;
    if (m_File)
        ok = std::fclose(m_File) == 0;
    m_File = nullptr;
    m_Buffer.reset();
    m_Path.clear();
    m_FinalPath.clear();
    return ok;
}

std::optional<std::uint64_t> fileLength(const std::string& path) {
    OpenFile file;
    if (!file.openForReading(path))
        return std::nullopt;
    return file.size();
}

}  // namespace zrk
