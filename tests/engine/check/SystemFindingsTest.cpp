// Port, address and ICMP findings, each in a private network namespace made
// for it (interfaces there are joined to nothing; nothing is sent).
#include "EngineTestSupport.h"
#include "check/FindingText.h"
#include "check/PreflightCheck.h"
#include "platform/AddressText.h"

#include <grp.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>

using namespace brelvo;

namespace {

// Runs a shell command in the child; a failure ends the child.
void sh(const std::string& command)
{
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
        ::_exit(1);
    }
}

int boundUdpSocket(int family, const char* address, uint16_t port)
{
    const int s = ::socket(family, SOCK_DGRAM, 0);
    if (family == AF_INET) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = addressFromText(address);
        if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            return -1;
    } else {
        int off = 0;
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            return -1;
    }
    return s;
}

// Runs `body` in a grandchild that is user and group nobody without other
// groups; false when it failed.
bool asNobody(const std::function<void()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Finding single(const std::vector<Finding>& findings, FindingId id)
{
    Finding found;
    int count = 0;
    for (const Finding& f : findings) {
        if (f.id == id) {
            found = f;
            ++count;
        }
    }
    CHILD_CHECK(count == 1);
    return found;
}

bool has(const std::vector<Finding>& findings, FindingId id)
{
    for (const Finding& f : findings)
        if (f.id == id)
            return true;
    return false;
}

std::string ownComm()
{
    std::string comm = brelvo_test::readText("/proc/self/comm");
    while (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    return comm;
}

} // namespace

TEST(PortFindings, NamesTheHolderAsFarAsRightsAllow)
{
    brelvo_test::inPrivateNetns([] {
        CHILD_CHECK(checkRequestPort(3281)[0].id == FindingId::PortFree);

        // This process itself.
        int s = boundUdpSocket(AF_INET, "0.0.0.0", 3281);
        CHILD_CHECK(s >= 0);
        Finding f = single(checkRequestPort(3281), FindingId::PortInUse);
        CHILD_CHECK(f.severity == Severity::Failure);
        CHILD_CHECK(f.arg("pid") == std::to_string(::getpid()));
        CHILD_CHECK(f.arg("process") == ownComm());
        CHILD_CHECK(f.arg("self") == "yes");
        CHILD_CHECK(findingMessage(f).find("this program itself") != std::string::npos);
        ::close(s);
        CHILD_CHECK(checkRequestPort(3281)[0].id == FindingId::PortFree);

        // Another process, on the loopback address only: still in the way of 0.0.0.0.
        int ready[2];
        CHILD_CHECK(::pipe(ready) == 0);
        const pid_t holder = ::fork();
        if (holder == 0) {
            ::prctl(PR_SET_NAME, "brv-holder");
            const int h = boundUdpSocket(AF_INET, "127.0.0.1", 3281);
            ::write(ready[1], h >= 0 ? "y" : "n", 1);
            ::pause();
            ::_exit(0);
        }
        char answer = 0;
        CHILD_CHECK(::read(ready[0], &answer, 1) == 1 && answer == 'y');
        f = single(checkRequestPort(3281), FindingId::PortInUse);
        CHILD_CHECK(f.arg("pid") == std::to_string(holder));
        CHILD_CHECK(f.arg("process") == "brv-holder");
        CHILD_CHECK(f.arg("self") == "no");
        CHILD_CHECK(f.arg("holders") == "pid " + std::to_string(holder) + " (brv-holder)");
        CHILD_CHECK(f.details.size() == 1 && f.details[0].find("127.0.0.1:3281") != std::string::npos);
        CHILD_CHECK(findingRemedy(f).find("kill " + std::to_string(holder)) != std::string::npos);

        // Someone who may not look into root's processes learns only the owner.
        CHILD_CHECK(asNobody([] {
            const Finding n = single(checkRequestPort(3281), FindingId::PortInUse);
            CHILD_CHECK(n.arg("pid").empty() && n.arg("uid") == "0");
            CHILD_CHECK(findingMessage(n).find("unknown process") != std::string::npos);
        }));
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);

        // A dual-stack IPv6 socket takes the IPv4 port as well.
        s = boundUdpSocket(AF_INET6, "", 3281);
        if (s >= 0) {
            f = single(checkRequestPort(3281), FindingId::PortInUse);
            CHILD_CHECK(f.details.size() == 1 && f.details[0].find("[::]:3281") != std::string::npos);
            ::close(s);
        }
    });
}

