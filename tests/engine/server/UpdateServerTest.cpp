#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "server/UpdateServer.h"

using namespace brelvo;
using namespace brelvo_test;

namespace {

void send(const std::vector<uint8_t>& d)
{
    SocketHandle s = openUdpSocket();
    sendTo(s, d.data(), d.size(), SocketAddress{addressFromText("127.0.0.1"), hostToNet16(3281)});
    closeSocket(s);
}

// True once a socket holds UDP port 3281 (0CD1), read from the kernel's table:
// binding it to find out would race with the listener's own bind.
bool listenerBound()
{
    std::ifstream in("/proc/self/net/udp");
    for (std::string line, slot, local; std::getline(in, line);) {
        std::istringstream(line) >> slot >> local;
        if (local.size() > 5 && local.compare(local.size() - 5, 5, ":0CD1") == 0)
            return true;
    }
    return false;
}

} // namespace

TEST(UpdateServer, PruneKeepsRunningJobsAndDestructionJoinsEverything)
{
    inPrivateNetns([] {
        // A /24 of silent hosts, so the sweep finds addresses to lend.
        CHILD_CHECK(std::system("ip addr add 10.213.9.1/32 dev lo && ip route add 10.213.9.0/24 dev lo src 10.213.9.1") == 0);
        TempDir fw;
        // RUNNING loads and waits for its device; FAILING has no version file (13).
        fw.writeText("kvx_RUNNING.bin", std::string(3000, 'r'));
        fw.writeText("kvx_RUNNING-ver.bin", "product=RUNNING\n");
        fw.writeText("kvx_FAILING.bin", "f");
        std::vector<std::shared_ptr<UpdateJob>> seen;
        {
            UpdateServer server;
            CHILD_CHECK(server.start(fw.path(), "", "10.213.9.1", 3) == 0 && waitUntil(listenerBound));
            CHILD_CHECK(server.start(fw.path(), "", "10.213.9.1", 3) == -1); // one listener only
            for (const char* code : {"FAILING", "RUNNING", "FAILING", "RUNNING", "NOMATCH", "FAILING"})
                send(request(code));
            CHILD_CHECK(waitUntil([&] { return server.jobCount() == 5; }));
            for (int i = 0; i < 5; ++i)
                seen.push_back(server.jobAt(i));
            CHILD_CHECK(waitUntil([&] { return seen[0]->isFinished() && seen[2]->isFinished() && seen[4]->isFinished(); }));
            CHILD_CHECK(seen[0]->statusCode() == FileError);
            CHILD_CHECK(waitUntil([&] { return seen[1]->statusCode() == OfferSent && seen[3]->statusCode() == OfferSent; }));
            server.pruneFinished();
            CHILD_CHECK(server.jobCount() == 2 && server.jobAt(0) == seen[1] && server.jobAt(1) == seen[3]);
            CHILD_CHECK(server.jobAt(2) == nullptr && server.jobAt(-1) == nullptr);
            CHILD_CHECK(seen[0]->statusCode() == FileError); // a pruned record stays valid
            send(request("FAILING")); // lands after the kept jobs, not over them
            CHILD_CHECK(waitUntil([&] { return server.jobCount() == 3; }));
            CHILD_CHECK(server.jobAt(0) == seen[1] && server.jobAt(1) == seen[3]);
            // Leaving the scope destroys the server with its listener and two
            // workers still running.
        }
        CHILD_CHECK(seen[1]->workerEnded() && seen[3]->workerEnded() && seen[1]->isFinished());
    });
}

TEST(UpdateServer, ListenerFailuresLeaveTheServerStartable)
{
    inPrivateNetns([] {
        // Port taken: the start itself fails and says why; the server stays
        // idle, and starts once the port is free.
        SocketHandle blocker = openUdpSocket();
        CHILD_CHECK(bindSocket(blocker, 0, hostToNet16(3281)) == 0);
        UpdateServer server;
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == -1);
        CHILD_CHECK(server.startErrno() == EADDRINUSE && server.startError().find("3281") != std::string::npos);
        CHILD_CHECK(!server.listenerRunning() && server.isIdle());
        std::vector<Event> events;
        server.takeEvents(events);
        CHILD_CHECK(events.size() == 1 && events[0].kind == EventKind::ListenerFailed && events[0].code == EADDRINUSE);
        closeSocket(blocker);
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == 0);
        server.stop();
        CHILD_CHECK(waitUntil([&] { return server.isIdle(); }));

        // No thread at all: start fails with every flag cleared.
        if (!dropToNobodyWithoutThreads())
            ::_exit(kChildSkipped);
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == -1);
        CHILD_CHECK(!server.listenerRunning() && server.isIdle());
        CHILD_CHECK(raiseThreadLimit());
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == 0);
        server.stop();
        CHILD_CHECK(waitUntil([&] { return server.isIdle(); }));
    });
}
