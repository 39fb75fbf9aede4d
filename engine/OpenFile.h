#pragma once
// A file an operation reads across notifications (the firmware image during a download), with
// the "open" flag that finishOperation and Stop honour. Files are written through OutputFile.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace zrk {

class OpenFile {
  public:
    OpenFile() = default;
    ~OpenFile() { close(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    bool openForReading(const std::string& path);
    bool isOpen() const { return m_File != nullptr; }
    const std::string& path() const { return m_Path; }
    // Bytes read; 0 at the end or on error.
    std::size_t read(std::uint8_t* buffer, std::size_t capacity);
    std::optional<std::uint64_t> size();
    bool close();

  private:
    // Images move a block at a time; a buffer of many blocks saves a system call
    // every block or two. glibc takes the size only together with a buffer of our own.
    static constexpr std::size_t kBufferBytes = 64 * 1024;
    void useLargeBuffer();

    std::FILE* m_File = nullptr;
    std::unique_ptr<char[]> m_Buffer;  // the stream's while it is open
    std::string m_Path;
};

// Length of the file at path, nullopt when it cannot be opened for reading.
std::optional<std::uint64_t> fileLength(const std::string& path);

}  // namespace zrk
