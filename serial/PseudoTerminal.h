#pragma once
// A pseudo-terminal pair: the master side plays the phone (simulator, tests), the slave path is
// what the downloader opens as its serial device.
#include <termios.h>

#include <optional>
#include <string>

namespace zrk {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens a fresh master (non-blocking, raw) and learns its slave's path.
    bool open();
    void close();
    int masterFd() const { return m_Master; }
    const std::string& slavePath() const { return m_SlavePath; }
    // The settings the slave's user set, as the master sees them (speed, not parity: the
    // kernel clears PARENB on a pty).
    std::optional<termios> slaveSettings() const;
    std::optional<unsigned> slaveBaud() const;

  private:
    int m_Master = -1;
    std::string m_SlavePath;
};

// Baud rate of a termios speed constant, 0 when unknown.
unsigned baudOf(speed_t speed);

}  // namespace zrk
