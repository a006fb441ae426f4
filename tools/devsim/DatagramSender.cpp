// SPDX-License-Identifier: MIT
#include "DatagramSender.h"

#include "SocketAddress.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace devsim {

namespace {

// The kernel refused datagram `m` for good: counted, told with --verbose; an
// update request that cannot go out ends the session. True when the
// datagrams after it should still go.
bool passOver(Device& d, const DevsimOptions& o, const Outgoing& m, const sockaddr_in& to, int err, bool verbose)
{
    std::string why = std::string(std::strerror(err)) + " sending to " +
                      endpointText(ntohl(to.sin_addr.s_addr), ntohs(to.sin_port));
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
    sockaddr_in toRequest = socketAddress(o.broadcast ? 0xFFFFFFFFu : o.toolAddr, o.toolPort);
    sockaddr_in toJob = socketAddress(d.session->offer().toolAddr, d.session->offer().jobPort);
    prepare(out, d.source, toRequest, toJob);
    size_t done = 0;
    int waits = 0;
    while (done < n) {
        int sent = sendmmsg(d.fd, msgs_.data() + done, unsigned(n - done), 0);
        if (sent > 0) {
            done += size_t(sent);
            waits = 0;
            continue;
        }
        int err = sent < 0 ? errno : EIO;
        if ((err == EAGAIN || err == ENOBUFS || err == EINTR) && ++waits < 100) {
            usleep(200);
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

void DatagramSender::prepare(const Outbox& out, uint32_t source, sockaddr_in& toRequest, sockaddr_in& toJob)
{
    const size_t n = out.size();
    if (msgs_.size() < n) {
        msgs_.resize(n);
        iov_.resize(n);
    }
    if (source) {
        std::memset(control_, 0, sizeof control_);
        msghdr probe{};
        probe.msg_control = control_;
        probe.msg_controllen = sizeof control_;
        cmsghdr* c = CMSG_FIRSTHDR(&probe);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(source);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    for (size_t i = 0; i < n; ++i) {
        const Outgoing& m = out[i];
        iov_[i] = iovec{const_cast<uint8_t*>(m.bytes), m.size};
        msghdr& h = msgs_[i].msg_hdr;
        h = msghdr{};
        h.msg_name = m.toRequestTarget ? &toRequest : &toJob;
        h.msg_namelen = sizeof(sockaddr_in);
        h.msg_iov = &iov_[i];
        h.msg_iovlen = 1;
        if (source) {
            h.msg_control = control_;
            h.msg_controllen = sizeof control_;
        }
    }
}

} // namespace devsim
