#pragma once
// Shared by the reliability tests: a firmware folder, an UpdateServer in the
// private namespace, and brelvo-devsim runs in the device namespace with
// their report lines read back.

#include "TestFixtures.h"

#include "server/UpdateServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <atomic>
#include <map>
#include <mutex>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

namespace reliability {

using brelvo_test::NetnsEnv;
using brelvo_test::TempDir;

constexpr char kProduct[] = "ABCDEFG";

// Skips the calling test when there is no private namespace or no simulator.
#define RELIABILITY_NEEDS_NETNS(env)                                                            \
    do {                                                                                        \
        if (!(env).usable())                                                                    \
            GTEST_SKIP() << "needs a private network namespace: " << (env).skipReason;          \
        if ((env).devsim.empty() || (env).devAddrs.empty())                                     \
            GTEST_SKIP() << "brelvo-devsim or device addresses missing from the namespace set-up"; \
    } while (0)

// One line "device N ... key=value ..." of the simulator's report.
struct DeviceReport {
    int index = -1;
    std::map<std::string, std::string> fields;
    std::string get(const std::string& key) const
    {
        auto it = fields.find(key);
        return it == fields.end() ? std::string() : it->second;
    }
    long number(const std::string& key) const { return std::strtol(get(key).c_str(), nullptr, 10); }
};

inline std::vector<DeviceReport> parseReports(const std::string& output)
{
    std::vector<DeviceReport> out;
    static const std::regex line(R"(^device (\d+) \S+ (product=.*)$)");
    static const std::regex field(R"((\w+)=(\S*))");
    std::istringstream in(output);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (!std::regex_match(l, m, line))
            continue;
        DeviceReport r;
        r.index = std::stoi(m[1]);
        const std::string rest = m[2];
        for (auto it = std::sregex_iterator(rest.begin(), rest.end(), field); it != std::sregex_iterator(); ++it)
            r.fields[(*it)[1]] = (*it)[2];
        out.push_back(r);
    }
    return out;
}

// A firmware folder holding one image and its version file.
struct FirmwareFolder {
    TempDir dir;
    std::string imagePath;
    std::vector<uint8_t> image;

    explicit FirmwareFolder(size_t imageBytes, uint32_t seed = 7, const std::string& product = kProduct,
                            bool withVersionFile = true)
    {
        image = brelvo_test::patternBytes(imageBytes, seed);
        imagePath = dir.writeBytes("kvx_" + std::string(kProduct) + "_V1.bin", image);
        if (withVersionFile)
            dir.writeText("kvx_" + std::string(kProduct) + "_V1-ver.bin",
                          "product=" + product + "\nchecksum=" + std::to_string(brelvo_test::wordSum(image)) + "\n");
    }
    const std::string& path() const { return dir.path(); }
};

struct DevsimRun {
    brelvo_test::ProcessResult process;
    std::vector<DeviceReport> devices;
    double seconds = 0;
};

// Runs the simulator in the device namespace against the tool's address.
inline DevsimRun runDevsim(const NetnsEnv& env, std::vector<std::string> extra,
                           std::chrono::seconds limit = std::chrono::seconds(90))
{
    std::vector<std::string> argv{env.devsim, "--tool", env.toolAddr, "--product", kProduct};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const auto t0 = std::chrono::steady_clock::now();
    DevsimRun run;
    run.process = brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, argv), limit);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.devices = parseReports(run.process.output);
    return run;
}

// Waits until the job in `slot` exists and satisfies `pred`.
template <class Pred>
std::shared_ptr<brelvo::UpdateJob> waitForJob(brelvo::UpdateServer& server, int slot, Pred pred,
                                              std::chrono::milliseconds limit)
{
    std::shared_ptr<brelvo::UpdateJob> job;
    brelvo_test::waitFor(
        [&] {
            job = server.jobAt(slot);
            return job && pred(*job);
        },
        limit);
    return job && pred(*job) ? job : nullptr;
}

// Polls the server every few milliseconds as the window's timer would (with
// a far shorter period) and records anything a reader must never see.
class TablePoller {
public:
    explicit TablePoller(brelvo::UpdateServer& server, bool prune = false, int periodMs = 3)
        : server_(server), prune_(prune), periodMs_(periodMs), thread_([this] { loop(); })
    {
    }
    ~TablePoller() { stop(); }
    void stop()
    {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    void setPrune(bool on) { prune_ = on; }
    // Each distinct job the poller has seen, kept alive for inspection.
    std::vector<std::shared_ptr<brelvo::UpdateJob>> seen() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    std::vector<std::string> problems() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return problems_;
    }
    long polls() const { return polls_.load(); }
    int maxCount() const { return maxCount_.load(); }

private:
    static bool known(int s) { return (s >= 0 && s <= 14 && s != 2 && s != 4 && s != 6); }
    void problem(const std::string& p)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (problems_.size() < 20)
            problems_.push_back(p);
    }
    void loop()
    {
        while (!done_) {
            const int n = server_.jobCount();
            if (n < 0 || n > brelvo::UpdateServer::kMaxJobs)
                problem("jobCount " + std::to_string(n));
            if (n > maxCount_)
                maxCount_ = n;
            std::set<brelvo::UpdateJob*> inThisPoll;
            for (int i = 0; i < n; ++i) {
                std::shared_ptr<brelvo::UpdateJob> job = server_.jobAt(i);
                if (!job)
                    continue; // pruned since jobCount was read
                if (!inThisPoll.insert(job.get()).second)
                    problem("one job in two slots at once (slot " + std::to_string(i) + ")");
                const int s = job->statusCode();
                const int p = job->progress();
                const int acked = job->acknowledgedBlocks();
                const int blocks = job->blockTotal();
                (void)job->lentAddressText();
                if (!known(s))
                    problem("status " + std::to_string(s));
                if (p < 0 || p > 100)
                    problem("progress " + std::to_string(p));
                if (acked < 0 || acked > blocks)
                    problem("ackedBlocks " + std::to_string(acked) + " of " + std::to_string(blocks));
                std::lock_guard<std::mutex> lock(mutex_);
                if (seenSet_.insert(job.get()).second)
                    seen_.push_back(job);
            }
            if (prune_)
                server_.pruneFinished();
            ++polls_;
            std::this_thread::sleep_for(std::chrono::milliseconds(periodMs_));
        }
    }

    brelvo::UpdateServer& server_;
    std::atomic<bool> prune_;
    const int periodMs_;
    std::atomic<bool> done_{false};
    std::atomic<long> polls_{0};
    std::atomic<int> maxCount_{0};
    mutable std::mutex mutex_;
    std::set<brelvo::UpdateJob*> seenSet_;
    std::vector<std::shared_ptr<brelvo::UpdateJob>> seen_;
    std::vector<std::string> problems_;
    std::thread thread_;
};

inline std::string joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const auto& x : v)
        s += x + "; ";
    return s;
}

} // namespace reliability
