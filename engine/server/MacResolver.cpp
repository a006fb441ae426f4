// SPDX-License-Identifier: MIT
#include "server/MacResolver.h"

#include "platform/AddressText.h"
#include "platform/NetworkInterfaces.h"

#include <algorithm>
#include <iterator>

namespace brelvo {

namespace {

using namespace std::chrono_literals;

// Lookups this close together share one reading of the table (a hundred
// devices starting at once), yet a short job still shows its address.
constexpr auto kGather = 5ms;
// When a missing address is looked for again; after the last, it is unknown.
constexpr std::chrono::milliseconds kRetries[] = {250ms, 500ms, 1000ms, 2000ms};
constexpr int kAttempts = static_cast<int>(std::size(kRetries)) + 1;

uint64_t macOf(uint32_t peer, const std::vector<Neighbour>& table)
{
    const auto it =
        std::find_if(table.begin(), table.end(), [peer](const Neighbour& n) { return n.address == peer; });
    return it == table.end() ? 0 : it->mac;
}

std::string whyUnknown(uint32_t peer, const std::vector<InterfaceAddress>& interfaces)
{
    const std::string address = addressToText(peer);
    bool attached = false;
    for (const InterfaceAddress& a : interfaces) {
        if (a.address == peer)
            return address + " is an address of this machine";
        attached = attached || (a.netmask != 0 && (a.address & a.netmask) == (peer & a.netmask));
    }
    if (!attached)
        return address + " is on no network of this machine: behind a router a device shows no hardware address";
    return "no entry for " + address + " in the neighbour table";
}

} // namespace

MacResolver::MacResolver(MacResolverHost& host, TableReader reader) : host_(host), reader_(std::move(reader)) {}

MacResolver::~MacResolver()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void MacResolver::lookUp(const std::shared_ptr<UpdateJob>& job, uint32_t peer)
{
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!threadRunning_ && !stopping_)
            threadRunning_ =
                thread_.start([this] { run(); }, "resolver", [this](const std::string& why) { died(why); }) == 0;
        if (threadRunning_ && !stopping_ && !failed_) {
            Lookup l;
            l.job = job;
            l.peer = peer;
            l.due = Clock::now() + kGather;
            l.run = run_;
            pending_.push_back(std::move(l));
            queued = true;
        }
    }
    if (queued) {
        wake_.notify_one();
        return;
    }
    Event e = job->event(EventKind::MacUnknown);
    e.detail = "no thread reads the neighbour table";
    host_.resolverEvent(std::move(e));
}

MacResolver::Lookup* MacResolver::findLookup(const std::shared_ptr<UpdateJob>& job)
{
    const auto same = [&job](const Lookup& l) { return l.job == job; };
    const auto it = std::find_if(pending_.begin(), pending_.end(), same);
    if (it != pending_.end())
        return &*it;
    const auto reading = std::find_if(inFlight_.begin(), inFlight_.end(), same);
    return reading == inFlight_.end() ? nullptr : &*reading;
}

void MacResolver::jobEnded(const std::shared_ptr<UpdateJob>& job)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (Lookup* l = findLookup(job)) {
            rowsHeld_ += l->ended ? 0 : 1;
            l->ended = true;
            l->due = Clock::now();
            wake_.notify_one();
            return;
        }
        // What an address that asks again is told of its last job.
        const auto seen = seen_.find(job->deviceMac());
        if (seen != seen_.end() && seen->second.job == job->id())
            seen->second.ended = true, seen->second.status = job->statusCode();
    }
    host_.rowSettled(job);
}

