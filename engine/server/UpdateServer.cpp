#include "server/UpdateServer.h"

#include "platform/AddressText.h"
#include "platform/Console.h"
#include "platform/DebugOutput.h"
#include "platform/Socket.h"
#include "server/AddressSweep.h"
#include "firmware/FirmwareMatch.h"
#include "server/FreePort.h"
#include "protocol/UpdateRequest.h"
#include "protocol/WireFormat.h"

#include <cstring>

namespace brelvo {

UpdateServer::UpdateServer() = default;

UpdateServer::~UpdateServer()
{
    keepRunning = false;
    abortAll = true;
    listener.join();

    std::vector<std::shared_ptr<UpdateJob>> all;
    {
        std::lock_guard<std::mutex> lock(tableMutex);
        for (int i = 0; i < jobCount_; ++i)
            all.push_back(jobs[i]);
        all.insert(all.end(), retired.begin(), retired.end());
    }
    for (const auto& job : all) {
        if (job)
            job->shutdown();
    }
}

int UpdateServer::start(const std::string& dir, const std::string& config, const std::string& address,
                        int opts)
{
    if (listenerActive.load())
        return -1;
    // The previous listener has cleared its flag as its last act; collect it.
    listener.join();

    firmwareDir = dir;
    configPath = config;
    localAddress = address;
    options = opts;

    listenerActive = true;
    keepRunning = true;
    consoleWrite("running...\n");
    if (listener.start([this] { runListener(); }) != 0) {
        consoleWrite("_beginthreadex Failed\n");
        // Leave the server startable and idle rather than stuck "running".
        listenerActive = false;
        keepRunning = false;
        return -1;
    }
    return 0;
}

void UpdateServer::stop()
{
    keepRunning = false;
    std::lock_guard<std::mutex> lock(tableMutex);
    for (int i = 0; i < jobCount_; ++i) {
        if (jobs[i])
            jobs[i]->stop();
    }
}

bool UpdateServer::isIdle() const
{
    if (keepRunning.load() || listenerActive.load())
        return false;
    std::lock_guard<std::mutex> lock(tableMutex);
    for (int i = 0; i < jobCount_; ++i) {
        if (jobs[i] && !jobs[i]->isFinished())
            return false;
    }
    return true;
}

int UpdateServer::jobCount() const
{
    std::lock_guard<std::mutex> lock(tableMutex);
    return jobCount_;
}

std::shared_ptr<UpdateJob> UpdateServer::jobAt(int index) const
{
    std::lock_guard<std::mutex> lock(tableMutex);
    if (index < 0 || index >= jobCount_)
        return nullptr;
    return jobs[index];
}

std::vector<JobSnapshot> UpdateServer::snapshot() const
{
    std::vector<JobSnapshot> out;
    std::lock_guard<std::mutex> lock(tableMutex);
    out.reserve(static_cast<size_t>(jobCount_));
    for (int i = 0; i < jobCount_; ++i) {
        const std::shared_ptr<UpdateJob>& job = jobs[i];
        if (!job)
            continue;
        JobSnapshot s;
        s.id = reinterpret_cast<uintptr_t>(job.get());
        s.status = job->statusCode();
        s.progress = job->progress();
        s.finished = job->isFinished();
        s.lentAddress = addressFromText(job->lentAddressText());
        s.productCode = job->productCodeText();
        out.push_back(std::move(s));
    }
    return out;
}

void UpdateServer::pruneFinished()
{
    std::vector<std::shared_ptr<UpdateJob>> done;
    {
        std::lock_guard<std::mutex> lock(tableMutex);
        int kept = 0;
        for (int i = 0; i < jobCount_; ++i) {
            std::shared_ptr<UpdateJob> job = std::move(jobs[i]);
            if (job && job->isFinished()) {
                returnAddress(pool, addressFromText(job->lentAddressText()));
                job->release();
                retired.push_back(std::move(job));
            } else if (job) {
                jobs[kept++] = std::move(job);
            }
        }
        for (int i = kept; i < kMaxJobs; ++i)
            jobs[i].reset();
        jobCount_ = kept;

        // Released jobs whose workers have ended can go now.
        for (auto it = retired.begin(); it != retired.end();) {
            if ((*it)->workerEnded()) {
                done.push_back(std::move(*it));
                it = retired.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& job : done)
        job->shutdown(); // its worker has ended: this only collects the thread
}

bool UpdateServer::appendJob(const std::shared_ptr<UpdateJob>& job, uint32_t* lent)
{
    std::lock_guard<std::mutex> lock(tableMutex);
    if (jobCount_ >= kMaxJobs)
        return false;
    jobs[jobCount_++] = job;
    *lent = lendAddress(pool);
    return true;
}

std::vector<uint16_t> UpdateServer::portsInUse() const
{
    std::vector<uint16_t> ports;
    std::lock_guard<std::mutex> lock(tableMutex);
    for (int i = 0; i < jobCount_; ++i) {
        if (jobs[i] && !jobs[i]->workerEnded())
            ports.push_back(jobs[i]->boundPort());
    }
    for (const auto& job : retired) {
        if (!job->workerEnded())
            ports.push_back(job->boundPort());
    }
    return ports;
}

SocketHandle UpdateServer::reserveJobSocket(uint16_t* port)
{
    // The probed number first; when something took it since the probe, any
    // number the system picks.
    *port = findFreePortExcluding(portsInUse());
    SocketHandle s = openUdpSocket();
    if (s == kInvalidSocket)
        return kInvalidSocket;
    if (*port != 0xFFFF && bindSocket(s, 0, *port) == 0)
        return s;
    SocketAddress bound;
    if (bindSocket(s, 0, 0) == 0 && socketName(s, &bound) == 0) {
        *port = bound.port;
        return s;
    }
    closeSocket(s);
    return kInvalidSocket;
}

int UpdateServer::runListener()
{
    const std::string dir = firmwareDir;
    const std::string config = configPath;
    const std::string local = localAddress;
    const uint8_t writeOptions = static_cast<uint8_t>(options & 0xFF);

    SocketHandle s = openUdpSocket();
    if (s == kInvalidSocket) {
        const int err = lastSocketError();
        listenerActive = false;
        consolePrintf("socket error: %d\n", err);
        return -3;
    }
    if (bindSocket(s, 0, hostToNet16(wire::kRequestPort)) != 0) {
        const int err = lastSocketError();
        closeSocket(s);
        listenerActive = false;
        consolePrintf("socket error: %d\n", err);
        debugOutput("socket error:" + std::to_string(err));
        return -4;
    }

    {
        uint32_t found[FreeAddressPool::kCapacity];
        const int n = sweepFreeAddresses(local, 2000, found, FreeAddressPool::kCapacity, &abortAll);
        std::lock_guard<std::mutex> lock(tableMutex);
        refillPool(pool, found, n);
    }

    // One byte more than a request may have, so that a longer datagram shows
    // itself by its size and is dropped.
    uint8_t buffer[wire::kRequestBufferSize + 1];
    while (keepRunning.load() && !abortAll.load()) {
        const int ready = waitReadable(s, 1, 0);
        if (ready < 0)
            break;
        if (ready == 0) {
            consoleWrite("No data within five seconds.\n");
            continue;
        }
        std::memset(buffer, 0, sizeof buffer);
        SocketAddress source;
        const int n = receiveFrom(s, buffer, sizeof buffer, &source);
        if (n <= 0 || n > static_cast<int>(wire::kRequestBufferSize))
            continue;
        if (jobCount() >= kMaxJobs) {
            consoleWrite("Too Many update had happened\n");
            continue;
        }
        char code[wire::kProductCodeField] = {};
        int type = 0;
        if (parseUpdateRequest(buffer, n, &type, code) != 0 || type != wire::UpdateRequest)
            continue;
        const std::string image = findFirmwareImage(dir, code);
        if (image.empty())
            continue;
        std::shared_ptr<UpdateJob> job = UpdateJob::create(buffer, n);
        if (!job)
            continue;
        uint32_t lent = 0;
        if (!appendJob(job, &lent))
            continue;
        // The job's socket is bound here, not after the job has loaded its
        // files: a number that was only probed could meanwhile be taken by
        // another job or by an Offer's ephemeral port, and the job would fail.
        uint16_t port = 0xFFFF;
        SocketHandle jobSocket = reserveJobSocket(&port);
        job->init(image, config, addressFromText(local), port, lent, source.port, writeOptions);
        if (jobSocket != kInvalidSocket)
            job->reserveSocket(jobSocket);
        job->start(); // a job that cannot start finishes itself with NetError
    }

    closeSocket(s);
    listenerActive = false;
    return 0;
}

} // namespace brelvo
