// brelvo-devsim: simulated devices in update mode, for trying the tool
// without hardware and for the integration tests. See --help.

#include "DeviceSession.h"
#include "DevsimOptions.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace devsim;

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int) { interrupted = 1; }

struct Device {
    std::unique_ptr<DeviceSession> session;
    int fd = -1;
    uint32_t source = 0; // host order; 0: let the kernel choose
    uint16_t port = 0;   // host order
    Clock::time_point startAt;
    bool begun = false;
    DeviceSession::Phase shownPhase = DeviceSession::Phase::Idle;
    unsigned sendErrors = 0;
};

const char* phaseName(DeviceSession::Phase p)
{
    switch (p) {
    case DeviceSession::Phase::Idle: return "idle";
    case DeviceSession::Phase::WaitOffer: return "request sent, waiting for the Offer";
    case DeviceSession::Phase::WaitSize: return "Offer received, Ready sent";
    case DeviceSession::Phase::WaitBlocks: return "Size received, receiving blocks";
    case DeviceSession::Phase::WaitEnd: return "all blocks in, waiting for End";
    case DeviceSession::Phase::Reporting: return "End received, reporting";
    case DeviceSession::Phase::Done: return "done";
    case DeviceSession::Phase::Failed: return "failed";
    }
    return "?";
}

std::string endpointText(uint32_t addr, uint16_t port) { return addressText(addr) + ":" + std::to_string(port); }

// Sends from the device's socket; with a source address the packet leaves
// from that address although the socket listens on 0.0.0.0 (it must, to
// hear the broadcast Offer).
bool sendFrom(Device& d, const std::vector<uint8_t>& bytes, uint32_t addr, uint16_t port, std::string& error)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(addr);
    to.sin_port = htons(port);
    iovec iov{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    if (d.source) {
        std::memset(control, 0, sizeof control);
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(d.source);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (sendmsg(d.fd, &msg, 0) == ssize_t(bytes.size()))
            return true;
        if (errno != EAGAIN && errno != ENOBUFS && errno != EINTR)
            break;
        usleep(200);
    }
    error = std::string(std::strerror(errno)) + " sending to " + endpointText(addr, port);
    return false;
}

void showPhase(Device& d, bool verbose)
{
    if (verbose && d.session->phase() != d.shownPhase) {
        d.shownPhase = d.session->phase();
        std::fprintf(stderr, "device %d: %s (%ld ms)\n", d.session->index(), phaseName(d.shownPhase),
                     d.session->elapsedMs());
    }
}

void dispatch(Device& d, const DevsimOptions& o, std::vector<Outgoing> out, bool verbose)
{
    for (auto& m : out) {
        uint32_t addr;
        uint16_t port;
        if (m.toRequestTarget) {
            addr = o.broadcast ? 0xFFFFFFFFu : o.toolAddr;
            port = o.toolPort;
        } else {
            addr = d.session->offer().toolAddr;
            port = d.session->offer().jobPort;
        }
        std::string err;
        if (!sendFrom(d, m.bytes, addr, port, err)) {
            ++d.sendErrors;
            if (verbose)
                std::fprintf(stderr, "device %d: %s\n", d.session->index(), err.c_str());
            if (m.toRequestTarget) {
                d.session->abort("the update request could not be sent: " + err +
                                     (o.broadcast ? " (is there a route for 255.255.255.255?)" : ""),
                                 Clock::now());
                break;
            }
        }
    }
    showPhase(d, verbose);
}

