// SPDX-License-Identifier: MIT
#include "record/EventFormat.h"

#include "platform/AddressText.h"
#include "platform/ErrorText.h"
#include "platform/NeighbourTable.h"
#include "platform/WallClock.h"
#include "record/JobStatus.h"
#include "record/TextSafety.h"

#include <cinttypes>
#include <cstdio>

namespace brelvo {

namespace {

std::string deviceText(const Event& e)
{
    return addressToText(e.address) + ":" + std::to_string(netToHost16(e.port));
}

std::string plural(int64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "#03 10.0.0.23: " for a job's events; what is known of it.
std::string jobPrefix(const Event& e)
{
    std::string prefix;
    if (e.row > 0) {
        char row[16];
        std::snprintf(row, sizeof row, "#%02d", e.row);
        prefix = row;
    } else if (e.jobId != 0) {
        prefix = "job " + std::to_string(e.jobId);
    }
    if (e.address != 0)
        prefix += (prefix.empty() ? "" : " ") + addressToText(e.address);
    if (e.mac != 0)
        prefix += (prefix.empty() ? "(" : " (") + macText(e.mac) + ")";
    return prefix.empty() ? prefix : prefix + ": ";
}

std::string requestPrefix(const Event& e)
{
    std::string row;
    if (e.row > 0) {
        char text[16];
        std::snprintf(text, sizeof text, "#%02d ", e.row);
        row = text;
    }
    return row + addressToText(e.address) + " asked for " + displayText(e.productCode);
}

// " (detail)" when there is one.
std::string detailSuffix(const Event& e)
{
    return e.detail.empty() ? std::string() : " (" + displayText(e.detail) + ")";
}

std::string sweepText(const Event& e)
{
    const std::string method = std::string("(ICMP: ") + icmpMethodName(e.icmp) + ")";
    if (e.icmp == IcmpMethod::None)
        return "Address sweep could not ping " + method +
               ": no address can be lent; run as root, give the program cap_net_raw or allow "
               "unprivileged ping (net.ipv4.ping_group_range)";
    if (e.value < 0)
        return "Address sweep could not run " + method + ": no address can be lent" + detailSuffix(e);
    std::string text = "Address sweep found " + plural(e.value, "free address", "free addresses") + " " + method;
    return e.value == 0 ? text + ": no address can be lent" : text;
}

// What stopped with a thread that failed.
std::string threadLoss(const std::string& thread)
{
    if (thread == "listener")
        return ": no more requests are heard on UDP port 3281; start again to serve";
    if (thread == "transfer")
        return ": the jobs it served ended as failed";
    if (thread == "report")
        return ": rows are written when the run ends";
    if (thread == "resolver")
        return ": the devices' hardware addresses are no longer learnt";
    return "";
}

// Which JSON fields a kind carries.
enum Field : uint32_t {
    FJob = 1u << 0,
    FRow = 1u << 1,
    FDevice = 1u << 2,
    FProduct = 1u << 3,
    FLent = 1u << 4,
    FJobPort = 1u << 5,
    FPort = 1u << 6,
    FCode = 1u << 7,
    FError = 1u << 8,
    FStatus = 1u << 9,
    FValue = 1u << 10,
    FChecksum = 1u << 11,
    FOptions = 1u << 12,
    FPath = 1u << 13,
    FDetail = 1u << 14,
    FIcmp = 1u << 15,
    FThread = 1u << 16,
    FTool = 1u << 17,
    FMac = 1u << 18,
};
constexpr uint32_t kJob = FJob | FRow | FDevice | FMac;

uint32_t fieldsOf(EventKind kind)
{
    switch (kind) {
    case EventKind::ListenerStarted: return FPort;
    case EventKind::ListenerFailed: return FPort | FCode | FError | FDetail;
    case EventKind::SweepFinished: return FValue | FIcmp | FDetail;
    case EventKind::RequestReceived: return FDevice | FProduct;
    case EventKind::RequestMatched: return kJob | FProduct | FPath;
    case EventKind::RequestNoFirmware: return FDevice | FProduct | FPath | FDetail;
    case EventKind::RequestTableFull: return FDevice | FProduct;
    case EventKind::RequestMalformed: return FDevice | FValue | FDetail;
    case EventKind::OfferSent: return kJob | FLent | FJobPort;
    case EventKind::SizeSent: return kJob | FValue;
    case EventKind::BlockPhaseStarted: return kJob | FValue;
    case EventKind::BlocksResent: return kJob | FCode | FValue;
    case EventKind::EndSent: return kJob | FChecksum | FOptions;
    case EventKind::DeviceWriting: return kJob | FValue;
    case EventKind::JobResult: return kJob | FCode | FStatus | FDetail;
    case EventKind::StopRequested: return FValue;
    case EventKind::JobTimedOut: return kJob | FCode | FStatus | FDetail;
    case EventKind::ReportFailed: return FPath | FCode | FError | FDetail;
    case EventKind::ThreadFailed: return FThread | FDetail;
    case EventKind::AnotherTool: return FTool | FLent | FPort;
    case EventKind::MacLearnt: return kJob | FDetail;
    case EventKind::MacUnknown: return kJob | FDetail;
    case EventKind::AskedAgain: return kJob | FCode | FStatus | FValue;
    }
    return 0;
}

bool isRequestKind(EventKind kind)
{
    return kind == EventKind::RequestReceived || kind == EventKind::RequestMatched ||
           kind == EventKind::RequestNoFirmware || kind == EventKind::RequestTableFull ||
           kind == EventKind::RequestMalformed;
}

std::string hexBytes(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

const char* eventKindName(EventKind kind)
{
    switch (kind) {
    case EventKind::ListenerStarted: return "listener_started";
    case EventKind::ListenerFailed: return "listener_failed";
    case EventKind::SweepFinished: return "sweep_finished";
    case EventKind::RequestReceived: return "request_received";
    case EventKind::RequestMatched: return "request_matched";
    case EventKind::RequestNoFirmware: return "request_no_firmware";
    case EventKind::RequestTableFull: return "request_table_full";
    case EventKind::RequestMalformed: return "request_malformed";
    case EventKind::OfferSent: return "offer_sent";
    case EventKind::SizeSent: return "size_sent";
    case EventKind::BlockPhaseStarted: return "block_phase_started";
    case EventKind::BlocksResent: return "blocks_resent";
    case EventKind::EndSent: return "end_sent";
    case EventKind::DeviceWriting: return "device_writing";
    case EventKind::JobResult: return "job_result";
    case EventKind::StopRequested: return "stop_requested";
    case EventKind::JobTimedOut: return "job_timed_out";
    case EventKind::ReportFailed: return "report_failed";
    case EventKind::ThreadFailed: return "thread_failed";
    case EventKind::AnotherTool: return "another_tool";
    case EventKind::MacLearnt: return "mac_learnt";
    case EventKind::MacUnknown: return "mac_unknown";
    case EventKind::AskedAgain: return "asked_again";
    }
    return "unknown";
}

const char* severityName(Severity severity)
{
    switch (severity) {
    case Severity::Info: return "info";
    case Severity::Warning: return "warning";
    case Severity::Failure: return "failure";
    }
    return "unknown";
}

const char* icmpMethodName(IcmpMethod method)
{
    switch (method) {
    case IcmpMethod::None: return "none";
    case IcmpMethod::Raw: return "raw";
    case IcmpMethod::Datagram: return "datagram";
    case IcmpMethod::Service: return "service";
    }
    return "unknown";
}

Severity severityOf(const Event& e)
{
    switch (e.kind) {
    case EventKind::AnotherTool:
        return Severity::Warning;
    case EventKind::ListenerFailed:
    case EventKind::JobTimedOut:
    case EventKind::ReportFailed:
    case EventKind::ThreadFailed:
        return Severity::Failure;
    case EventKind::SweepFinished:
        return e.icmp == IcmpMethod::None || e.value <= 0 ? Severity::Warning : Severity::Info;
    case EventKind::RequestNoFirmware:
    case EventKind::RequestTableFull:
    case EventKind::RequestMalformed:
    case EventKind::AskedAgain:
        return Severity::Warning;
    case EventKind::OfferSent:
        return e.lentAddress == 0 ? Severity::Warning : Severity::Info;
    case EventKind::JobResult:
        switch (statusRow(e.code).outcome) {
        case StatusOutcome::Succeeded: return Severity::Info;
        case StatusOutcome::Stopped: return Severity::Warning;
        case StatusOutcome::Elsewhere: return Severity::Info;
        default: return Severity::Failure;
        }
    default:
        return Severity::Info;
    }
}

std::string formatEventText(const Event& e)
{
    const std::string job = jobPrefix(e);
    switch (e.kind) {
    case EventKind::ListenerStarted:
        return "Listening on UDP port " + std::to_string(netToHost16(e.port)) +
               (e.address ? " of " + addressToText(e.address) : std::string());
    case EventKind::ListenerFailed: {
        const std::string port = std::to_string(netToHost16(e.port));
        std::string text = "Cannot listen on UDP port " + port + ": " + errorTextEnglish(e.code) + detailSuffix(e);
        if (isAddressInUse(e.code))
            text += "; another copy of the tool or another program holds UDP port " + port;
        return text;
    }
    case EventKind::SweepFinished:
        return sweepText(e);
    case EventKind::RequestReceived:
        return requestPrefix(e);
    case EventKind::RequestMatched:
        return requestPrefix(e) + ": sending " + displayText(e.path);
    case EventKind::RequestNoFirmware:
        return requestPrefix(e) + ": no firmware for it in " + displayText(e.path) + detailSuffix(e);
    case EventKind::RequestTableFull:
        return requestPrefix(e) +
               ": the device table is full (100 devices); finished devices must be cleared to make room";
    case EventKind::RequestMalformed:
        return addressToText(e.address) + ": malformed request of " + plural(e.value, "byte", "bytes") +
               " ignored" + detailSuffix(e);
    case EventKind::OfferSent:
        return job + (e.lentAddress ? "offer sent, lent address " + addressToText(e.lentAddress)
                                    : std::string("offer sent without an address (none free)")) +
               ", job port " + std::to_string(netToHost16(e.jobPort));
    case EventKind::SizeSent:
        return job + "image size sent: " + plural(e.value, "byte", "bytes");
    case EventKind::BlockPhaseStarted:
        return job + "sending " + plural(e.value, "block", "blocks");
    case EventKind::BlocksResent:
        return job + "pass " + std::to_string(e.code) + ": " + plural(e.value, "block", "blocks") + " sent again";
    case EventKind::EndSent: {
        char text[64];
        std::snprintf(text, sizeof text, "End sent: checksum 0x%08" PRIx32 ", options %u", e.checksum,
                      static_cast<unsigned>(e.options));
        return job + text;
    }
    case EventKind::DeviceWriting:
        return job + "device writing, " + std::to_string(e.value) + "%";
    case EventKind::JobResult:
        return job + statusRow(e.code).english + detailSuffix(e);
    case EventKind::StopRequested:
        return "Stop: " + plural(e.value, "job", "jobs") + " asked to end";
    case EventKind::JobTimedOut:
        return job + "timed out at \"" + statusRow(e.code).english + "\"" + detailSuffix(e);
    case EventKind::ReportFailed:
        return "Run report: cannot write " + displayText(e.path) + ": " + errorTextEnglish(e.code) +
               detailSuffix(e) + "; the run goes on";
    case EventKind::ThreadFailed:
        return "The " + displayText(e.thread) + " thread failed" + detailSuffix(e) + threadLoss(e.thread);
    case EventKind::AnotherTool:
        return "Another tool at " + addressToText(e.address) + " answers devices on this network (it offered " +
               addressToText(e.lentAddress) + " to a device on port " + std::to_string(netToHost16(e.port)) +
               "); the addresses it offers are not lent here";
    case EventKind::MacLearnt:
        return job + "hardware address learnt" + detailSuffix(e);
    case EventKind::MacUnknown:
        return job + "hardware address unknown" + detailSuffix(e);
    case EventKind::AskedAgain:
        return job + macText(e.mac) + " asked again: previous result " + statusRow(e.code).english + " (job " +
               std::to_string(e.value) + ")";
    }
    return "Unknown event " + std::to_string(static_cast<int>(e.kind));
}

std::string formatEventJson(const Event& e)
{
    std::string out = "{\"time\":\"" + isoLocalTime(e.wallTimeMs) + "\",\"event\":\"" + eventKindName(e.kind) +
                      "\",\"severity\":\"" + severityName(e.severity) + "\"";
    const auto add = [&out](const char* name, const std::string& json) {
        out += ",\"";
        out += name;
        out += "\":";
        out += json;
    };
    const auto quoted = [](const std::string& s) { return jsonString(s); };
    const uint32_t fields = fieldsOf(e.kind);
    const bool request = isRequestKind(e.kind);
    if ((fields & FJob) && e.jobId != 0)
        add("job", std::to_string(e.jobId));
    if ((fields & FRow) && e.row > 0)
        add("row", std::to_string(e.row));
    if ((fields & FDevice) && (request || e.address != 0))
        add("device", quoted(deviceText(e)));
    if ((fields & FMac) && e.mac != 0)
        add("mac", quoted(macText(e.mac)));
    if (fields & FProduct) {
        add("product", quoted(e.productCode));
        if (!isValidUtf8(e.productCode))
            add("product_hex", quoted(hexBytes(e.productCode)));
    }
    if (fields & FLent)
        add("lent", quoted(addressToText(e.lentAddress)));
    if (fields & FJobPort)
        add("job_port", std::to_string(netToHost16(e.jobPort)));
    if (fields & FPort)
        add("port", std::to_string(netToHost16(e.port)));
    if (fields & FCode)
        add("code", std::to_string(e.code));
    if (fields & FError)
        add("error", quoted(errorTextEnglish(e.code)));
    if (fields & FStatus)
        add("status", quoted(statusRow(e.code).english));
    if (fields & FValue)
        add("value", std::to_string(e.value));
    if (fields & FChecksum) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08" PRIx32, e.checksum);
        add("checksum", quoted(text));
    }
    if (fields & FOptions)
        add("options", std::to_string(e.options));
    if (fields & FPath)
        add("path", quoted(e.path));
    if ((fields & FDetail) && !e.detail.empty())
        add("detail", quoted(e.detail));
    if (fields & FIcmp)
        add("icmp", quoted(icmpMethodName(e.icmp)));
    if (fields & FThread)
        add("thread", quoted(e.thread));
    if (fields & FTool)
        add("tool", quoted(addressToText(e.address)));
    out += '}';
    return out;
}

} // namespace brelvo
