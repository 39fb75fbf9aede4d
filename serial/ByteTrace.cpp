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
    if (m_File)
        std::fclose(m_File);
    m_File = std::fopen(path.c_str(), "w");
    m_WriteError = 0;
    m_Opened = std::chrono::steady_clock::now();
    return m_File != nullptr;
}

void HexTraceFile::close() {
    std::lock_guard lock(m_Lock);
    if (m_File && std::fclose(m_File) != 0 && m_WriteError == 0)
        m_WriteError = errno != 0 ? errno : EIO;
    m_File = nullptr;
}

int HexTraceFile::writeError() const {
    std::lock_guard lock(m_Lock);
    return m_WriteError;
}

void HexTraceFile::written(bool ok) {
    if (ok && std::fflush(m_File) == 0)
        return;
    m_WriteError = errno != 0 ? errno : EIO;
    std::fclose(m_File);
    m_File = nullptr;
}

double HexTraceFile::secondsSinceOpen() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Opened).count();
}

void HexTraceFile::traceBlock(TraceDirection direction, const std::uint8_t* data,
                              std::size_t length) {
    std::lock_guard lock(m_Lock);
    if (!m_File)
        return;
    const char* arrow = direction == TraceDirection::HostToPhone ? ">>" : "<<";
    written(std::fputs(formatHexBlock(secondsSinceOpen(), arrow, data, length).c_str(), m_File) >=
            0);
}

void HexTraceFile::traceNote(const std::string& text) {
    std::lock_guard lock(m_Lock);
    if (!m_File)
        return;
    written(std::fprintf(m_File, "%12.6f -- %s\n", secondsSinceOpen(), text.c_str()) >= 0);
}

}  // namespace zrk
