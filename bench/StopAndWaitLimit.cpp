#include "bench/StopAndWaitLimit.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zrk::bench {

namespace {

bool readAll(int fd, std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::read(fd, data, length);
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

// Runs exchanges while goOn(exchanges so far, time so far) says so.
template <typename GoOn>
LimitFigure measure(std::size_t hostBytes, std::size_t phoneBytes, std::size_t payloadBytes,
                    LimitEnds ends, GoOn goOn) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    if (slave < 0)
        throw std::runtime_error("cannot open the terminal's slave");
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);

    // The phone: answers every whole block, until the host says it is done by closing.
    const auto answer = [master, hostBytes, phoneBytes] {
        std::vector<std::uint8_t> in(hostBytes), out(phoneBytes, 0x5A);
        while (readAll(master, in.data(), in.size()) && writeAll(master, out.data(), out.size())) {
        }
    };
    std::thread phone;
    pid_t child = -1;
    if (ends == LimitEnds::Threads) {
        phone = std::thread(answer);
    } else {
        child = ::fork();
        if (child < 0)
            throw std::runtime_error("cannot start the phone's process");
        if (child == 0) {
            ::close(slave);
            answer();
            ::_exit(0);
        }
    }

    std::vector<std::uint8_t> out(hostBytes, 0xA5), in(phoneBytes);
    const auto start = std::chrono::steady_clock::now();
    LimitFigure figure;
    while (goOn(figure.exchanges, std::chrono::steady_clock::now() - start)) {
        if (!writeAll(slave, out.data(), out.size()) || !readAll(slave, in.data(), in.size()))
            break;
        ++figure.exchanges;
    }
    figure.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(slave);  // the phone's read ends with a hang-up
    if (phone.joinable())
        phone.join();
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    ::close(master);
    figure.payloadBytesPerSecond =
        static_cast<double>(figure.exchanges * payloadBytes) / figure.seconds;
    return figure;
}

}  // namespace

LimitFigure measureStopAndWait(std::size_t hostBytes, std::size_t phoneBytes,
                               std::size_t payloadBytes, double seconds, LimitEnds ends) {
    const auto length = std::chrono::duration<double>(seconds);
    return measure(hostBytes, phoneBytes, payloadBytes, ends,
                   [length](std::size_t, auto elapsed) { return elapsed < length; });
}

LimitFigure measureStopAndWaitExchanges(std::size_t hostBytes, std::size_t phoneBytes,
                                        std::size_t payloadBytes, std::size_t exchanges,
                                        LimitEnds ends) {
    return measure(hostBytes, phoneBytes, payloadBytes, ends,
                   [exchanges](std::size_t done, auto) { return done < exchanges; });
}

}  // namespace zrk::bench
