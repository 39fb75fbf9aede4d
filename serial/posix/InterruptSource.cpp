#include "serial/InterruptSource.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace zrk {

namespace {

// The handler's whole world, here and nowhere else in the program.
int g_Pipe[2] = {-1, -1};
volatile sig_atomic_t g_Interrupted = 0;
std::atomic<InterruptSource::Hook> g_Hook{nullptr};
std::atomic<void*> g_Context{nullptr};
struct sigaction g_OldInt {};
struct sigaction g_OldTerm {};
struct sigaction g_OldHup {};

static_assert(std::atomic<InterruptSource::Hook>::is_always_lock_free &&
                  std::atomic<void*>::is_always_lock_free,
              "read in a signal handler");

void onSignal(int) {
    const int saved = errno;
    g_Interrupted = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_Pipe[1], &byte, 1);
    if (const InterruptSource::Hook hook = g_Hook.load())
        hook(g_Context.load());
    errno = saved;
}

}  // namespace

InterruptSource::InterruptSource(bool restartCalls, Hook hook, void* context) {
    g_Interrupted = 0;
    if (::pipe2(g_Pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_Pipe[0] = g_Pipe[1] = -1;
    g_Context.store(context);
    g_Hook.store(hook);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restartCalls ? SA_RESTART : 0;
    ::sigaction(SIGINT, &action, &g_OldInt);
    ::sigaction(SIGTERM, &action, &g_OldTerm);
    ::sigaction(SIGHUP, &action, &g_OldHup);
}

InterruptSource::~InterruptSource() {
    ::sigaction(SIGINT, &g_OldInt, nullptr);
    ::sigaction(SIGTERM, &g_OldTerm, nullptr);
    ::sigaction(SIGHUP, &g_OldHup, nullptr);
    g_Hook.store(nullptr);
    g_Context.store(nullptr);
    for (int& fd : g_Pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool InterruptSource::interrupted() const {
    return g_Interrupted != 0;
}

Waitable InterruptSource::waitable() const {
    return Waitable(g_Pipe[0]);
}

void InterruptSource::drain() {
    char buffer[64];
    while (g_Pipe[0] >= 0 && ::read(g_Pipe[0], buffer, sizeof buffer) > 0) {
    }
}

void InterruptSource::ignoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace zrk