TEST(AddressFindings, InterfaceStateNeighboursAndRoutes)
{
    brelvo_test::inPrivateNetns([] {
        // a0 is the card to serve on; b0 and c0 are other cards.
        sh("ip link add a0 type veth peer name a1 && ip addr add 10.50.0.1/24 dev a0 && "
           "ip link set a0 up && ip link set a1 up");
        sh("ip link add b0 type veth peer name b1 && ip link set b0 up && ip link set b1 up");
        for (const char* text : {"", "not-an-address", "1.2.3.4.5", "255.255.255.255", "0.0.0.0"}) {
            const Finding f = single(checkLocalAddress(text), FindingId::AddressInvalid);
            CHILD_CHECK(f.severity == Severity::Failure && f.arg("text") == text);
            CHILD_CHECK(f.arg("local") == "10.50.0.1 (a0)");
        }
        Finding f = single(checkLocalAddress("10.50.0.2"), FindingId::AddressNotLocal);
        CHILD_CHECK(findingRemedy(f) == "choose one of: 10.50.0.1 (a0)");
        f = single(checkLocalAddress("127.0.0.1"), FindingId::AddressLoopback);
        CHILD_CHECK(f.severity == Severity::Warning);

        std::vector<Finding> all = checkLocalAddress("10.50.0.1");
        CHILD_CHECK(all.size() == 1 && all[0].id == FindingId::InterfaceOk && all[0].arg("interface") == "a0");
        CHILD_CHECK(all[0].arg("prefix") == "24");

        sh("ip link set a1 down"); // the far end: no carrier here
        brelvo::sleepMilliseconds(50);
        f = single(checkLocalAddress("10.50.0.1"), FindingId::InterfaceNoCarrier);
        CHILD_CHECK(f.severity == Severity::Warning);
        sh("ip link set a0 down");
        f = single(checkLocalAddress("10.50.0.1"), FindingId::InterfaceDown);
        CHILD_CHECK(f.severity == Severity::Failure);
        CHILD_CHECK(findingRemedy(f) == "switch it on: sudo ip link set a0 up");
        sh("ip link set a0 up && ip link set a1 up");

        // Another card in the same /24 (any prefix), and one in another /24.
        sh("ip addr add 10.50.0.200/16 dev b0 && ip addr add 10.50.1.7/24 dev b0");
        f = single(checkLocalAddress("10.50.0.1"), FindingId::SubnetShared);
        CHILD_CHECK(f.arg("other") == "b0" && f.arg("otherAddress") == "10.50.0.200/16");
        CHILD_CHECK(f.arg("network") == "10.50.0.0/24");
        // A second address on the same card is no second card.
        sh("ip addr del 10.50.0.200/16 dev b0 && ip addr add 10.50.0.3/24 dev a0");
        CHILD_CHECK(!has(checkLocalAddress("10.50.0.1"), FindingId::SubnetShared));

        // Default routes: through the card itself nothing to say, through another a warning.
        sh("ip route add default dev a0");
        CHILD_CHECK(!has(checkLocalAddress("10.50.0.1"), FindingId::DefaultRouteElsewhere));
        sh("ip route add default via 10.50.1.1 dev b0 metric 10");
        f = single(checkLocalAddress("10.50.0.1"), FindingId::DefaultRouteElsewhere);
        CHILD_CHECK(f.arg("routeInterface") == "b0" && f.arg("gateway") == "10.50.1.1");

        // A network narrower than the swept /24.
        sh("ip addr add 10.60.0.1/28 dev a0");
        f = single(checkLocalAddress("10.60.0.1"), FindingId::PrefixNarrow);
        CHILD_CHECK(f.arg("prefix") == "28" && f.arg("network") == "10.60.0.0/24");
    });
}

TEST(IcmpFindings, RawDatagramOrNone)
{
    brelvo_test::inPrivateNetns([] {
        CHILD_CHECK(icmpMethodAvailable() == IcmpMethod::Raw);
        CHILD_CHECK(single(checkIcmpRights("brelvo-cli"), FindingId::IcmpRaw).arg("reason") == "root");

        sh("sysctl -w net.ipv4.ping_group_range='1 0'");
        CHILD_CHECK(asNobody([] {
            CHILD_CHECK(icmpMethodAvailable() == IcmpMethod::None);
            const Finding f = single(checkIcmpRights("brelvo-tool"), FindingId::IcmpNone);
            CHILD_CHECK(f.severity == Severity::Failure && f.arg("range") == "1 0" && f.arg("groups") == "65534");
            CHILD_CHECK(findingRemedy(f).find("setcap cap_net_raw+ep $(command -v brelvo-tool)") != std::string::npos);
            CHILD_CHECK(findingRemedy(f).find("ping_group_range=\"0 2147483647\"") != std::string::npos);
        }));

        sh("sysctl -w net.ipv4.ping_group_range='65000 65534'");
        CHILD_CHECK(asNobody([] {
            CHILD_CHECK(icmpMethodAvailable() == IcmpMethod::Datagram);
            const Finding f = single(checkIcmpRights("brelvo-cli"), FindingId::IcmpDatagram);
            CHILD_CHECK(f.severity == Severity::Info && f.arg("group") == "65534");
        }));
    });
}
