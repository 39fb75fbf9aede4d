#include "serial/ByteTrace.h"

#include <cctype>

namespace zrk {

std::string formatHexBlock(double seconds, const char* arrow, const std::uint8_t* data,
                           std::size_t length) {
    std::string out;
    char line[160];
    if (length == 0) {
        std::snprintf(line, sizeof line, "%12.6f %s (empty block)\n", seconds, arrow);
        return line;
    }
    for (std::size_t row = 0; row < length; row += 16) {
        int pos = std::snprintf(line, sizeof line, "%12.6f %s %04zx ", seconds, arrow, row);
        std::string ascii;
        for (std::size_t i = row; i < row + 16; ++i) {
            if (i < length) {
                pos += std::snprintf(line + pos, sizeof line - pos, " %02x", data[i]);
                ascii += std::isprint(data[i]) ? static_cast<char>(data[i]) : '.';
            } else {
                pos += std::snprintf(line + pos, sizeof line - pos, "   ");
            }
        }
        out += line;
        out += "  |" + ascii + "|\n";
    }
    return out;
}

HexTraceFile::~HexTraceFile() {
    close();
}

bool HexTraceFile::open(const std::string& path) {
    std::lock_guard lock(m_Lock);
    if (m_File.isPending())
        m_File.commit();
    m_File.discard();
    m_WriteError = 0;
    m_Opened = std::chrono::steady_clock::now();
    return m_File.create(path);
}

void HexTraceFile::close() {
    std::lock_guard lock(m_Lock);
    // What was traced is kept whatever ended the run: a trace is read after failures most.
    if (m_File.isPending() && !m_File.commit() && m_WriteError == 0)
        m_WriteError = m_File.writeErrorNumber() != 0 ? m_File.writeErrorNumber() : EIO;
    m_File.discard();
}

int HexTraceFile::writeError() const {
    std::lock_guard lock(m_Lock);
    return m_WriteError;
}

void HexTraceFile::written(bool ok) {
    if (ok && m_File.flush())
        return;
    m_WriteError = m_File.writeErrorNumber() != 0 ? m_File.writeErrorNumber() : EIO;
    // What was written before the error is still worth reading, under NAME.part.
    m_File.keepPartial();
    m_File.discard();
}

double HexTraceFile::secondsSinceOpen() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Opened).count();
}

void HexTraceFile::traceBlock(TraceDirection direction, const std::uint8_t* data,
                              std::size_t length) {
    std::lock_guard lock(m_Lock);
    if (!m_File.isPending())
        return;
    const char* arrow = direction == TraceDirection::HostToPhone ? ">>" : "<<";
    const std::string text = formatHexBlock(secondsSinceOpen(), arrow, data, length);
    written(m_File.write(text.data(), text.size()));
}

void HexTraceFile::traceNote(const std::string& text) {
    std::lock_guard lock(m_Lock);
    if (!m_File.isPending())
        return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%12.6f -- ", secondsSinceOpen());
    const std::string line = stamp + text + "\n";
    written(m_File.write(line.data(), line.size()));
}

}  // namespace zrk
