#pragma once
// Which file descriptors the process holds: a file an exchange forgot to close shows here
// whichever object kept it.
//
// The exact list comes from the folder of descriptors, which costs several system calls (and
// is read without allocating: opendir takes a 32 KB buffer from the sanitizer's allocator each
// time). That is done where an input begins and, now and then, where one ends (unchangedAtEnd).
// After the steps between, one poll looks at the descriptors taken then and at the lowest
// numbers that were free: the system gives a new descriptor the lowest free number, so a file
// left open takes one of those, unless more than kWatchedFree files were open at once. A closed
// descriptor answers the poll with POLLNVAL, an open one without.
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zrk::fuzz {

class Descriptors {
  public:
    static constexpr std::size_t kMaxHeld = 256;     // more, and the lists are compared instead
    static constexpr std::size_t kWatchedFree = 16;  // far more than an exchange holds at once

    // The exact list of open descriptors, oldest first; false when it cannot be read or is
    // longer than kMaxHeld.
    static bool list(std::array<int, kMaxHeld>& out, std::size_t& count) {
        static const int folder = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0 || ::lseek(folder, 0, SEEK_SET) != 0)
            return false;
        count = 0;
        alignas(8) char buffer[4096];
        for (;;) {
            const long n = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            // Each record: inode (8 bytes), offset (8), its own length (2), type, name.
            for (long at = 0; at < n;) {
                std::uint16_t length = 0;
                std::memcpy(&length, buffer + at + 16, sizeof length);
                if (length == 0)
                    return false;
                const char* name = buffer + at + 19;
                at += length;
                if (name[0] < '0' || name[0] > '9')
                    continue;  // "." and ".."
                if (count == kMaxHeld)
                    return false;
                int fd = 0;
                for (; *name >= '0' && *name <= '9'; ++name)
                    fd = fd * 10 + (*name - '0');
                out[count++] = fd;
            }
            // The folder fills the buffer while its next record fits (none is longer than 32
            // bytes): with room to spare, this was the last of it, and the call that would say
            // so is saved.
            if (static_cast<std::size_t>(n) + 64 <= sizeof buffer)
                return true;
        }
    }

    // Takes what is open now as what is held: the harness's own descriptors (the folder above
    // among them) and libFuzzer's. They stay the same from one input to the next, so the list
    // taken last is taken again when one poll finds it still right; the folder is read only
    // when not.
    bool take() {
        static Descriptors last;
        if (last.unchanged()) {
            *this = last;
            return true;
        }
        if (!takeExactly())
            return false;
        last = *this;
        return true;
    }

  private:
    bool takeExactly() {
        m_Exact = list(m_Held, m_HeldCount);
        if (!m_Exact)
            return false;
        std::sort(m_Held.begin(), m_Held.begin() + static_cast<std::ptrdiff_t>(m_HeldCount));
        m_Watched = 0;
        std::size_t next = 0;
        for (std::size_t i = 0; i < m_HeldCount; ++i)
            m_Watch[m_Watched++] = {m_Held[i], 0, 0};
        for (int fd = 0; m_Watched < m_HeldCount + kWatchedFree; ++fd) {
            if (next < m_HeldCount && m_Held[next] == fd) {
                ++next;
                continue;
            }
            m_Watch[m_Watched++] = {fd, 0, 0};
        }
        return true;
    }

  public:
    // One poll: every held descriptor still open and none of the watched free numbers taken.
    bool unchanged() {
        if (!m_Exact)
            return false;
        if (::poll(m_Watch.data(), m_Watched, 0) < 0)
            return false;
        for (std::size_t i = 0; i < m_Watched; ++i) {
            const bool open = (m_Watch[i].revents & POLLNVAL) == 0;
            if (open != (i < m_HeldCount))
                return false;
        }
        return true;
    }

    // The exact list again: the same descriptors as when taken.
    // At an input's end: the poll every time, the exact list at every kExactEvery-th end. The
    // poll sees whatever the system handed out since (the lowest free number); the list also
    // sees a descriptor put at a chosen number, which nothing here does, soon enough. Read at
    // every end, the list was a tenth of a short input's time.
    static constexpr std::size_t kExactEvery = 16;
    bool unchangedAtEnd() {
        static std::size_t ends = 0;
        return ++ends % kExactEvery == 0 ? unchangedExactly() : unchanged();
    }

    bool unchangedExactly() const {
        std::array<int, kMaxHeld> now{};
        std::size_t count = 0;
        if (!m_Exact || !list(now, count) || count != m_HeldCount)
            return false;
        std::sort(now.begin(), now.begin() + static_cast<std::ptrdiff_t>(count));
        return std::equal(now.begin(), now.begin() + static_cast<std::ptrdiff_t>(count),
                          m_Held.begin());
    }

  private:
    std::array<int, kMaxHeld> m_Held{};
    std::size_t m_HeldCount = 0;
    bool m_Exact = false;
    std::array<pollfd, kMaxHeld + kWatchedFree> m_Watch{};
    std::size_t m_Watched = 0;
};

}  // namespace zrk::fuzz
