#pragma once
// A regular file read from start to end without ever waiting on anyone: a FIFO would wait for a
// writer at its open and a device such as /dev/zero never ends, so both are refused by kind,
// judged through the open file (a path swapped since it was looked at cannot slip past).
#include <cstddef>
#include <cstdint>
#include <string>

#include "files/NativeFile.h"

namespace zrk {

class SourceFolder;

class RegularFileReader {
  public:
    enum class Open { Opened, Failed, NotRegular };
    struct Options {
        // Look at the path before opening it, so that a device is never opened at all (opening
        // a serial port can already change its lines).
        bool lookFirst = false;
        bool followLinks = true;
    };

    RegularFileReader() = default;
    ~RegularFileReader() { close(); }
    RegularFileReader(const RegularFileReader&) = delete;
    RegularFileReader& operator=(const RegularFileReader&) = delete;

    // Failed: errno says why. NotRegular: errno is EISDIR for a folder, EINVAL otherwise.
    Open open(const std::string& path, Options options);
    Open open(const std::string& path) { return open(path, Options{}); }
    bool isOpen() const { return m_Handle != kNoFile; }
    // The size when it was opened.
    std::uint64_t size() const { return m_Size; }
    // Bytes read (0 at the end), or -1 with errno; a read cut short by a signal is repeated.
    long read(void* buffer, std::size_t capacity);
    void close();

  private:
    friend class SourceFolder;  // opens a file of a folder it holds

    NativeFile m_Handle = kNoFile;
    std::uint64_t m_Size = 0;
};

}  // namespace zrk
