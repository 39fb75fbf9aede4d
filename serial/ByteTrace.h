#pragma once
// A hex dump of every block that crosses the link, with direction and time, so that a field
// failure can be read byte by byte. Written from two threads (writes on the protocol thread,
// reads on the watcher), hence the lock.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "files/OutputFile.h"

namespace zrk {

enum class TraceDirection { HostToPhone, PhoneToHost };

class TraceSink {
  public:
    virtual ~TraceSink() = default;
    virtual void traceBlock(TraceDirection direction, const std::uint8_t* data,
                            std::size_t length) = 0;
    virtual void traceNote(const std::string& text) = 0;
};

// Lines look like "  12.345678 >> 0000  44 51 ...  |DQ..|" (">>" host to phone, "<<" back).
class HexTraceFile : public TraceSink {
  public:
    HexTraceFile() = default;
    ~HexTraceFile() override;
    HexTraceFile(const HexTraceFile&) = delete;
    HexTraceFile& operator=(const HexTraceFile&) = delete;

    // The trace takes the path's name whole when it is closed (what stood there before is
    // replaced then); until then it is written under a name of its own beside it.
    bool open(const std::string& path);
    void close();
    // The first error that lost trace text since the open (a full disk), or 0. Tracing stops
    // there rather than leave a file with holes in it.
    int writeError() const;
    void traceBlock(TraceDirection direction, const std::uint8_t* data,
                    std::size_t length) override;
    void traceNote(const std::string& text) override;

  private:
    double secondsSinceOpen() const;
    void written(bool ok);

    int m_WriteError = 0;
    mutable std::mutex m_Lock;
    OutputFile m_File;
    std::chrono::steady_clock::time_point m_Opened;
};

// Formats one block as the trace lines above (also used by the simulator's transcript).
std::string formatHexBlock(double seconds, const char* arrow, const std::uint8_t* data,
                           std::size_t length);

}  // namespace zrk
