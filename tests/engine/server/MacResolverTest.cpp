// SPDX-License-Identifier: MIT
// Hardware addresses from a neighbour table the test controls: learnt once,
// missing ones said once with why, rows held until the address is settled,
// a unit asking again within a run.
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "record/EventFormat.h"
#include "server/MacResolver.h"

#include <mutex>

using namespace brelvo;
using brelvo_test::waitFor;
using namespace std::chrono_literals;

namespace {

constexpr uint64_t kUnit = 0x02000ad50732;

struct Host : MacResolverHost {
    std::mutex mutex;
    std::vector<Event> events;
    std::vector<JobSummary> rows;
    std::vector<Neighbour> table;
    bool readable = true;
    bool throws = false;
    std::string died;

    std::unique_lock<std::mutex> held() { return std::unique_lock<std::mutex>(mutex); }
    void resolverEvent(Event e) override { held(), events.push_back(e); }
    void rowSettled(const std::shared_ptr<UpdateJob>& job) override { held(), rows.push_back(job->summary()); }
    void resolverThreadFailed(const std::string& why) override { held(), died = why; }
    MacResolver::TableReader reader()
    {
        return [this](std::vector<Neighbour>* out, Error* error) {
            const auto lock = held();
            if (throws)
                throw std::runtime_error("table gone");
            *out = table;
            return readable || fail(error, EACCES, "cannot open /proc/net/arp: Permission denied");
        };
    }
    // The events of `job`, as "kind detail" lines.
    std::vector<std::string> of(uint64_t job)
    {
        const auto lock = held();
        std::vector<std::string> out;
        for (const Event& e : events)
            if (e.jobId == job)
                out.push_back(std::string(eventKindName(e.kind)) + " " + e.detail + std::to_string(e.value));
        return out;
    }
};

std::shared_ptr<UpdateJob> job(uint64_t id, const char* address)
{
    UpdateJob::Origin o;
    o.id = id;
    o.device = SocketAddress{addressFromText(address), hostToNet16(6000)};
    return UpdateJob::create(o);
}

} // namespace

TEST(MacResolver, LearntOnceMissingSaidOnceRowsWaitForTheAddress)
{
    Host host;
    host.table = {{addressFromText("10.213.7.50"), kUnit}, {addressFromText("10.213.7.52"), kUnit}};
    const auto a = job(1, "10.213.7.50"), b = job(2, "10.213.7.51"), c = job(3, "10.213.7.99"),
               d = job(4, "10.213.7.50"), e = job(5, "10.213.7.50");
    {
        MacResolver resolver(host, host.reader());
        resolver.lookUp(a, a->device().address);
        resolver.jobEnded(a); // looked for still: its row waits for the reading
        resolver.lookUp(b, b->device().address);
        resolver.jobEnded(b);
        resolver.flush();
        EXPECT_FALSE(resolver.holdsRows());
        // The same unit again, answering from another address; a new run forgets it.
        resolver.lookUp(c, addressFromText("10.213.7.52"));
        ASSERT_TRUE(waitFor([&] { return host.of(3).size() == 2; }, 5s));
        resolver.newRun();
        resolver.lookUp(d, d->device().address);
        ASSERT_TRUE(waitFor([&] { return d->deviceMac() == kUnit; }, 5s));
        resolver.jobEnded(d);
        host.held(), host.readable = false;
        resolver.lookUp(e, e->device().address);
        resolver.jobEnded(e); // held until the resolver goes
    }
    EXPECT_EQ(host.of(1), std::vector<std::string>{"mac_learnt 0"});
    EXPECT_EQ(host.of(2), std::vector<std::string>{
        "mac_unknown 10.213.7.51 is on no network of this machine: behind a router a device shows no hardware address0"});
    EXPECT_EQ(host.of(3), (std::vector<std::string>{"mac_learnt answers from 10.213.7.520", "asked_again 1"}));
    EXPECT_EQ(host.of(4), std::vector<std::string>{"mac_learnt 0"});
    EXPECT_EQ(host.of(5), std::vector<std::string>{
        "mac_unknown the neighbour table cannot be read: cannot open /proc/net/arp: Permission denied0"});
    std::vector<std::pair<uint64_t, uint64_t>> rows; // job, hardware address
    for (const JobSummary& row : host.rows)
        rows.emplace_back(row.jobId, row.deviceMac);
    EXPECT_EQ(rows, (std::vector<std::pair<uint64_t, uint64_t>>{{1, kUnit}, {2, 0}, {4, kUnit}, {5, 0}}));
}

// A thread that dies neither keeps a row nor leaves a lookup unanswered.
TEST(MacResolver, ADeadThreadHandsItsRowsOverAndSaysWhy)
{
    Host host;
    host.throws = true;
    const auto a = job(1, "10.213.7.50"), b = job(2, "10.213.7.51");
    MacResolver resolver(host, host.reader());
    resolver.lookUp(a, a->device().address);
    resolver.jobEnded(a);
    resolver.flush();
    resolver.lookUp(b, b->device().address);
    resolver.jobEnded(b);
    EXPECT_EQ(host.died, "table gone");
    const std::string why = "mac_unknown the thread that reads the neighbour table failed: table gone0";
    EXPECT_EQ(host.of(1), std::vector<std::string>{why});
    EXPECT_EQ(host.of(2), std::vector<std::string>{"mac_unknown no thread reads the neighbour table0"});
    EXPECT_TRUE(host.rows.size() == 2u && !resolver.holdsRows()) << host.rows.size();
}
