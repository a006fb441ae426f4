// SPDX-License-Identifier: MIT
#include "server/UpdateServerListener.h"

#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/DirectorySearch.h"
#include "platform/ErrorText.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Socket.h"
#include "platform/WallClock.h"
#include "protocol/UpdateRequest.h"
#include "protocol/WireFormat.h"
#include "server/AddressSweep.h"
#include "server/FreeAddressPool.h"
#include "server/FreePort.h"

#include <cstring>

namespace brelvo {

UpdateServerListener::UpdateServerListener(ListenerHost& host, std::unique_ptr<FirmwareSource> source)
    : host_(host), firmware_(source ? std::move(source) : folderFirmware())
{
}

UpdateServerListener::~UpdateServerListener()
{
    stop();
    join();
}

bool UpdateServerListener::start(SocketHandle socket, const ServerSettings& settings, Error* error)
{
    run_ = settings;
    active_ = true;
    keepRunning_ = true;
    sweepAbort_ = false;
    if (thread_.start([this, socket] { run(socket); }, "listener",
                      [this, socket](const std::string& why) { died(socket, why); }) == 0)
        return true;
    consoleWrite("_beginthreadex Failed\n");
    closeSocket(socket);
    // Leave the server startable and idle rather than stuck "running".
    active_ = false;
    keepRunning_ = false;
    return fail(error, 0, "no thread could be started for the listener");
}

void UpdateServerListener::stop()
{
    keepRunning_ = false;
    sweepAbort_ = true;
}

void UpdateServerListener::join() { thread_.join(); }

// A thread that threw: port 3281 is let go, so that a new start can bind it,
// and the server is told; the flag is still cleared last.
void UpdateServerListener::died(SocketHandle socket, const std::string& why)
{
    struct ClearLast {
        std::atomic<bool>& flag;
        ~ClearLast() { flag = false; }
    } last{active_};
    closeSocket(socket);
    // A job it held would otherwise wait for ever.
    if (held_ && !held_->isFinished())
        host_.endBeforeTransfer(held_, NetError, "the listener failed: " + why);
    held_.reset();
    host_.listenerDied(why);
}

// The sweep finds the /24's addresses nobody answers on; the pool lends them
// to devices, less this machine's own and those jobs still running hold.
void UpdateServerListener::lendSweptAddresses()
{
    uint32_t found[FreeAddressPool::kCapacity];
    IcmpMethod method = IcmpMethod::None;
    const int n =
        sweepFreeAddresses(run_.localAddress, 2000, found, FreeAddressPool::kCapacity, &sweepAbort_, &method);
    sweepFailed_ = n < 0;
    // This machine's own addresses are never lent, whether or not they
    // answered (a host that ignores pings is still here).
    std::vector<uint32_t> own;
    for (const InterfaceAddress& a : listIpv4Addresses())
        own.push_back(a.address);
    const int free = host_.refillAddresses(found, n, own);
    Event e;
    e.kind = EventKind::SweepFinished;
    e.value = n < 0 ? -1 : free;
    e.icmp = method;
    if (n < 0)
        e.detail = "no ICMP socket could be opened: no address can be lent";
    host_.listenerEvent(std::move(e));
}

void UpdateServerListener::run(SocketHandle s)
{
    {
        Event e;
        e.kind = EventKind::ListenerStarted;
        e.port = hostToNet16(wire::kRequestPort);
        host_.listenerEvent(std::move(e));
    }

    lendSweptAddresses();

    // One byte more than a request may have, so that a longer datagram shows
    // itself by its size and is dropped.
    uint8_t buffer[wire::kRequestBufferSize + 1];
    while (keepRunning_.load()) {
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
        if (n <= 0)
            continue;
        serveRequest(buffer, n, source);
    }

    closeSocket(s);
    stopSocketLayer();
    active_ = false;
}

void UpdateServerListener::serveRequest(const uint8_t* datagram, int size, const SocketAddress& source)
{
    UpdateJob::Origin origin;
    // Started when it came, however long the folder takes to read.
    origin.acceptedWallMs = unixTimeMs();
    origin.acceptedNs = monotonicNs();
    // Another tool on the network may answer this request before we can:
    // its Offer to the device's port is heard from now on. Closed here
    // unless the transfer thread took it, also when this thread throws.
    const bool asks = size <= static_cast<int>(wire::kRequestBufferSize) && wire::hasMagic(datagram, size) &&
                      wire::messageType(datagram, size) == wire::UpdateRequest && source.port != 0;
    struct Watch {
        SocketHandle socket;
        ~Watch() { closeSocket(socket); }
    } watch{asks ? openSharedUdpSocket(source.port) : kInvalidSocket};
    UpdateRequest request;
    if (!admitRequest(datagram, size, source, &request))
        return;
    const std::string image =
        firmware_->find(run_.firmwareDir, request.productCode, [this] { return !keepRunning_.load(); });
    // A request heard before a Stop that came during the walk still gets
    // its row: the server enters it stopped.
    if (image.empty() && keepRunning_.load()) {
        Event e;
        e.kind = EventKind::RequestNoFirmware;
        e.address = source.address;
        e.port = source.port;
        e.productCode = request.productCode;
        e.path = run_.firmwareDir;
        // A folder that could not be read (no descriptor left, gone) is not
        // one without this model's firmware: say which it was.
        Error unread;
        if (!canListDirectory(run_.firmwareDir, &unread))
            e.detail = "the firmware folder cannot be read: " + unread.text;
        host_.listenerEvent(std::move(e));
        return;
    }
    origin.productCode = request.productCode;
    origin.device = source;
    held_ = host_.enterJob(std::move(origin), image, run_);
    if (held_ && launchJob(held_, image, watch.socket))
        watch.socket = kInvalidSocket;
    held_.reset(); // ended or handed over
}

bool UpdateServerListener::admitRequest(const uint8_t* datagram, int size, const SocketAddress& source,
                                        UpdateRequest* request)
{
    Event e;
    e.address = source.address;
    e.port = source.port;
    auto refuse = [&](EventKind kind, const std::string& detail) {
        e.kind = kind;
        e.value = size;
        e.detail = detail;
        host_.listenerEvent(std::move(e));
        return false;
    };
    if (size > static_cast<int>(wire::kRequestBufferSize))
        return refuse(EventKind::RequestMalformed, "longer than 256 bytes");
    const RequestProblem problem = readUpdateRequest(datagram, static_cast<size_t>(size), request);
    e.productCode = request->productCode;
    if (host_.tableFull()) {
        consoleWrite("Too Many update had happened\n");
        return refuse(EventKind::RequestTableFull, "");
    }
    if (problem != RequestProblem::None)
        return refuse(EventKind::RequestMalformed, requestProblemText(problem));
    {
        Event received = e;
        received.kind = EventKind::RequestReceived;
        host_.listenerEvent(std::move(received));
    }
    return true;
}

bool UpdateServerListener::launchJob(const std::shared_ptr<UpdateJob>& job, const std::string& image,
                                     SocketHandle offerWatch)
{
    if (job->stopRequested()) {
        host_.endBeforeTransfer(job, Stopped, "");
        return false;
    }
    if (job->lentAddress() == 0) {
        host_.endBeforeTransfer(job, NetError,
                                sweepFailed_ ? "no address to lend: the address sweep could not run (no ICMP socket)"
                                             : "no address to lend: every address of the network answered or is lent");
        return false;
    }
    static_assert(kPrepareModelMismatch == ModelMismatch && kPrepareFileError == FileError &&
                      kPrepareStopped == Stopped,
                  "store failures end jobs");
    Error why;
    // The job's own Stop abandons the read; the server's Stop reaches every
    // job it entered, this one included.
    const std::shared_ptr<const PreparedImage> prepared = firmware_->prepare(
        image, job->productCodeText(), run_.configPath, &why, [&job] { return job->stopRequested(); });
    if (!prepared) {
        host_.endBeforeTransfer(job, why.code, why.code == Stopped ? std::string() : why.text);
        return false;
    }
    if (job->stopRequested()) {
        host_.endBeforeTransfer(job, Stopped, "");
        return false;
    }

    // The job's socket is bound here, before the hand-over: a number that
    // was only probed could meanwhile be taken by another socket.
    uint16_t port = 0;
    const SocketHandle jobSocket = reserveJobSocket(&port, &why);
    if (jobSocket == kInvalidSocket) {
        host_.endBeforeTransfer(job, why.code, why.text);
        return false;
    }
    TransferCore::Setup setup;
    setup.localAddr = addressFromText(run_.localAddress);
    setup.jobPort = port;
    setup.lentAddr = job->lentAddress();
    setup.devicePort = job->device().port;
    setup.options = static_cast<uint8_t>(run_.options & 0xFF);
    setup.image = prepared;
    if (host_.handOver(job, jobSocket, offerWatch, setup, &why))
        return true;
    closeSocket(jobSocket);
    consoleWrite("_beginthreadex Failed\n");
    host_.endBeforeTransfer(job, why.code, why.text);
    return false;
}

SocketHandle UpdateServerListener::reserveJobSocket(uint16_t* port, Error* error)
{
    // The probed number first; when something took it since the probe, any
    // number the system picks.
    *port = findFreePortExcluding(host_.portsInUse());
    const SocketHandle s = openUdpSocket();
    if (s != kInvalidSocket && *port != 0xFFFF && bindSocket(s, 0, *port) == 0)
        return s;
    SocketAddress bound;
    if (s != kInvalidSocket && bindSocket(s, 0, 0) == 0 && socketName(s, &bound) == 0) {
        *port = bound.port;
        return s;
    }
    const int err = lastSocketError();
    closeSocket(s);
    fail(error, NetError, "no UDP port could be bound for the job: " + errorTextEnglish(err));
    return kInvalidSocket;
}

} // namespace brelvo
