#include "sim/PhoneSimulator.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

// The simulator's end of the line: bytes from the host into the phone (at the line's speed, or
// garbled when the two speeds differ) and the phone's answers back out.
namespace zrk::sim {

namespace {
// A UART at the wrong speed sees framing garbage; any byte but the one sent will do, and it
// must never be the byte itself, or a mismatch could pass unnoticed.
std::uint8_t garble(std::uint8_t b) {
    return static_cast<std::uint8_t>(b ^ 0xA5);
}
}  // namespace

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

}  // namespace zrk::sim
