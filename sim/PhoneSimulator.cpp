#include "sim/PhoneSimulator.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace zrk::sim {

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

}  // namespace zrk::sim
