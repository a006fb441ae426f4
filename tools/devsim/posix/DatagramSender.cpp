// SPDX-License-Identifier: MIT
#include "DatagramSender.h"
#include "platform/NativeAddress.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace devsim {

// One sendmmsg takes what the kernel will, each datagram with the source
// address in its control data.
struct DatagramSender::Native {
    std::vector<mmsghdr> msgs;
    std::vector<iovec> iov;
    sockaddr_in toRequest{};
    sockaddr_in toJob{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
};

DatagramSender::DatagramSender() : native_(std::make_unique<Native>()) {}

DatagramSender::~DatagramSender() = default;

void DatagramSender::prepare(const Outbox& out, uint32_t source, const brelvo::SocketAddress& toRequest,
                             const brelvo::SocketAddress& toJob)
{
    Native& nv = *native_;
    const size_t n = out.size();
    if (nv.msgs.size() < n) {
        nv.msgs.resize(n);
        nv.iov.resize(n);
    }
    nv.toRequest = brelvo::nativeAddress(toRequest);
    nv.toJob = brelvo::nativeAddress(toJob);
    if (source) {
        std::memset(nv.control, 0, sizeof nv.control);
        msghdr probe{};
        probe.msg_control = nv.control;
        probe.msg_controllen = sizeof nv.control;
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
        nv.iov[i] = iovec{const_cast<uint8_t*>(m.bytes), m.size};
        msghdr& h = nv.msgs[i].msg_hdr;
        h = msghdr{};
        h.msg_name = m.toRequestTarget ? &nv.toRequest : &nv.toJob;
        h.msg_namelen = sizeof(sockaddr_in);
        h.msg_iov = &nv.iov[i];
        h.msg_iovlen = 1;
        if (source) {
            h.msg_control = nv.control;
            h.msg_controllen = sizeof nv.control;
        }
    }
}

int DatagramSender::sendSome(brelvo::SocketHandle s, size_t from, size_t count, int& error, bool& transient)
{
    int sent = sendmmsg(s, native_->msgs.data() + from, unsigned(count), 0);
    if (sent > 0)
        return sent;
    error = sent < 0 ? errno : EIO;
    transient = error == EAGAIN || error == ENOBUFS || error == EINTR;
    return -1;
}

} // namespace devsim
