#pragma once
// A file an operation keeps open across notifications (the firmware image during a download,
// the dump output during a dump), with the "open" flag that finishOperation and Stop honour.
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
    bool createForWriting(const std::string& path);  // truncates an existing file
    // Creates (truncating) partPath(path) instead: path itself is left as it was until commit,
    // so a transfer that fails half-way never leaves a torn file under the name asked for.
    bool createPartFile(const std::string& path);
    // Flushes, syncs and closes the part file, then renames it to the name asked for. False on
    // any failure; the part file then stays behind with what it holds.
    bool commit();
    static std::string partPath(const std::string& path) { return path + ".part"; }
    bool isOpen() const { return m_File != nullptr; }
    bool isUncommittedPart() const { return m_File != nullptr && !m_FinalPath.empty(); }
    // The file being written (the part file until commit).
    const std::string& path() const { return m_Path; }
    // Bytes read; 0 at the end or on error.
    std::size_t read(std::uint8_t* buffer, std::size_t capacity);
    bool write(const std::uint8_t* data, std::size_t length);
    std::optional<std::uint64_t> size();
    // Returns false when buffered data could not be written out. A part file that was not
    // committed stays a part file.
    bool close();

  private:
    // Images and dumps move a block at a time; a buffer of many blocks saves a system call
    // every block or two. glibc takes the size only together with a buffer of our own.
    static constexpr std::size_t kBufferBytes = 64 * 1024;
    void useLargeBuffer();

    std::FILE* m_File = nullptr;
    std::unique_ptr<char[]> m_Buffer;  // the stream's while it is open
    std::string m_Path;
    std::string m_FinalPath;  // set for a part file only
};

// Length of the file at path, nullopt when it cannot be opened for reading.
std::optional<std::uint64_t> fileLength(const std::string& path);

}  // namespace zrk
