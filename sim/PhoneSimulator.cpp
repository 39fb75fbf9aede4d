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
// A UART at the wrong speed sees framing garbage; any byte but the one sent will do, and it
// must never be the byte itself, or a mismatch could pass unnoticed.
std::uint8_t garble(std::uint8_t b) {
    return static_cast<std::uint8_t>(b ^ 0xA5);
}

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

std::vector<std::uint8_t> PhoneSimulator::drainMaster(bool untilEmpty) {
    std::vector<std::uint8_t> all;
    std::uint8_t buffer[4096];
    while (true) {
        const ssize_t n = ::read(m_Pty.masterFd(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (m_Tracing)
            m_Transcript.traceBlock(TraceDirection::HostToPhone, buffer,
                                    static_cast<std::size_t>(n));
        all.insert(all.end(), buffer, buffer + n);
        // A short read took what there was; the next poll tells of more.
        if (!untilEmpty && static_cast<std::size_t>(n) < sizeof buffer)
            break;
    }
    if (!all.empty() && m_Hooks.afterReading)
        m_Hooks.afterReading(all);
    return all;
}

void PhoneSimulator::readMaster(TimePoint now) {
    const auto bytes = drainMaster(false);
    if (bytes.empty())
        return;
    // The speed is sampled after the read and trusted only if the host has neither closed nor
    // opened the port since we last looked: only then was it in force when the bytes left.
    const unsigned sampled = m_Pty.slaveBaud().value_or(0);
    pullEvents();
    if (!pending(IN_OPEN | IN_CLOSE)) {
        m_LineBaud = sampled;
        m_FreshBaud = sampled;
        if (!m_Options.pacing && m_Input.empty())
            receiveNow(now, bytes, sampled);
        else
            queueInput(now, bytes, sampled);
        return;
    }
    if (pending(IN_CLOSE)) {
        m_Unjudged.insert(m_Unjudged.end(), bytes.begin(), bytes.end());
        return;
    }
    // Only someone else's open: the host's opening goes on at the speed known for it.
    queueInput(now, bytes, m_LineBaud);
}

void PhoneSimulator::receiveNow(TimePoint now, std::span<const std::uint8_t> bytes, unsigned baud) {
    const auto& hangUpAfter = m_Options.faults.hangUpAfter;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t run = bytes.size() - i;
        if (hangUpAfter) {
            const std::uint64_t received = m_Phone->counters().bytesReceived;
            if (received >= *hangUpAfter) {
                hangUp();
                return;
            }
            run = static_cast<std::size_t>(std::min<std::uint64_t>(run, *hangUpAfter - received));
        }
        if (baud != 0 && baud != m_Phone->uartBaud()) {
            // The rest arrives as garbage; the queue's path records how much of it.
            queueInput(now, bytes.subspan(i), baud);
            feedInput(now, false);
            return;
        }
        m_InMismatch = false;
        i += m_Phone->receiveRun(bytes.subspan(i, run), now);
        if (m_Phone->violations().size() != m_NotedViolations)
            noteViolations();
    }
    if (hangUpAfter && m_Phone->counters().bytesReceived >= *hangUpAfter)
        hangUp();
}

void PhoneSimulator::queueInput(TimePoint now, std::span<const std::uint8_t> bytes, unsigned baud) {
    const auto step = byteTime(baud != 0 ? baud : m_Phone->uartBaud());
    for (std::uint8_t b : bytes) {
        m_InputFree = std::max(m_InputFree, now) + step;
        m_Input.push_back({m_InputFree, b, baud});
    }
}

void PhoneSimulator::feedInput(TimePoint now, bool all, bool untilReopen) {
    const auto& hangUpAfter = m_Options.faults.hangUpAfter;
    while (!m_Input.empty() && (all || m_Input.front().due <= now)) {
        if (untilReopen && m_Phone->awaitsReopen())
            return;
        if (hangUpAfter && m_Phone->counters().bytesReceived >= *hangUpAfter) {
            hangUp();
            return;
        }
        LineByte in = m_Input.front();
        m_Input.pop_front();
        if (in.baud != 0 && in.baud != m_Phone->uartBaud()) {
            // Recorded once for the whole run of bytes sent at that speed, before the phone
            // reacts to the garbage they became.
            if (!m_InMismatch) {
                std::size_t run = 1;
                for (const auto& next : m_Input) {
                    if (next.baud != in.baud || (!all && next.due > now))
                        break;
                    ++run;
                }
                m_Phone->speedMismatch(in.baud, run);
                note(std::to_string(run) + " byte(s) arrived at the wrong speed");
            }
            m_InMismatch = true;
            in.byte = garble(in.byte);
        } else {
            m_InMismatch = false;
        }
        m_Phone->receive(in.byte, now);
        if (m_Phone->violations().size() != m_NotedViolations)
            noteViolations();
    }
    if (hangUpAfter && m_Phone->counters().bytesReceived >= *hangUpAfter)
        hangUp();
}

void PhoneSimulator::noteViolations() {
    const auto& all = m_Phone->violations();
    for (; m_NotedViolations < all.size(); ++m_NotedViolations)
        note("violation at byte " + std::to_string(all[m_NotedViolations].offset) + ": " +
             all[m_NotedViolations].context);
}

void PhoneSimulator::hangUp() {
    if (m_HungUp)
        return;
    note("hang-up: closing the line after " + std::to_string(m_Phone->counters().bytesReceived) +
         " bytes");
    m_HungUp = true;
    m_Input.clear();
    m_Output.clear();
    closeLine();
}

void PhoneSimulator::closeLine() {
    if (m_Keeper >= 0)
        ::close(m_Keeper);
    m_Keeper = -1;
    m_Pty.close();
}

void PhoneSimulator::queueOutput(TimePoint now) {
    const auto blocks = m_Phone->takeOutput();
    if (blocks.empty())
        return;
    const auto step = byteTime(m_Phone->uartBaud());
    if (step.count() == 0 && m_Options.latency.count() == 0 && m_Output.empty()) {
        // An unpaced line without latency: straight out, without a queue entry per byte.
        std::vector<std::uint8_t> all;
        for (const auto& block : blocks)
            all.insert(all.end(), block.begin(), block.end());
        writeLine(all);
        return;
    }
    for (const auto& block : blocks) {
        const TimePoint ready = now + m_Options.latency;
        for (std::uint8_t b : block) {
            m_OutputFree = std::max(m_OutputFree, ready) + step;
            m_Output.push_back({m_OutputFree, b, 0});
        }
    }
}

void PhoneSimulator::flushOutput(TimePoint now) {
    std::vector<std::uint8_t> due;
    while (!m_Output.empty() && m_Output.front().due <= now) {
        due.push_back(m_Output.front().byte);
        m_Output.pop_front();
    }
    if (due.empty())
        return;
    writeLine(due);
}

void PhoneSimulator::writeLine(std::vector<std::uint8_t>& bytes) {
    if (m_OpenCount == 0) {
        note(std::to_string(bytes.size()) + " byte(s) lost: nobody listens");
        return;
    }
    // The host hears the phone only at the phone's speed.
    // A speed sampled by this turn's read is as good as a new one, and saves a system call.
    const unsigned hostBaud = m_FreshBaud ? *m_FreshBaud : m_Pty.slaveBaud().value_or(0);
    if (hostBaud != m_Phone->uartBaud())
        for (auto& b : bytes)
            b = garble(b);
    const ssize_t n = ::write(m_Pty.masterFd(), bytes.data(), bytes.size());
    const std::size_t written = n > 0 ? static_cast<std::size_t>(n) : 0;
    m_BytesSent += written;
    if (m_Tracing && written > 0)
        m_Transcript.traceBlock(TraceDirection::PhoneToHost, bytes.data(), written);
    if (written < bytes.size())
        note(std::to_string(bytes.size() - written) + " byte(s) lost: the host does not read");
}

std::vector<Violation> PhoneSimulator::violations() const {
    std::lock_guard lock(m_Lock);
    return m_Phone->violations();
}

std::size_t PhoneSimulator::violationCount() const {
    std::lock_guard lock(m_Lock);
    return m_Phone->violationCount();
}

PhoneCounters PhoneSimulator::counters() const {
    std::lock_guard lock(m_Lock);
    return m_Phone->counters();
}

bool PhoneSimulator::waitFor(const std::function<bool(const PhoneCounters&)>& condition,
                             std::chrono::milliseconds timeout) const {
    const auto end = Clock::now() + timeout;
    while (true) {
        {
            std::lock_guard lock(m_Lock);
            if (condition(m_Phone->counters()))
                return true;
        }
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::uint64_t PhoneSimulator::bytesSent() const {
    std::lock_guard lock(m_Lock);
    return m_BytesSent;
}

std::string PhoneSimulator::stateName() const {
    std::lock_guard lock(m_Lock);
    return m_Phone->stateName();
}

bool PhoneSimulator::hostOpen() const {
    std::lock_guard lock(m_Lock);
    return m_OpenCount > 0;
}

std::vector<std::uint8_t> PhoneSimulator::norRange(std::uint32_t offset,
                                                   std::uint32_t length) const {
    std::lock_guard lock(m_Lock);
    return m_Nor.read(offset, length);
}

void PhoneSimulator::preloadNor(std::uint32_t offset, const std::vector<std::uint8_t>& data) {
    std::lock_guard lock(m_Lock);
    m_Nor.write(offset, data.data(), data.size());
}

bool PhoneSimulator::addNandDirectory(const std::string& path) {
    std::lock_guard lock(m_Lock);
    return m_Nand.makeDirectory(path, PackedTime{});
}

bool PhoneSimulator::addNandFile(const std::string& path, std::vector<std::uint8_t> data) {
    std::lock_guard lock(m_Lock);
    return m_Nand.writeFile(path, std::move(data), PackedTime{});
}

std::optional<std::vector<std::uint8_t>> PhoneSimulator::nandFile(const std::string& path) const {
    std::lock_guard lock(m_Lock);
    const auto* node = m_Nand.find(path);
    if (!node || node->directory)
        return std::nullopt;
    return node->data;
}

bool PhoneSimulator::nandDirectoryExists(const std::string& path) const {
    std::lock_guard lock(m_Lock);
    const auto* node = m_Nand.find(path);
    return node && node->directory;
}

bool PhoneSimulator::saveState(const std::string& dir, std::string* error) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::lock_guard lock(m_Lock);
    const fs::path nand = fs::path(dir) / "nand";
    fs::remove_all(nand, ec);
    if (!m_Nor.saveTo((fs::path(dir) / "nor.bin").string())) {
        if (error)
            *error = "cannot write " + (fs::path(dir) / "nor.bin").string();
        return false;
    }
    return m_Nand.saveTo(nand.string(), error);
}

std::string PhoneSimulator::summary() const {
    std::lock_guard lock(m_Lock);
    const PhoneCounters& c = m_Phone->counters();
    char line[256];
    std::string out;
    std::snprintf(line, sizeof line,
                  "phonesim: %d session(s), %d power cycle(s), %llu byte(s) received, %llu sent, "
                  "%d firmware download(s), %d file(s) written\n",
                  c.sessions, c.powerCycles, static_cast<unsigned long long>(c.bytesReceived),
                  static_cast<unsigned long long>(m_BytesSent), c.firmwareDownloads,
                  c.filesWritten);
    out += line;
    // The target programs as the phone received them, to compare with the files.
    if (c.preLoaderCrc || c.bootLoaderCrc) {
        std::snprintf(line, sizeof line, "phonesim: pre-loader CRC %08X, boot-loader CRC %08X\n",
                      c.preLoaderCrc.value_or(0), c.bootLoaderCrc.value_or(0));
        out += line;
    }
    const auto count = m_Phone->violationCount();
    if (count == 0) {
        out += "phonesim: no protocol violation\n";
        return out;
    }
    std::snprintf(line, sizeof line, "phonesim: %zu protocol violation(s)\n", count);
    out += line;
    for (const auto& v : m_Phone->violations()) {
        std::snprintf(line, sizeof line,
                      "  at byte %llu: ", static_cast<unsigned long long>(v.offset));
        out += line + v.context + "\n";
    }
    if (count > m_Phone->violations().size())
        out +=
            "  (only the first " + std::to_string(m_Phone->violations().size()) + " are listed)\n";
    return out;
}

}  // namespace zrk::sim
