// SPDX-License-Identifier: MIT
#include "DatagramSender.h"

#include "SocketAddress.h"

#include "platform/ErrorText.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace devsim {

namespace {

// The kernel refused datagram `m` for good: counted, told with --verbose; an
// update request that cannot go out ends the session. True when the
// datagrams after it should still go.
bool passOver(Device& d, const DevsimOptions& o, const Outgoing& m, const brelvo::SocketAddress& to, int err,
              bool verbose)
{
    std::string why = brelvo::errorTextEnglish(err) + " sending to " + endpointText(to);
    ++d.sendErrors;
    if (verbose)
        std::fprintf(stderr, "device %d: %s\n", d.session->index(), why.c_str());
    if (m.toRequestTarget) {
        d.session->abort("the update request could not be sent: " + why +
                             (o.broadcast ? " (is there a route for 255.255.255.255?)" : ""),
                         Clock::now());
        return false;
    }
    return true;
}

} // namespace

void DatagramSender::send(Device& d, const DevsimOptions& o, Outbox& out, bool verbose)
{
    const size_t n = out.size();
    if (n == 0)
        return;
    const brelvo::SocketAddress toRequest = socketAddress(o.broadcast ? 0xFFFFFFFFu : o.toolAddr, o.toolPort);
    const brelvo::SocketAddress toJob = socketAddress(d.session->offer().toolAddr, d.session->offer().jobPort);
    prepare(out, d.source, toRequest, toJob);
    size_t done = 0;
    int waits = 0;
    while (done < n) {
        int err = 0;
        bool transient = false;
        int sent = sendSome(d.fd, done, n - done, err, transient);
        if (sent > 0) {
            done += size_t(sent);
            waits = 0;
            continue;
        }
        if (transient && ++waits < 100) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        // This datagram cannot go out; the ones after it still may.
        const Outgoing& m = out[done];
        if (!passOver(d, o, m, m.toRequestTarget ? toRequest : toJob, err, verbose))
            break;
        ++done;
        waits = 0;
    }
    out.clear();
}

} // namespace devsim
