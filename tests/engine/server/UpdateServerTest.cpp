#include "PrivateNetns.h"
#include "TempDir.h"
#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "server/UpdateServer.h"
#include "server/WireFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>
#include <vector>

using namespace brelvo;
using brelvo_test::TempDir;

namespace {

// Polls `done` until it holds or `seconds` pass; a safety net, not a timing.
bool waitUntil(const std::function<bool()>& done, int seconds = 30)
{
    for (int i = 0; i < seconds * 100; ++i) {
        if (done())
            return true;
        sleepMilliseconds(10);
    }
    return done();
}

std::vector<uint8_t> request(const std::string& code, const char* magic = "upd:", int type = 0,
                             int64_t declared = -1)
{
    std::vector<uint8_t> d(12 + code.size(), 0);
    std::memcpy(d.data(), magic, 4);
    d[4] = static_cast<uint8_t>(type);
    wire::writeBe32(d.data() + 8, static_cast<uint32_t>(declared < 0 ? code.size() : declared));
    std::memcpy(d.data() + 12, code.data(), code.size());
    return d;
}

void sendRequest(const std::vector<uint8_t>& d)
{
    SocketHandle s = openUdpSocket();
    sendTo(s, d.data(), d.size(), SocketAddress{addressFromText("127.0.0.1"), hostToNet16(3281)});
    closeSocket(s);
}

// True once some socket (the listener's) holds UDP port 3281. Read from the
// kernel's socket table: binding the port to find out would race with the
// listener's own bind.
bool requestPortBound()
{
    std::ifstream in("/proc/self/net/udp");
    std::string line;
    while (std::getline(in, line)) {
        // "  sl  local_address rem_address ..." then "0: 00000000:0CD1 ..."
        const size_t colon = line.find(':', line.find(':') + 1);
        if (colon != std::string::npos && line.compare(colon + 1, 4, "0CD1") == 0)
            return true;
    }
    return false;
}

// Starts the server and waits until its listener can receive requests.
bool startListening(UpdateServer& server, const std::string& dir, int options = 0)
{
    return server.start(dir, "", "127.0.0.1", options) == 0 && waitUntil(requestPortBound);
}

// Sends standard output of the child to a file that the test can read back.
std::string captureStdout(const TempDir& dir)
{
    const std::string path = dir.file("stdout.txt");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    ::close(fd);
    return path;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int countOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size()))
        ++n;
    return n;
}

} // namespace

TEST(UpdateServer, NewServerIsIdleAndEmpty)
{
    UpdateServer server;
    EXPECT_TRUE(server.isIdle());
    EXPECT_EQ(server.jobCount(), 0);
    EXPECT_EQ(server.jobAt(0), nullptr);
    EXPECT_EQ(server.jobAt(-1), nullptr);
    server.pruneFinished();
    server.stop();
    EXPECT_TRUE(server.isIdle());
    EXPECT_FALSE(server.listenerRunning());
}

TEST(UpdateServer, AcceptsOnlyWellFormedMatchingRequests)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        TempDir fw;
        fw.write("kvx_ABCDEFG.bin", "no version file beside it");
        UpdateServer server;
        CHILD_CHECK(startListening(server, fw.path(), OptionUpdateBoot));
        CHILD_CHECK(!server.isIdle());
        CHILD_CHECK(server.start(fw.path(), "", "127.0.0.1", 0) == -1); // one listener only

        sendRequest(request("ABCDEFG", "UPD:"));
        sendRequest(request("ABCDEFG", "upd:", 1));
        sendRequest(request("ABCDEFG", "upd:", 0, 8));   // payload past the datagram
        sendRequest(request(std::string(64, 'A')));      // code too long
        sendRequest(request("NOMATCH"));
        sendRequest(std::vector<uint8_t>(300, 'u'));     // longer than a request
        sendRequest(request("ABCDEFG"));                 // the only good one
        CHILD_CHECK(waitUntil([&] { return server.jobCount() >= 1; }));
        std::shared_ptr<UpdateJob> job = server.jobAt(0);
        CHILD_CHECK(job != nullptr);
        CHILD_CHECK(job->productCodeText() == "ABCDEFG");
        // The job finds no version file and ends with code 13.
        CHILD_CHECK(waitUntil([&] { return job->isFinished(); }));
        CHILD_CHECK(job->statusCode() == FileError);
        CHILD_CHECK(server.jobCount() == 1);
        CHILD_CHECK(server.jobAt(1) == nullptr);

        server.stop();
        CHILD_CHECK(waitUntil([&] { return server.isIdle(); }));
        server.pruneFinished();
        CHILD_CHECK(server.jobCount() == 0);
        CHILD_CHECK(server.jobAt(0) == nullptr);
        // The record handed out earlier is still valid.
        CHILD_CHECK(job->statusCode() == FileError);
    }));
}

