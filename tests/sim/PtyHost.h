#pragma once
// The host's end of the simulator's line for tests: the slave opened raw at a chosen speed,
// with reads that wait for a condition up to a generous deadline, never for a fixed time.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace zrk::sim::test {

class PtyHost {
  public:
    using Bytes = std::vector<std::uint8_t>;
    static constexpr std::chrono::seconds kDeadline{30};

    ~PtyHost() { close(); }

    bool open(const std::string& path, speed_t speed) {
        close();
        m_Fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        // As the downloader's port does: exclusive use, and nothing left from before.
        if (m_Fd < 0 || ::ioctl(m_Fd, TIOCEXCL) != 0)
            return false;
        ::tcflush(m_Fd, TCIOFLUSH);
        return setSpeed(speed);
    }
    bool setSpeed(speed_t speed) {
        termios t{};
        if (::tcgetattr(m_Fd, &t) != 0)
            return false;
        cfmakeraw(&t);
        cfsetspeed(&t, speed);
        return ::tcsetattr(m_Fd, TCSANOW, &t) == 0;
    }
    void close() {
        if (m_Fd >= 0)
            ::close(m_Fd);
        m_Fd = -1;
    }
    bool write(const Bytes& bytes) {
        std::size_t done = 0;
        const auto end = std::chrono::steady_clock::now() + kDeadline;
        while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
            const ssize_t n = ::write(m_Fd, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done == bytes.size();
    }
    // Reads until `enough` says so, the line hangs up, or the deadline passes.
    Bytes readUntil(const std::function<bool(const Bytes&)>& enough) {
        Bytes got;
        m_HungUp = false;
        const auto end = std::chrono::steady_clock::now() + kDeadline;
        while (!enough(got) && std::chrono::steady_clock::now() < end) {
            pollfd p{m_Fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(m_Fd, buffer, sizeof buffer);
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
            } else if (n < 0 && errno != EAGAIN) {
                m_HungUp = true;
                break;
            } else if (p.revents & POLLHUP) {
                m_HungUp = true;
                break;
            }
        }
        return got;
    }
    Bytes read(std::size_t count) {
        return readUntil([count](const Bytes& b) { return b.size() >= count; });
    }
    // Skips repeated connect requests and the like up to and including `value`.
    bool waitFor(std::uint8_t value) {
        const Bytes got =
            readUntil([value](const Bytes& b) { return !b.empty() && b.back() == value; });
        return !got.empty() && got.back() == value;
    }
    bool hungUp() const { return m_HungUp; }

  private:
    int m_Fd = -1;
    bool m_HungUp = false;
};

}  // namespace zrk::sim::test
