// SPDX-License-Identifier: MIT
#include "platform/UdpSniffer.h"

#include <cerrno>
#include <cstring>
#include <linux/filter.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace brelvo {

SocketHandle openUdpSniffer(uint32_t magic, uint8_t highestType)
{
    const SocketHandle s = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_UDP);
    if (s < 0)
        return kInvalidSocket;
    // The packet starts with its IP header; X holds its length, so X + 8 is
    // where the UDP payload begins. A packet too short for a load is dropped.
    sock_filter code[] = {
        {BPF_LDX | BPF_B | BPF_MSH, 0, 0, 0},
        {BPF_LD | BPF_W | BPF_IND, 0, 0, 8},
        {BPF_JMP | BPF_JEQ | BPF_K, 0, 3, magic},
        {BPF_LD | BPF_B | BPF_IND, 0, 0, 12},
        {BPF_JMP | BPF_JGT | BPF_K, 1, 0, highestType},
        {BPF_RET | BPF_K, 0, 0, 0xFFFF},
        {BPF_RET | BPF_K, 0, 0, 0},
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    if (::setsockopt(s, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0) {
        closeSocket(s);
        return kInvalidSocket;
    }
    // Whatever came in before the filter was attached.
    uint8_t skip[64];
    while (::recv(s, skip, sizeof skip, MSG_DONTWAIT) >= 0) {
    }
    return s;
}

int receiveSniffed(SocketHandle s, uint8_t* payload, size_t capacity, SocketAddress* from, uint16_t* toPort)
{
    uint8_t packet[2048];
    ssize_t n;
    do {
        n = ::recv(s, packet, sizeof packet, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    const size_t header = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if (header < 20 || static_cast<size_t>(n) < header + 8)
        return 0;
    const uint8_t* udp = packet + header;
    size_t length = static_cast<size_t>(n) - header - 8;
    const size_t declared = (size_t(udp[4]) << 8 | udp[5]);
    if (declared >= 8 && declared - 8 < length)
        length = declared - 8;
    if (length > capacity)
        length = capacity;
    std::memcpy(payload, udp + 8, length);
    std::memcpy(&from->address, packet + 12, 4);
    std::memcpy(&from->port, udp, 2);
    std::memcpy(toPort, udp + 2, 2);
    return length == 0 ? 0 : static_cast<int>(length);
}

} // namespace brelvo