TEST(UpdateServer, PortTakenEndsTheListenerAndStartWorksAgain)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        SocketHandle blocker = openUdpSocket();
        CHILD_CHECK(bindSocket(blocker, 0, hostToNet16(3281)) == 0);
        UpdateServer server;
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == 0);
        CHILD_CHECK(waitUntil([&] { return !server.listenerRunning(); }));
        CHILD_CHECK(!server.isIdle()); // still asked to run
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == 0);
        CHILD_CHECK(waitUntil([&] { return !server.listenerRunning(); }));
        server.stop();
        CHILD_CHECK(server.isIdle());
        closeSocket(blocker);
    }));
}

TEST(UpdateServer, PruneKeepsRunningJobsVisibleAndDestructionEndsThem)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        TempDir fw;
        // RUNNING: loads fine and then waits for its device. FAILING: no
        // version file, finishes at once.
        fw.write("kvx_RUNNING.bin", std::string(3000, 'r'));
        fw.write("kvx_RUNNING-ver.bin", "product=RUNNING\n");
        fw.write("kvx_FAILING.bin", "f");
        std::vector<std::shared_ptr<UpdateJob>> seen;
        {
            UpdateServer server;
            CHILD_CHECK(startListening(server, fw.path(), 3));
            const char* order[] = {"FAILING", "RUNNING", "FAILING", "RUNNING", "FAILING"};
            for (const char* code : order)
                sendRequest(request(code));
            CHILD_CHECK(waitUntil([&] { return server.jobCount() == 5; }));
            for (int i = 0; i < 5; ++i)
                seen.push_back(server.jobAt(i));
            CHILD_CHECK(waitUntil([&] {
                return seen[0]->isFinished() && seen[2]->isFinished() && seen[4]->isFinished();
            }));
            CHILD_CHECK(waitUntil([&] { return seen[1]->statusCode() == OfferSent && seen[3]->statusCode() == OfferSent; }));
            server.pruneFinished();
            CHILD_CHECK(server.jobCount() == 2);
            CHILD_CHECK(server.jobAt(0) == seen[1]);
            CHILD_CHECK(server.jobAt(1) == seen[3]);
            CHILD_CHECK(server.jobAt(2) == nullptr);
            CHILD_CHECK(!seen[1]->isFinished());
            // A new request lands after the kept jobs, not over them.
            sendRequest(request("FAILING"));
            CHILD_CHECK(waitUntil([&] { return server.jobCount() == 3; }));
            CHILD_CHECK(server.jobAt(0) == seen[1]);
            CHILD_CHECK(server.jobAt(1) == seen[3]);
            // Leaving the scope destroys the server with the listener and two
            // workers still running: it must end and join them all.
        }
        CHILD_CHECK(seen[1]->workerEnded());
        CHILD_CHECK(seen[3]->workerEnded());
        CHILD_CHECK(seen[1]->isFinished());
    }));
}

TEST(UpdateServer, TableHoldsAtMostOneHundredJobs)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        TempDir fw;
        fw.write("kvx_FAILING.bin", "f");
        const std::string out = captureStdout(fw);
        UpdateServer server;
        CHILD_CHECK(startListening(server, fw.path()));
        for (int i = 0; i < 100; ++i) {
            sendRequest(request("FAILING"));
            if (i % 20 == 19)
                CHILD_CHECK(waitUntil([&] { return server.jobCount() == i + 1; }));
        }
        CHILD_CHECK(waitUntil([&] { return server.jobCount() == 100; }));
        sendRequest(request("FAILING"));
        CHILD_CHECK(waitUntil([&] { return countOf(readAll(out), "Too Many update had happened\n") == 1; }));
        CHILD_CHECK(server.jobCount() == 100);
        CHILD_CHECK(waitUntil([&] {
            for (int i = 0; i < 100; ++i)
                if (!server.jobAt(i)->isFinished())
                    return false;
            return true;
        }));
        server.pruneFinished();
        CHILD_CHECK(server.jobCount() == 0);
        sendRequest(request("FAILING"));
        CHILD_CHECK(waitUntil([&] { return server.jobCount() == 1; }));
        server.stop();
        CHILD_CHECK(waitUntil([&] { return server.isIdle(); }));
    }));
}

TEST(UpdateServer, ListenerThreadFailureLeavesTheServerStartable)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        if (!brelvo_test::dropToNobodyWithoutThreads())
            brelvo_test::childSkip("cannot drop to an unprivileged user with a thread limit");
        {
            // Confirm the limit bites before relying on it.
            Thread probe;
            if (probe.start([] {}) == 0) {
                probe.join();
                brelvo_test::childSkip("the process limit does not stop thread creation here");
            }
        }
        UpdateServer server;
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == -1);
        CHILD_CHECK(!server.listenerRunning());
        CHILD_CHECK(server.isIdle());
        CHILD_CHECK(brelvo_test::raiseThreadLimit());
        CHILD_CHECK(server.start("", "", "127.0.0.1", 0) == 0);
        server.stop();
        CHILD_CHECK(waitUntil([&] { return server.isIdle(); }));
    }));
}
