// SPDX-License-Identifier: MIT
#include "platform/EchoService.h"

#include "platform/windows/WinSupport.h"

#include <iphlpapi.h>
#include <icmpapi.h>

#include <memory>
#include <vector>

namespace brelvo {

namespace {

// Room for one reply, its echoed data and the status block the service
// writes behind it when it completes a request asynchronously.
constexpr DWORD kReplySize = sizeof(ICMP_ECHO_REPLY) + 64 + 8 + 2 * sizeof(void*) + 64;
// How long past its own time-out a request may take to be completed.
constexpr DWORD kCompletionGraceMs = 1000;

struct Request {
    HANDLE done = nullptr;
    bool pending = false;
    alignas(8) unsigned char reply[kReplySize] = {};
};

struct Requests {
    std::vector<Request> list;
    explicit Requests(int count) : list(static_cast<size_t>(count)) {}
    ~Requests()
    {
        for (Request& r : list) {
            if (r.done)
                CloseHandle(r.done);
        }
    }
};

// Waits for request `r` until `deadline` (a GetTickCount value) or a set abort.
bool completed(const Request& r, DWORD deadline, const std::atomic<bool>* abort)
{
    for (;;) {
        const DWORD now = GetTickCount();
        const long left = static_cast<long>(deadline - now);
        if (left <= 0 || (abort && abort->load()))
            return WaitForSingleObject(r.done, 0) == WAIT_OBJECT_0;
        if (WaitForSingleObject(r.done, left < 20 ? static_cast<DWORD>(left) : 20) == WAIT_OBJECT_0)
            return true;
    }
}

} // namespace

int pingThroughEchoService(const uint32_t* targets, int count, int waitMs, uint8_t* answered, uint32_t* roundTripMs,
                           const std::atomic<bool>* abort)
{
    HANDLE icmp = IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE)
        return -1;
    const DWORD timeout = waitMs > 0 ? static_cast<DWORD>(waitMs) : 1;
    auto requests = std::make_unique<Requests>(count);
    for (int i = 0; i < count; ++i) {
        Request& r = requests->list[static_cast<size_t>(i)];
        answered[i] = 0;
        roundTripMs[i] = 0;
        r.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!r.done)
            continue;
        DWORD sentAt = GetTickCount();
        const DWORD n = IcmpSendEcho2(icmp, r.done, nullptr, nullptr, static_cast<IPAddr>(targets[i]), &sentAt,
                                      sizeof sentAt, nullptr, r.reply, kReplySize, timeout);
        r.pending = n != 0 || GetLastError() == ERROR_IO_PENDING;
    }

    const DWORD deadline = GetTickCount() + timeout + kCompletionGraceMs;
    int yes = 0;
    bool allDone = true;
    for (int i = 0; i < count; ++i) {
        Request& r = requests->list[static_cast<size_t>(i)];
        if (!r.pending)
            continue;
        if (!completed(r, deadline, abort)) {
            allDone = false;
            continue;
        }
        r.pending = false;
        const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(r.reply);
        if (IcmpParseReplies(r.reply, kReplySize) == 0 || reply->Status != IP_SUCCESS ||
            reply->Address != static_cast<IPAddr>(targets[i]))
            continue;
        answered[i] = 1;
        roundTripMs[i] = reply->RoundTripTime;
        ++yes;
    }
    // A stop lets what is out run to its time-out: the service owns the
    // reply buffers until then, and Wine's stalls for the next program when
    // a process leaves with requests out.
    if (!allDone) {
        for (const Request& r : requests->list) {
            if (r.pending && !completed(r, deadline, nullptr)) {
                requests.release();
                break;
            }
        }
    }
    IcmpCloseHandle(icmp);
    return yes;
}

bool echoServiceAvailable()
{
    HANDLE icmp = IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE)
        return false;
    IcmpCloseHandle(icmp);
    return true;
}

} // namespace brelvo