void MacResolver::learnt(const Lookup& l, uint64_t mac, Told& told)
{
    l.job->setDeviceMac(mac);
    Event e = l.job->event(EventKind::MacLearnt);
    if (l.peer != l.job->device().address)
        e.detail = "answers from " + addressToText(l.peer);
    told.push_back(std::move(e));
    if (l.run != run_)
        return; // a job of an earlier run
    Seen& seen = seen_[mac];
    if (seen.job != 0 && seen.job != l.job->id()) {
        const std::shared_ptr<UpdateJob> earlier = seen.record.lock();
        Event again = l.job->event(EventKind::AskedAgain);
        again.value = static_cast<int64_t>(seen.job);
        again.code = seen.ended || !earlier ? seen.status : earlier->statusCode();
        told.push_back(std::move(again));
    }
    seen = Seen{l.job->id(), l.job, l.ended ? l.job->statusCode() : 0, l.ended};
}

void MacResolver::newRun()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++run_;
    seen_.clear();
}

void MacResolver::flush()
{
    std::unique_lock<std::mutex> lock(mutex_);
    settled_.wait(lock, [this] { return rowsHeld_ == 0; });
}

bool MacResolver::holdsRows() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return rowsHeld_ > 0;
}

void MacResolver::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (pending_.empty()) {
            if (stopping_)
                return;
            wake_.wait(lock);
            continue;
        }
        const auto earliest = std::min_element(pending_.begin(), pending_.end(),
                                               [](const Lookup& a, const Lookup& b) { return a.due < b.due; })->due;
        if (!stopping_ && earliest > Clock::now()) {
            wake_.wait_until(lock, earliest);
            continue;
        }
        const Clock::time_point now = Clock::now();
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (stopping_ || it->due <= now) {
                inFlight_.push_back(std::move(*it));
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
        // While the table is read, a job that ends finds its lookup in the
        // batch; only this thread changes the batch's size, under the lock.
        lock.unlock();

        std::vector<Neighbour> table;
        Error tableError;
        const bool tableRead = reader_(&table, &tableError);
        std::vector<uint64_t> macs;
        std::vector<std::string> whys;
        std::vector<InterfaceAddress> interfaces;
        for (const Lookup& l : inFlight_) {
            macs.push_back(tableRead ? macOf(l.peer, table) : 0);
            if (macs.back() != 0) {
                whys.emplace_back();
            } else if (!tableRead) {
                whys.push_back("the neighbour table cannot be read: " + tableError.text);
            } else {
                if (interfaces.empty())
                    interfaces = listIpv4Addresses();
                whys.push_back(whyUnknown(l.peer, interfaces));
            }
        }

        lock.lock();
        std::vector<Lookup> batch;
        batch.swap(inFlight_);
        Told told;
        std::vector<std::shared_ptr<UpdateJob>> rows;
        for (size_t i = 0; i < batch.size(); ++i) {
            Lookup& l = batch[i];
            if (macs[i] == 0 && !stopping_ && !l.ended && l.attempts + 1 < kAttempts) {
                l.due = now + kRetries[l.attempts++];
                pending_.push_back(std::move(l));
                continue;
            }
            if (macs[i] != 0) {
                learnt(l, macs[i], told);
            } else {
                told.push_back(l.job->event(EventKind::MacUnknown));
                told.back().detail = whys[i];
            }
            if (l.ended)
                rows.push_back(l.job);
        }
        lock.unlock();
        for (Event& e : told)
            host_.resolverEvent(std::move(e));
        for (const auto& job : rows)
            host_.rowSettled(job);
        lock.lock();
        rowsHeld_ -= static_cast<int>(rows.size());
        settled_.notify_all();
    }
}

void MacResolver::died(const std::string& why)
{
    std::vector<Lookup> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        left.swap(pending_);
        for (Lookup& l : inFlight_)
            left.push_back(std::move(l));
        inFlight_.clear();
    }
    for (const Lookup& l : left) {
        Event e = l.job->event(EventKind::MacUnknown);
        e.detail = "the thread that reads the neighbour table failed: " + why;
        host_.resolverEvent(std::move(e));
        if (l.ended)
            host_.rowSettled(l.job);
    }
    host_.resolverThreadFailed(why);
    {
        // Held rows went above, or were being handed when it failed.
        std::lock_guard<std::mutex> lock(mutex_);
        rowsHeld_ = 0;
    }
    settled_.notify_all();
}

} // namespace brelvo
