#include "sim/PhoneSimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace zrk::sim {

namespace {
// What woke the simulator's thread.
constexpr std::uint32_t kWakeTag = 0;
constexpr std::uint32_t kLogTag = 1;
constexpr std::uint32_t kMasterTag = 2;
}  // namespace

PhoneSimulator::PhoneSimulator(SimOptions options)
    : m_Options(std::move(options)), m_Nand(m_Options.nandPages, m_Options.seed) {
    m_Phone = std::make_unique<Phone>(m_Options, m_Nor, m_Nand);
}

PhoneSimulator::~PhoneSimulator() {
    stop();
}

bool PhoneSimulator::start(std::string* error) {
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_Thread.joinable())
        return fail("the simulator is already running");
    if (!m_Options.preloadDir.empty()) {
        namespace fs = std::filesystem;
        const fs::path dir(m_Options.preloadDir);
        std::error_code ec;
        if (!fs::is_directory(dir, ec))
            return fail("preload folder " + m_Options.preloadDir + " does not exist");
        std::string why;
        std::lock_guard lock(m_Lock);
        if (fs::exists(dir / "nor.bin", ec) && !m_Nor.loadFrom((dir / "nor.bin").string(), &why))
            return fail(why);
        if (fs::exists(dir / "nand", ec) && !m_Nand.loadFrom((dir / "nand").string(), &why))
            return fail(why);
    }
    if (!m_Options.transcriptPath.empty()) {
        if (!m_Transcript.open(m_Options.transcriptPath))
            return fail("cannot write the transcript " + m_Options.transcriptPath);
        m_Tracing = true;
    }
    if (!m_Pty.open())
        return fail("cannot open a pseudo-terminal");
    m_SlavePath = m_Pty.slavePath();
    // Our own hold on the slave, opened before the watch so that it is not seen as the host:
    // through it the exclusive-use flag the host leaves behind can be cleared.
    m_Keeper = ::open(m_SlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_Keeper < 0) {
        m_Pty.close();
        return fail("cannot open " + m_SlavePath);
    }
    // The master cannot tell a slave that was never opened from an open one, and a quick
    // close and reopen can slip between two polls; the file's own open and close events
    // cannot be missed.
    m_Inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_Inotify < 0 ||
        ::inotify_add_watch(m_Inotify, m_SlavePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        closeLine();
        if (m_Inotify >= 0)
            ::close(m_Inotify);
        m_Inotify = -1;
        return fail("cannot watch " + m_SlavePath + " for opens and closes");
    }
    if (::pipe2(m_Wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        closeLine();
        ::close(m_Inotify);
        m_Inotify = -1;
        return fail("cannot create the wake-up pipe");
    }
    // An epoll set rather than a poll of the three: a wake-up then looks at the descriptor that
    // woke it, not at all three twice, and at one block per wake-up that is a tenth of the
    // simulator's time on a fast line.
    m_Epoll = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event wake{EPOLLIN, {.u32 = kWakeTag}};
    epoll_event log{EPOLLIN, {.u32 = kLogTag}};
    if (m_Epoll < 0 || ::epoll_ctl(m_Epoll, EPOLL_CTL_ADD, m_Wake[0], &wake) != 0 ||
        ::epoll_ctl(m_Epoll, EPOLL_CTL_ADD, m_Inotify, &log) != 0) {
        stop();
        return fail("cannot create the simulator's wait set");
    }
    m_MasterWatched = false;
    m_Stop = false;
    note("simulator started on " + m_SlavePath);
    m_Thread = std::thread([this] { run(); });
    return true;
}

