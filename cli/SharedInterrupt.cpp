#include "cli/SharedInterrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "engine/EngineLoop.h"
#include "serial/CommPort.h"

namespace zrk::cli {

namespace {

int g_SignalPipe[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_SignalPipe[1], &byte, 1);
    errno = saved;
}

struct sigaction g_OldInt {};
struct sigaction g_OldTerm {};
struct sigaction g_OldHup {};

}  // namespace

void SharedInterrupt::interrupt() {
    m_Interrupted = true;
    std::lock_guard lock(m_Lock);
    for (const auto& [loop, port] : m_Links) {
        port->cancelWrites();
        loop->wake();
    }
}

SharedInterrupt::Registration::Registration(SharedInterrupt& owner, EngineLoop& loop,
                                            CommPort& port)
    : m_Owner(owner), m_Loop(loop) {
    std::lock_guard lock(owner.m_Lock);
    owner.m_Links.emplace_back(&loop, &port);
    // Ctrl-C that came before this port got going must still reach it.
    if (owner.interrupted()) {
        port.cancelWrites();
        loop.wake();
    }
}

SharedInterrupt::Registration::~Registration() {
    std::lock_guard lock(m_Owner.m_Lock);
    auto& links = m_Owner.m_Links;
    links.erase(std::remove_if(links.begin(), links.end(),
                               [this](const auto& entry) { return entry.first == &m_Loop; }),
                links.end());
}

InterruptSignals::InterruptSignals() {
    if (::pipe2(g_SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_SignalPipe[0] = g_SignalPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_OldInt);
    ::sigaction(SIGTERM, &action, &g_OldTerm);
    // A closed terminal or a dropped session ends the run as Ctrl-C does: links closed, torn
    // files removed or named, not left under their temporary names.
    ::sigaction(SIGHUP, &action, &g_OldHup);
}

InterruptSignals::~InterruptSignals() {
    ::sigaction(SIGINT, &g_OldInt, nullptr);
    ::sigaction(SIGTERM, &g_OldTerm, nullptr);
    ::sigaction(SIGHUP, &g_OldHup, nullptr);
    for (int& fd : g_SignalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

int InterruptSignals::fd() const {
    return g_SignalPipe[0];
}

void InterruptSignals::drain() {
    char buffer[64];
    while (g_SignalPipe[0] >= 0 && ::read(g_SignalPipe[0], buffer, sizeof buffer) > 0) {
    }
}

}  // namespace zrk::cli
