#include "serial/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace zrk {

PseudoTerminal::~PseudoTerminal() {
    close();
}

bool PseudoTerminal::open() {
    close();
    m_Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_Master < 0)
        return false;
    char name[128];
    if (::grantpt(m_Master) != 0 || ::unlockpt(m_Master) != 0 ||
        ::ptsname_r(m_Master, name, sizeof name) != 0) {
        close();
        return false;
    }
    m_SlavePath = name;
    termios t{};
    if (::tcgetattr(m_Master, &t) == 0) {
        cfmakeraw(&t);
        ::tcsetattr(m_Master, TCSANOW, &t);
    }
    return true;
}

void PseudoTerminal::close() {
    if (m_Master >= 0)
        ::close(m_Master);
    m_Master = -1;
    m_SlavePath.clear();
}

std::optional<termios> PseudoTerminal::slaveSettings() const {
    termios t{};
    if (m_Master < 0 || ::tcgetattr(m_Master, &t) != 0)
        return std::nullopt;
    return t;
}

std::optional<unsigned> PseudoTerminal::slaveBaud() const {
    const auto t = slaveSettings();
    if (!t)
        return std::nullopt;
    return baudOf(cfgetospeed(&*t));
}

unsigned baudOf(speed_t speed) {
    switch (speed) {
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        case B460800:
            return 460800;
        case B921600:
            return 921600;
        default:
            return 0;
    }
}

}  // namespace zrk