void PhoneSimulator::stop() {
    if (m_Thread.joinable()) {
        m_Stop = true;
        const char b = 1;
        [[maybe_unused]] auto n = ::write(m_Wake[1], &b, 1);
        m_Thread.join();
    }
    std::lock_guard lock(m_Lock);
    // The line is gone: for the phone that is the host's close.
    if (m_OpenCount > 0) {
        m_OpenCount = 0;
        m_Phone->hostClosed(Clock::now());
        m_Phone->takeOutput();
    }
    m_Input.clear();
    m_Output.clear();
    m_Events.clear();
    m_Unjudged.clear();
    for (int& fd : m_Wake) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    if (m_Inotify >= 0)
        ::close(m_Inotify);
    m_Inotify = -1;
    if (m_Epoll >= 0)
        ::close(m_Epoll);
    m_Epoll = -1;
    closeLine();
    m_Transcript.close();
    m_Tracing = false;
}

std::string PhoneSimulator::slavePath() const {
    return m_SlavePath;
}

bool PhoneSimulator::hungUp() const {
    return m_HungUp;
}

void PhoneSimulator::note(const std::string& text) {
    if (m_Tracing)
        m_Transcript.traceNote(text);
}

std::chrono::nanoseconds PhoneSimulator::byteTime(unsigned baud) const {
    if (!m_Options.pacing || baud == 0)
        return std::chrono::nanoseconds{0};
    return std::chrono::nanoseconds{10'000'000'000LL / baud};
}

std::optional<PhoneSimulator::TimePoint> PhoneSimulator::nextDeadline() const {
    std::optional<TimePoint> next = m_Phone->nextDeadline();
    auto consider = [&](TimePoint t) {
        if (!next || t < *next)
            next = t;
    };
    if (!m_Input.empty())
        consider(m_Input.front().due);
    if (!m_Output.empty())
        consider(m_Output.front().due);
    return next;
}

void PhoneSimulator::run() {
    while (!m_Stop) {
        // To the nanosecond: a paced line rounded up to whole milliseconds would lose up to one
        // at every turn of a stop-and-wait exchange, which a real line does not.
        std::optional<std::chrono::nanoseconds> wait;
        bool listen = false;
        {
            std::lock_guard lock(m_Lock);
            if (auto next = nextDeadline())
                wait = std::max(std::chrono::nanoseconds{0}, *next - Clock::now());
            // Events taken while reading are no longer on the descriptor: serve them at once.
            if (!m_Events.empty())
                wait = std::chrono::nanoseconds{0};
            listen = m_OpenCount > 0;
        }
        const Readiness ready = waitForWork(wait, listen);
        if (ready.failed)
            break;
        if (m_Stop)
            break;
        if (m_Hooks.beforeLooking)
            m_Hooks.beforeLooking();
        const TimePoint now = Clock::now();
        std::lock_guard lock(m_Lock);
        m_FreshBaud.reset();
        // An event that came after the poll is found by the read after the master's.
        if (ready.events)
            pullEvents();
        serveEvents(now);
        if (m_OpenCount > 0) {
            // The exclusive-use flag the host sets after its open is cleared at its close
            // (hostClosed), not here: once per reply would be a system call per block.
            if (ready.master)
                readMaster(now);
            // Reading may have found a close or an open the host made meanwhile.
            serveEvents(now);
        }
        feedInput(now, false);
        if (m_Phone->hangUpRequested())
            hangUp();
        if (m_HungUp)
            break;
        m_Phone->tick(now);
        queueOutput(now);
        flushOutput(now);
    }
}

PhoneSimulator::Readiness PhoneSimulator::waitForWork(std::optional<std::chrono::nanoseconds> wait,
                                                      bool listen) {
    Readiness readiness;
    // While nobody has the slave open the master may report a hang-up on every wait; the open
    // event wakes us instead.
    if (listen != m_MasterWatched) {
        epoll_event master{EPOLLIN, {.u32 = kMasterTag}};
        if (::epoll_ctl(m_Epoll, listen ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, m_Pty.masterFd(),
                        &master) != 0) {
            readiness.failed = true;
            return readiness;
        }
        m_MasterWatched = listen;
    }
    timespec timeout{};
    if (wait) {
        timeout.tv_sec = static_cast<time_t>(wait->count() / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(wait->count() % 1'000'000'000);
    }
    epoll_event ready[3];
    int n = -1;
    if (m_WaitsToTheNanosecond) {
        n = ::epoll_pwait2(m_Epoll, ready, 3, wait ? &timeout : nullptr, nullptr);
        if (n < 0 && errno == ENOSYS)
            m_WaitsToTheNanosecond = false;
    }
    if (!m_WaitsToTheNanosecond) {
        // An older kernel: the set itself is waited for to the nanosecond, then read at once.
        pollfd set{m_Epoll, POLLIN, 0};
        n = ::ppoll(&set, 1, wait ? &timeout : nullptr, nullptr);
        if (n > 0)
            n = ::epoll_wait(m_Epoll, ready, 3, 0);
    }
    if (n < 0) {
        readiness.failed = errno != EINTR;
        return readiness;
    }
    for (int i = 0; i < n; ++i) {
        if (!(ready[i].events & EPOLLIN))
            continue;
        if (ready[i].data.u32 == kLogTag)
            readiness.events = true;
        else if (ready[i].data.u32 == kMasterTag)
            readiness.master = true;
    }
    return readiness;
}

void PhoneSimulator::pullEvents() {
    alignas(inotify_event) char buffer[4096];
    while (true) {
        const ssize_t n = ::read(m_Inotify, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            m_Events.push_back(event->mask);
        }
    }
}

bool PhoneSimulator::pending(std::uint32_t mask) const {
    return std::any_of(m_Events.begin(), m_Events.end(),
                       [mask](std::uint32_t event) { return (event & mask) != 0; });
}

void PhoneSimulator::serveEvents(TimePoint now) {
    while (!m_Events.empty()) {
        const std::uint32_t mask = m_Events.front();
        m_Events.pop_front();
        if (mask & IN_OPEN) {
            if (m_OpenCount++ == 0) {
                m_LineBaud = 0;  // not known until the host's first bytes of this session
                note("host opened the port");
                m_Phone->hostOpened(now);
            }
        } else if (mask & IN_CLOSE) {
            if (m_OpenCount == 0)
                continue;
            if (--m_OpenCount > 0) {
                // A second opener went away; the host's opening goes on.
                queueInput(now, m_Unjudged, m_LineBaud);
                m_Unjudged.clear();
                continue;
            }
            hostClosed(now);
        }
    }
    // Cannot stay undecided once every logged close is served.
    if (!m_Unjudged.empty()) {
        queueInput(now, m_Unjudged, m_LineBaud);
        m_Unjudged.clear();
    }
}

void PhoneSimulator::hostClosed(TimePoint now) {
    ::ioctl(m_Keeper, TIOCNXCL);
    // What the host wrote before closing is on the line and reaches the phone first (an
    // empty read waits for the terminal's pending input).
    std::vector<std::uint8_t> bytes;
    bytes.swap(m_Unjudged);
    const auto rest = drainMaster(true);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    // The port keeps its speed after the close until the host opens it again; the log taken
    // after the sample tells whether that happened before it.
    const unsigned sampled = m_Pty.slaveBaud().value_or(0);
    pullEvents();
    const bool reopened = pending(IN_OPEN);
    // Without a reopen, these bytes are all of this opening and left at the speed sampled.
    // After one, the speed now may be the next opening's, and some of the bytes may be too
    // (a host that reopens at once for the baud switch sends its start byte straight away):
    // the speed is the one known from earlier, and the bytes that would reach a phone
    // waiting for the reopen are the next opening's.
    if (!bytes.empty())
        queueInput(now, bytes, reopened ? m_LineBaud : sampled);
    feedInput(now, true, reopened);
    if (!m_Input.empty()) {
        note(std::to_string(m_Input.size()) +
             " byte(s) read late were sent after the reopen; their speed is not known");
        for (auto& in : m_Input)
            in.baud = 0;
    }
    m_Output.clear();
    const int cycles = m_Phone->counters().powerCycles;
    m_Phone->hostClosed(now);
    note(m_Phone->counters().powerCycles != cycles
             ? "host closed the port: power off, back to the boot ROM"
             : "host closed the port for the baud switch");
    m_Phone->takeOutput();
}

}  // namespace zrk::sim
