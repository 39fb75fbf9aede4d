#include "engine/OpenFile.h"

#include <cstdio>

#include "files/FileStatus.h"

namespace zrk {

bool OpenFile::openForReading(const std::string& path) {
    close();
    m_File = std::fopen(path.c_str(), "rb");
    if (!m_File)
        return false;
    const auto status = fileStatus(m_File);
    if (!status || status->directory()) {
        close();
        return false;
    }
    useLargeBuffer();
    m_Path = path;
    return true;
}

void OpenFile::useLargeBuffer() {
    // Buffering only, before the first read or write, so a failure here changes nothing.
    // Left as it comes: stdio fills it before it reads from it.
    m_Buffer = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    if (std::setvbuf(m_File, m_Buffer.get(), _IOFBF, kBufferBytes) != 0)
        m_Buffer.reset();
}

std::size_t OpenFile::read(std::uint8_t* buffer, std::size_t capacity) {
    return m_File ? std::fread(buffer, 1, capacity, m_File) : 0;
}

std::optional<std::uint64_t> OpenFile::size() {
    if (!m_File)
        return std::nullopt;
    const auto status = fileStatus(m_File);
    if (!status)
        return std::nullopt;
    return status->size;
}

bool OpenFile::close() {
    bool ok = true;
    if (m_File)
        ok = std::fclose(m_File) == 0;
    m_File = nullptr;
    m_Buffer.reset();
    m_Path.clear();
    return ok;
}

std::optional<std::uint64_t> fileLength(const std::string& path) {
    // Opened as for reading, but nothing is read: no buffer for it.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    const auto status = fileStatus(file);
    std::fclose(file);
    if (!status || status->directory())
        return std::nullopt;
    return status->size;
}

}  // namespace zrk
