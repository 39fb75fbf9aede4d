#include "serial/InterruptSource.h"

#include <windows.h>

#include <atomic>

// Ctrl-C, Ctrl-Break and a console that is closed (or a logoff or shutdown) arrive as console
// control events, on a thread the system starts for them. The handler says it took them, so
// that the program ends its operation itself and leaves its files as a Ctrl-C on Linux does. A
// closed console ends the process once the handler returns: it waits there for the program to
// finish (this object's end), within the few seconds the system allows.
namespace zrk {

namespace {

std::atomic<bool> g_Interrupted{false};
std::atomic<InterruptSource::Hook> g_Hook{nullptr};
std::atomic<void*> g_Context{nullptr};
HANDLE g_Request = nullptr;   // manual reset: set from the first request until drain()
HANDLE g_Finished = nullptr;  // set when the program has finished its work

// The system gives a closing console 5 s before it ends the process regardless.
constexpr DWORD kCloseGrace = 4500;

BOOL WINAPI onControl(DWORD event) {
    g_Interrupted.store(true);
    if (g_Request)
        ::SetEvent(g_Request);
    if (const InterruptSource::Hook hook = g_Hook.load())
        hook(g_Context.load());
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        if (g_Finished)
            ::WaitForSingleObject(g_Finished, kCloseGrace);
    }
    return TRUE;
}

}  // namespace

InterruptSource::InterruptSource(bool /*restartCalls*/, Hook hook, void* context) {
    g_Interrupted.store(false);
    g_Request = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_Finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_Context.store(context);
    g_Hook.store(hook);
    ::SetConsoleCtrlHandler(onControl, TRUE);
}

InterruptSource::~InterruptSource() {
    g_Hook.store(nullptr);
    g_Context.store(nullptr);
    if (g_Finished)
        ::SetEvent(g_Finished);
    ::SetConsoleCtrlHandler(onControl, FALSE);
    // A handler that is still running holds the events: they are left to the process's end
    // rather than closed under it.
    if (!g_Interrupted.load()) {
        if (g_Request)
            ::CloseHandle(g_Request);
        if (g_Finished)
            ::CloseHandle(g_Finished);
        g_Request = g_Finished = nullptr;
    }
}

bool InterruptSource::interrupted() const {
    return g_Interrupted.load();
}

Waitable InterruptSource::waitable() const {
    return Waitable(reinterpret_cast<std::intptr_t>(g_Request));
}

void InterruptSource::drain() {
    if (g_Request)
        ::ResetEvent(g_Request);
}

// Windows has no broken-pipe signal: a write to a pipe whose reader went just fails.
void InterruptSource::ignoreBrokenPipes() {}

}  // namespace zrk
