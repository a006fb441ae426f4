// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// What the engine tells its front-ends, one record per happening. Addresses
// and ports are in network byte order, as everywhere in the engine. Which
// fields an event fills is listed beside its kind; the rest keep their
// defaults. A job's events carry its device's hardware address once known.
enum class EventKind : uint8_t {
    ListenerStarted,   // port
    ListenerFailed,    // port, code = errno, detail
    SweepFinished,     // value = free addresses found (-1: the sweep could not run), icmp
    RequestReceived,   // address/port = device, productCode
    RequestMatched,    // address/port = device, productCode, path = image, job
    RequestNoFirmware, // address/port = device, productCode, path = firmware folder
    RequestTableFull,  // address/port = device, productCode
    RequestMalformed,  // address/port = device, value = datagram size, detail
    OfferSent,         // job, lentAddress, jobPort
    SizeSent,          // job, value = image length (bytes)
    BlockPhaseStarted, // job, value = blocks
    BlocksResent,      // job, value = blocks sent again in this pass, code = pass (2, 3, ...)
    EndSent,           // job, checksum, options
    DeviceWriting,     // job, value = percent written
    JobResult,         // job, code = status code; detail says why for failures
    StopRequested,     // value = jobs asked to stop
    JobTimedOut,       // job, code = status before the time-out, detail
    ReportFailed,      // path, code = errno, detail
    ThreadFailed,      // thread = which, detail = why; what it served has stopped
    AnotherTool,       // address = another tool's, lentAddress = what it offered, port = the device's, job
    MacLearnt,         // job (mac set); detail when the device answers from another address
    MacUnknown,        // job, detail = why the hardware address cannot be known
    AskedAgain,        // job (mac set), value = the earlier job, code = its status now
};

enum class Severity : uint8_t { Info, Warning, Failure };

// How the address sweep could ping: a raw ICMP socket, the unprivileged
// ICMP datagram socket, the system's echo service (Windows), or not at all.
enum class IcmpMethod : uint8_t { None, Raw, Datagram, Service };

struct Event {
    EventKind kind = EventKind::ListenerStarted;
    Severity severity = Severity::Info;
    int64_t wallTimeMs = 0; // Unix time in milliseconds
    uint64_t jobId = 0;     // 0: no job; unique for the server's lifetime
    int row = 0;            // the job's 1-based table row when the event was made; 0: none
    uint32_t address = 0;
    uint16_t port = 0;
    uint32_t lentAddress = 0;
    uint16_t jobPort = 0;
    int code = 0;
    int64_t value = 0;
    uint32_t checksum = 0;
    uint8_t options = 0;
    IcmpMethod icmp = IcmpMethod::None;
    std::string productCode; // as received: up to 63 arbitrary bytes
    std::string path;
    std::string detail;      // English, for logs
    std::string thread;      // ThreadFailed: "listener", "transfer", "report", "console" or "resolver"
    uint64_t mac = 0;        // the job's device's hardware address once known (platform/NeighbourTable.h)
};

} // namespace brelvo
