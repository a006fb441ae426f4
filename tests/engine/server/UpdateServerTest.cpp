// SPDX-License-Identifier: MIT
// The server's table, its address pool and its listener, over loopback in a
// private namespace.
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/ErrorText.h"
#include "platform/Socket.h"
#include "server/UpdateServer.h"

#include <set>

using namespace brelvo;
using namespace brelvo_test;

namespace {

void send(const std::string& code, int times = 1)
{
    const std::vector<uint8_t> d = code.empty() ? std::vector<uint8_t>{'j', 'u', 'n', 'k'} : request(code);
    SocketHandle s = openUdpSocket();
    for (int i = 0; i < times; ++i)
        sendTo(s, d.data(), d.size(), SocketAddress{addressFromText("127.0.0.1"), hostToNet16(3281)});
    closeSocket(s);
}

bool until(const std::function<bool()>& done) { return waitFor(done, 30s); }

} // namespace

// A station serves on for days and clears its table now and then: pruning
// must give the lent addresses back, keep the running jobs in order, and
// destruction must join whatever still runs. Jobs that ended are counted
// even when junk overruns the event queue and takes their results with it.
TEST(UpdateServer, PruneGivesAddressesBackAndKeepsRunningJobs)
{
    inPrivateNetns([] {
        answeringBelow(251); // three addresses to lend: .251 to .253
        TempDir fw;
        // RUNNING loads and waits for its device; FAILING has no version file.
        fw.writeText("kvx_RUNNING.bin", std::string(3000, 'r'));
        fw.writeText("kvx_RUNNING-ver.bin", "product=RUNNING\n");
        fw.writeText("kvx_FAILING.bin", "f");
        std::vector<std::shared_ptr<UpdateJob>> seen;
        {
            UpdateServer server;
            CHILD_CHECK(server.start(fw.path(), "", "10.213.9.1", 3) == 0 && until([] { return udpPortBound(3281); }));
            CHILD_CHECK(server.start(fw.path(), "", "10.213.9.1", 3) == -1); // one listener only
            for (const char* code : {"FAILING", "NOMATCH", "FAILING", "FAILING"})
                send(code);
            CHILD_CHECK(until([&] { return server.jobCount() == 3; }));
            std::set<uint32_t> lent;
            for (int i = 0; i < 3; ++i) {
                seen.push_back(server.jobAt(i));
                CHILD_CHECK(until([&] { return seen[i]->isFinished(); }) && seen[i]->statusCode() == FileError);
                lent.insert(seen[i]->lentAddress());
            }
            CHILD_CHECK(lent.size() == 3 && !lent.count(0));
            CHILD_CHECK(until([&] { return send("", 100), server.droppedEvents() > 200; }));
            std::vector<Event> events;
            server.takeEvents(events);
            for (const Event& e : events)
                CHILD_CHECK(e.kind == EventKind::RequestMalformed);
            const UpdateServer::EndedJobs ended = server.endedJobs();
            CHILD_CHECK(ended.failed == 3 && ended.succeeded == 0 && ended.stopped == 0);
            server.pruneFinished();
            CHILD_CHECK(server.jobCount() == 0 && seen[0]->statusCode() == FileError); // a pruned record stays valid

            // The pool is whole again: two running jobs and a failing one between them.
            for (const char* code : {"RUNNING", "FAILING", "RUNNING"})
                send(code);
            CHILD_CHECK(until([&] { return server.jobCount() == 3; }));
            auto first = server.jobAt(0), failing = server.jobAt(1), second = server.jobAt(2);
            CHILD_CHECK(until([&] { return first->statusCode() == OfferSent && second->statusCode() == OfferSent; }));
            CHILD_CHECK(until([&] { return failing->isFinished(); }));
            server.pruneFinished();
            CHILD_CHECK(server.jobCount() == 2 && server.jobAt(0) == first && server.jobAt(1) == second);
            CHILD_CHECK(first->row() == 1 && second->row() == 2 && server.jobAt(2) == nullptr && server.jobAt(-1) == nullptr);
            send("FAILING"); // lands after the kept jobs, on the address given back
            CHILD_CHECK(until([&] { return server.jobCount() == 3; }));
            CHILD_CHECK(server.jobAt(2)->lentAddress() == failing->lentAddress());
            seen = {first, second};
            // Leaving the scope destroys the server with its listener and two
            // workers still running.
        }
        CHILD_CHECK(seen[0]->workerEnded() && seen[1]->workerEnded() && seen[0]->isFinished());
    });
}

TEST(UpdateServer, ListenerFailuresLeaveTheServerStartable)
{
    inPrivateNetns([] {
        // Port taken: the start itself fails and says why (what follows a
        // failed start is the integration tests' Listener case).
        SocketHandle blocker = openUdpSocket();
        CHILD_CHECK(bindSocket(blocker, 0, hostToNet16(3281)) == 0);
        UpdateServer server;
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == -1);
        CHILD_CHECK(isAddressInUse(server.startErrno()) && server.startError().find("3281") != std::string::npos);
        closeSocket(blocker);

        // No thread at all: start fails with every flag cleared.
        if (!dropToNobodyWithoutThreads())
            ::_exit(kChildSkipped);
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == -1);
        CHILD_CHECK(!server.listenerRunning() && server.isIdle());
        CHILD_CHECK(raiseThreadLimit());
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == 0);
        server.stop();
        CHILD_CHECK(until([&] { return server.isIdle(); }));
    });
}
