// SPDX-License-Identifier: MIT
// The server's table, its address pool and its listener, over loopback in a
// private namespace.
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/ErrorText.h"
#include "platform/Socket.h"
#include "platform/WallClock.h"
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

// Events until one of `kind` came (kept in `seen`); null when none did.
const Event* awaitEvent(UpdateServer& server, std::vector<Event>& seen, EventKind kind)
{
    const Event* found = nullptr;
    until([&] {
        const size_t from = seen.size();
        server.takeEvents(seen);
        for (size_t i = from; i < seen.size() && !found; ++i)
            found = seen[i].kind == kind ? &seen[i] : nullptr;
        return found != nullptr;
    });
    return found;
}

// The firmware folder as a test wants it: every code but NOFIRMW has an
// image; the first read throws, SLOWIMG's goes on until its job is stopped.
struct ScriptedFirmware : FirmwareSource {
    std::atomic<bool> throwNext{true};
    std::atomic<bool> reading{false};
    std::string find(const std::string&, const std::string& code, const StopCheck&) override
    {
        return code == "NOFIRMW" ? "" : "/" + code;
    }
    std::shared_ptr<const PreparedImage> prepare(const std::string&, const std::string& code, const std::string&,
                                                 Error* error, const StopCheck& stop) override
    {
        if (throwNext.exchange(false))
            throw std::bad_alloc();
        for (reading = code == "SLOWIMG"; reading && !stop();)
            sleepMilliseconds(1);
        fail(error, kPrepareStopped, "stopped");
        return nullptr;
    }
};

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
            CHILD_CHECK(until([&] { return server.jobAt(2)->isFinished(); }));
            // Last: under Wine, sockets opened after such a flood may send nothing.
            CHILD_CHECK(until([&] { return send("", 100), server.droppedEvents() > 200; }));
            std::vector<Event> events;
            server.takeEvents(events);
            for (const Event& e : events)
                CHILD_CHECK(e.kind == EventKind::RequestMalformed);
            const UpdateServer::EndedJobs ended = server.endedJobs();
            CHILD_CHECK(ended.failed == 5 && ended.succeeded == 0 && ended.stopped == 0);
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

// A Stop while the listener reads the firmware folder (here a 1 TiB entry
// with no line end) is honoured at once: the read is abandoned, nothing is
// sent, and the request heard before the Stop gets its Stopped row, started
// when it came.
TEST(UpdateServer, AStopDuringTheFolderReadEndsItAndTheRequestGetsAStoppedRow)
{
    inPrivateNetns([] {
        answeringBelow(251);
        TempDir fw;
        std::error_code sized;
        std::filesystem::resize_file(fw.writeText("kvx_HUGEONE.bin", ""), 1ULL << 40, sized); // sparse
#ifdef _WIN32
        if (sized)
            skipRest("a file of 1 TiB, which Windows (and Wine) will not leave sparse");
#endif
        CHILD_CHECK(!sized);
        ServerSettings settings;
        settings.firmwareDir = fw.path();
        settings.localAddress = "10.213.9.1";
        settings.options = 3;
        settings.reportPath = fw.file("run.csv");
        UpdateServer server;
        CHILD_CHECK(server.start(settings) == 0);
        std::vector<Event> seen;
        CHILD_CHECK(awaitEvent(server, seen, EventKind::SweepFinished));
        send("HUGEONE");
        const Event* received = awaitEvent(server, seen, EventKind::RequestReceived);
        CHILD_CHECK(received);
        const int64_t heardMs = received->wallTimeMs;
        CHILD_CHECK(waitFor([&] { return unixTimeMs() > heardMs; }, 5s));
        server.stop();
        CHILD_CHECK(until([&] { return server.isIdle(); }) && server.flushReports());
        server.takeEvents(seen);
        for (const Event& e : seen)
            CHILD_CHECK(e.kind != EventKind::OfferSent && e.kind != EventKind::RequestNoFirmware);
        CHILD_CHECK(server.jobCount() == 1 && server.jobAt(0)->statusCode() == Stopped);
        const JobSummary row = server.jobAt(0)->summary();
        CHILD_CHECK(row.startedMs <= heardMs && row.lentAddress == 0 && !row.optionsSent);
        const std::string report = readText(settings.reportPath);
        CHILD_CHECK(report.find(",,,15,Stopped,") != std::string::npos);
    });
}

// A listener that throws says why, ends the job it held, lets port 3281 go
// and leaves the server startable: the next start serves again, and the
// server's end stops a job whose image is being read (no thread is left
// reading).
TEST(UpdateServer, AListenerThatDiesIsSaidAndReleasesThePort)
{
    inPrivateNetns([] {
        answeringBelow(251);
        auto firmware = std::make_unique<ScriptedFirmware>();
        ScriptedFirmware& source = *firmware;
        std::shared_ptr<UpdateJob> slow;
        {
            UpdateServer server(std::move(firmware));
            CHILD_CHECK(server.start("", "", "10.213.9.1", 0) == 0);
            std::vector<Event> seen;
            const Event* swept = awaitEvent(server, seen, EventKind::SweepFinished);
            // Only .251 to .253 are silent; Windows pings through its echo service.
#ifdef _WIN32
            CHILD_CHECK(swept && swept->icmp == IcmpMethod::Service);
#endif
            CHILD_CHECK(swept && swept->value == 3);
            send("ANYCODE");
            const Event* died = awaitEvent(server, seen, EventKind::ThreadFailed);
            CHILD_CHECK(died && died->thread == "listener" && died->detail == "out of memory");
            CHILD_CHECK(died->severity == Severity::Failure);
            CHILD_CHECK(until([&] { return !server.listenerRunning(); }) && server.listenerFailed());
            CHILD_CHECK(!udpPortBound(3281) && server.isIdle() && server.jobAt(0)->statusCode() == NetError);
            CHILD_CHECK(server.start("", "", "10.213.9.1", 0) == 0 && !server.listenerFailed());
            CHILD_CHECK(awaitEvent(server, seen, EventKind::SweepFinished));
            send("NOFIRMW");
            CHILD_CHECK(awaitEvent(server, seen, EventKind::RequestNoFirmware) && !source.throwNext);
            send("SLOWIMG");
            CHILD_CHECK(until([&] { return source.reading.load(); }));
            slow = server.jobAt(1);
        }
        CHILD_CHECK(slow->workerEnded() && slow->statusCode() == Stopped);
    });
}
