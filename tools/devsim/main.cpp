// SPDX-License-Identifier: MIT
// brelvo-devsim: simulated devices in update mode, for trying the tool
// without hardware and for the integration tests. See --help.
//
// The program's outline: the command line, the files the sessions compare
// against, a socket per device (Fleet), one thread serving them all
// (DeviceLoop), a summary line per device (Summary), the exit code.

#include "DeviceLoop.h"
#include "DeviceSession.h"
#include "DevsimOptions.h"
#include "Fleet.h"
#include "SocketAddress.h"
#include "Summary.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace devsim;

namespace {

// As --help lists them.
constexpr int kExitOk = 0;
constexpr int kExitDeviceFailed = 1; // a violation, mismatch or time-out
constexpr int kExitSetUp = 2;        // the command line or the set-up

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int) { interrupted = 1; }

// Whole file into `out`; false with the reason in `error`.
bool readFile(const std::string& path, std::vector<uint8_t>& out, std::string& error)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
        close(fd);
        return false;
    }
    out.clear();
    out.reserve(size_t(st.st_size));
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::strerror(errno);
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    close(fd);
    return true;
}

// Binds PORT on every address and keeps it, standing in for another program
// that already serves that port.
int holdPort(const DevsimOptions& o)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::fprintf(stderr, "brelvo-devsim: --hold-port %d: cannot create a UDP socket: %s\n", o.holdPort,
                     std::strerror(errno));
        return kExitSetUp;
    }
    // No SO_REUSEADDR: the point is that nobody else can bind the port.
    sockaddr_in a = socketAddress(INADDR_ANY, uint16_t(o.holdPort));
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::fprintf(stderr, "brelvo-devsim: --hold-port %d: cannot bind UDP port %d on 0.0.0.0: %s\n", o.holdPort,
                     o.holdPort, std::strerror(errno));
        close(fd);
        return kExitSetUp;
    }
    std::printf("holding udp %d\n", o.holdPort);
    std::fflush(stdout);
    const auto until = o.holdSeconds > 0 ? Clock::now() + std::chrono::seconds(o.holdSeconds)
                                         : Clock::time_point::max();
    while (!interrupted && Clock::now() < until) {
        // Short naps keep a signal from waiting long; anything sent to the
        // port stays unread, as with a busy program.
        usleep(50000);
    }
    close(fd);
    return kExitOk;
}

// Reads the file an --expect-... option names into `into`; false after
// saying why not.
bool loadExpected(const char* option, const std::string& path, std::shared_ptr<const std::vector<uint8_t>>& into)
{
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    std::string error;
    if (!readFile(path, *bytes, error)) {
        std::fprintf(stderr, "brelvo-devsim: %s: cannot read '%s': %s\n", option, path.c_str(), error.c_str());
        return false;
    }
    into = bytes;
    return true;
}

// What every session is told beyond the command line: the files it compares
// against, whether it keeps what arrives. False after saying what is wrong.
bool prepareSessions(DevsimOptions& o)
{
    if (!o.expectImagePath.empty() && !loadExpected("--expect-image", o.expectImagePath, o.session.expectImage))
        return false;
    if (!o.expectConfigPath.empty() && !loadExpected("--expect-config", o.expectConfigPath, o.session.expectConfig))
        return false;
    o.session.keepBytes = !o.saveImagePath.empty();
    for (uint32_t a : o.bindAddrs) {
        if (!addressIsLocal(a)) {
            std::fprintf(stderr, "brelvo-devsim: %s is not an address of this host (see --bind)\n",
                         addressText(a).c_str());
            return false;
        }
    }
    return true;
}

void watchSignals()
{
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv)
{
    DevsimOptions o;
    std::string error;
    if (!parseDevsimOptions(std::vector<std::string>(argv + 1, argv + argc), o, error)) {
        std::fprintf(stderr, "brelvo-devsim: %s\nTry 'brelvo-devsim --help'.\n", error.c_str());
        return kExitSetUp;
    }
    if (o.help) {
        std::fputs(devsimHelpText(), stdout);
        return kExitOk;
    }
    if (o.version) {
        std::printf("brelvo-devsim %s\n", BRELVO_VERSION);
        return kExitOk;
    }
    watchSignals();
    if (o.holdPort)
        return holdPort(o);

    Fleet fleet;
    if (!prepareSessions(o) || !setUpFleet(o, fleet))
        return kExitSetUp;
    DeviceLoop(o, fleet, interrupted).run();

    const bool allOk = reportDevices(o, fleet);
    closeFleet(fleet);
    if (o.cpuReport)
        printCpuReport(fleet);
    std::fflush(stdout);
    return allOk ? kExitOk : kExitDeviceFailed;
}
