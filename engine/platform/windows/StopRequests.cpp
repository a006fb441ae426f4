// SPDX-License-Identifier: MIT
#include "platform/StopRequests.h"

#include "platform/windows/WinSupport.h"

#include <csignal>
#include <cstdlib>

namespace brelvo {

namespace {

// The console's handler has no argument: one watcher per process.
std::atomic<StopRequests*> g_watcher{nullptr};
std::atomic<StopRequests::SecondHandler> g_onSecond{nullptr};
std::atomic<int>* g_first = nullptr;
std::atomic<int>* g_ending = nullptr;
HANDLE g_event = nullptr;

BOOL WINAPI onConsoleEvent(DWORD kind)
{
    if (!g_watcher.load())
        return FALSE;
    const int signo = kind == CTRL_C_EVENT ? SIGINT : kind == CTRL_BREAK_EVENT ? SIGTERM : 1 /* SIGHUP */;
    int expected = 0;
    if (g_first->compare_exchange_strong(expected, signo)) {
        SetEvent(g_event);
        // Windows ends the process once this returns from a close, logoff
        // or shutdown (and 5 s later anyway): the stop gets that long.
        if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT)
            Sleep(5000);
        return TRUE;
    }
    expected = 0;
    if (!g_ending->compare_exchange_strong(expected, signo))
        return TRUE; // settled: the process returns the status its last line states
    if (const StopRequests::SecondHandler second = g_onSecond.load())
        second(signo);
    std::_Exit(128 + signo);
}

} // namespace

struct StopRequests::State {
    HANDLE event = nullptr;
};

StopRequests::StopRequests() : state_(std::make_unique<State>()) {}

StopRequests::~StopRequests()
{
    StopRequests* self = this;
    if (g_watcher.compare_exchange_strong(self, nullptr))
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    if (state_->event)
        CloseHandle(state_->event);
}

bool StopRequests::start(SecondHandler onSecond, std::string& error)
{
    state_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    StopRequests* none = nullptr;
    if (!state_->event || !g_watcher.compare_exchange_strong(none, this)) {
        error = "the console's stop requests are watched already";
        return false;
    }
    g_first = &first_;
    g_ending = &ending_;
    g_event = state_->event;
    g_onSecond = onSecond;
    if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        g_watcher = nullptr;
        error = "cannot watch the console's stop requests: Windows error " + std::to_string(GetLastError());
        return false;
    }
    return true;
}

bool StopRequests::wait(int ms) const
{
    return WaitForSingleObject(state_->event, ms < 0 ? INFINITE : static_cast<DWORD>(ms)) == WAIT_OBJECT_0 ||
           first_.load() != 0;
}

} // namespace brelvo
