// SPDX-License-Identifier: MIT
#include "DatagramSender.h"
#include "platform/NativeAddress.h"

#include <winsock2.h>

namespace devsim {

// No call sends several datagrams: one sendto each, from the address the
// socket is bound to.
struct DatagramSender::Native {
    const Outbox* out = nullptr;
    sockaddr_in toRequest{};
    sockaddr_in toJob{};
};

DatagramSender::DatagramSender() : native_(std::make_unique<Native>()) {}

DatagramSender::~DatagramSender() = default;

void DatagramSender::prepare(const Outbox& out, uint32_t, const brelvo::SocketAddress& toRequest,
                             const brelvo::SocketAddress& toJob)
{
    native_->out = &out;
    native_->toRequest = brelvo::nativeAddress(toRequest);
    native_->toJob = brelvo::nativeAddress(toJob);
}

int DatagramSender::sendSome(brelvo::SocketHandle s, size_t from, size_t count, int& error, bool& transient)
{
    const Native& nv = *native_;
    int sent = 0;
    for (size_t i = from; i < from + count; ++i) {
        const Outgoing& m = (*nv.out)[i];
        const sockaddr_in& to = m.toRequestTarget ? nv.toRequest : nv.toJob;
        if (sendto(static_cast<SOCKET>(s), reinterpret_cast<const char*>(m.bytes), int(m.size), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
            if (sent > 0)
                return sent; // the failure comes back on the next call
            error = WSAGetLastError();
            transient = error == WSAEWOULDBLOCK || error == WSAENOBUFS;
            return -1;
        }
        ++sent;
    }
    return sent;
}

} // namespace devsim
