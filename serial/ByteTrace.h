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

    bool open(const std::string& path);  // truncates
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
    std::FILE* m_File = nullptr;
    std::chrono::steady_clock::time_point m_Opened;
};

// Formats one block as the trace lines above (also used by the simulator's transcript).
std::string formatHexBlock(double seconds, const char* arrow, const std::uint8_t* data,
                           std::size_t length);

}  // namespace zrk
