#pragma once
// A file an operation keeps open across notifications (the firmware image during a download,
// the dump output during a dump), with the "open" flag that finishOperation and Stop honour.
#include <cstddef>
#include <cstdint>
#include <cstdio>
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
    bool createForWriting(const std::string& path);  // truncates an existing file
    bool isOpen() const { return m_File != nullptr; }
    const std::string& path() const { return m_Path; }
    // Bytes read; 0 at the end or on error.
    std::size_t read(std::uint8_t* buffer, std::size_t capacity);
    bool write(const std::uint8_t* data, std::size_t length);
    std::optional<std::uint64_t> size();
    // Returns false when buffered data could not be written out.
    bool close();

  private:
    std::FILE* m_File = nullptr;
    std::string m_Path;
};

// Length of the file at path, nullopt when it cannot be opened for reading.
std::optional<std::uint64_t> fileLength(const std::string& path);

}  // namespace zrk