bool readFile(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int openDeviceSocket(const DevsimOptions& o, int index, uint16_t& port, std::string& error)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    if (o.broadcast)
        setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    int rcv = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(uint16_t(o.basePort ? o.basePort + index : 0));
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        error = "cannot listen on UDP port " + std::to_string(o.basePort ? o.basePort + index : 0) + ": " +
                std::strerror(errno);
        close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// A source address must belong to this host, or every send would fail.
bool addressIsLocal(uint32_t addr)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(addr);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    DevsimOptions o;
    std::string error;
    if (!parseDevsimOptions(std::vector<std::string>(argv + 1, argv + argc), o, error)) {
        std::fprintf(stderr, "brelvo-devsim: %s\nTry 'brelvo-devsim --help'.\n", error.c_str());
        return 2;
    }
    if (o.help) {
        std::fputs(devsimHelpText(), stdout);
        return 0;
    }
    if (!o.expectImagePath.empty()) {
        auto image = std::make_shared<std::vector<uint8_t>>();
        if (!readFile(o.expectImagePath, *image)) {
            std::fprintf(stderr, "brelvo-devsim: cannot read the expected image '%s'\n", o.expectImagePath.c_str());
            return 2;
        }
        o.session.expectImage = image;
    }
    for (uint32_t a : o.bindAddrs) {
        if (!addressIsLocal(a)) {
            std::fprintf(stderr, "brelvo-devsim: %s is not an address of this host (see --bind)\n",
                         addressText(a).c_str());
            return 2;
        }
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<Device> devices(size_t(o.count));
    const auto t0 = Clock::now();
    for (int i = 0; i < o.count; ++i) {
        Device& d = devices[size_t(i)];
        d.fd = openDeviceSocket(o, i, d.port, error);
        if (d.fd < 0) {
            std::fprintf(stderr, "brelvo-devsim: device %d: %s\n", i, error.c_str());
            return 2;
        }
        if (!o.bindAddrs.empty())
            d.source = o.bindAddrs[size_t(i) % o.bindAddrs.size()];
        d.session = std::make_unique<DeviceSession>(i, o.session);
        d.startAt = t0 + std::chrono::milliseconds(o.startDelayMs + i * o.staggerMs);
    }

    std::vector<uint8_t> buf(65536);
    std::vector<pollfd> fds;
    std::vector<size_t> owner;
    for (;;) {
        auto now = Clock::now();
        if (interrupted) {
            for (auto& d : devices)
                if (!d.session->finished())
                    d.session->abort("interrupted", now);
        }
        bool all = true;
        auto wake = now + std::chrono::seconds(1);
        fds.clear();
        owner.clear();
        for (size_t i = 0; i < devices.size(); ++i) {
            Device& d = devices[i];
            if (!d.begun && now >= d.startAt && !d.session->finished()) {
                d.begun = true;
                dispatch(d, o, d.session->begin(now), o.verbose);
            }
            if (d.session->finished())
                continue;
            all = false;
            if (!d.begun)
                wake = std::min(wake, d.startAt);
            else
                wake = std::min(wake, d.session->nextWake());
            fds.push_back(pollfd{d.fd, POLLIN, 0});
            owner.push_back(i);
        }
        if (all)
            break;
        auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
        if (waitMs < 0)
            waitMs = 0;
        int n = poll(fds.data(), nfds_t(fds.size()), int(waitMs));
        now = Clock::now();
        if (n > 0) {
            for (size_t k = 0; k < fds.size(); ++k) {
                if (!(fds[k].revents & POLLIN))
                    continue;
                Device& d = devices[owner[k]];
                for (;;) {
                    sockaddr_in from{};
                    socklen_t flen = sizeof from;
                    ssize_t got = recvfrom(d.fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &flen);
                    if (got < 0)
                        break;
                    if (!d.begun)
                        continue;
                    dispatch(d, o,
                             d.session->onDatagram(buf.data(), size_t(got), ntohl(from.sin_addr.s_addr),
                                                   ntohs(from.sin_port), now),
                             o.verbose);
                    if (d.session->finished())
                        break;
                }
            }
        }
        for (auto& d : devices) {
            if (d.begun && !d.session->finished())
                dispatch(d, o, d.session->onTimer(now), o.verbose);
        }
    }

    bool allOk = true;
    for (auto& d : devices) {
        const DeviceSession& s = *d.session;
        if (!o.saveImagePath.empty() && !s.received().empty()) {
            std::string path = o.saveImagePath;
            if (o.count > 1)
                path += "." + std::to_string(s.index());
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(s.received().data()), std::streamsize(s.received().size()));
            if (!out) {
                std::fprintf(stderr, "brelvo-devsim: cannot write '%s'\n", path.c_str());
                allOk = false;
            }
        }
        for (const auto& v : s.violations())
            std::printf("device %d violation: %s\n", s.index(), v.c_str());
        if (s.violationCount() > s.violations().size())
            std::printf("device %d violation: ... %u more\n", s.index(),
                        unsigned(s.violationCount() - s.violations().size()));
        if (!s.failure().empty())
            std::printf("device %d failure: %s\n", s.index(), s.failure().c_str());
        long long phaseUs = s.blockPhaseUs();
        std::printf("device %d %s product=%s lent=%s tool=%s result=%s bytes=%u blocks=%u/%u resent=%u dropped=%u "
                    "acks=%u ends=%u elapsed_ms=%ld block_phase_us=%lld violations=%u\n",
                    s.index(), endpointText(d.source, d.port).c_str(), o.session.product.c_str(),
                    addressText(s.offer().lentAddr).c_str(),
                    endpointText(s.offer().toolAddr, s.offer().jobPort).c_str(), s.resultText().c_str(),
                    s.imageLength(), s.blocksReceived(), s.blockCount(), s.resentBlocks(), s.droppedBlocks(),
                    s.acksSent(), s.endsReceived(), s.elapsedMs(), phaseUs, s.violationCount());
        if (!s.succeeded())
            allOk = false;
        close(d.fd);
    }
    std::fflush(stdout);
    return allOk ? 0 : 1;
}
