// SPDX-License-Identifier: MIT
#include "ServeLines.h"

#include "platform/AddressText.h"
#include "platform/ErrorText.h"
#include "platform/NeighbourTable.h"
#include "platform/WallClock.h"
#include "record/EventFormat.h"
#include "record/JobStatus.h"
#include "record/TextSafety.h"

#include <csignal>
#include <ctime>

#ifndef SIGHUP
#define SIGHUP 1 // Windows: the console closed, a logoff or a shutdown
#endif

namespace brelvo_cli {

namespace {

std::string textLine(int64_t wallMs, const std::string& message, LineForm form)
{
    if (form != LineForm::Terminal)
        return brelvo::isoLocalTime(wallMs) + " " + message;
    // "2026-12-07T09:41:05.123+08:00": the clock is characters 11 to 18.
    const std::string local = brelvo::isoLocalTime(wallMs);
    return (local.size() >= 19 ? local.substr(11, 8) : std::string("??:??:??")) + " " + message;
}

// The start of a JSON line in the engine's shape.
std::string jsonHead(int64_t wallMs, const char* event, brelvo::Severity severity)
{
    return std::string("{\"time\":\"") + brelvo::isoLocalTime(wallMs) + "\",\"event\":\"" + event +
           "\",\"severity\":\"" + brelvo::severityName(severity) + "\"";
}

std::string field(const char* name, const std::string& json) { return std::string(",\"") + name + "\":" + json; }

std::string quoted(const std::string& text) { return brelvo::jsonString(text); }

std::string plural(int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

const char* reasonName(EndReason reason)
{
    switch (reason) {
    case EndReason::DeviceLimit: return "devices";
    case EndReason::Idle: return "idle";
    case EndReason::Signal: return "signal";
    case EndReason::ListenerLost: return "listener";
    }
    return "unknown";
}

std::string reasonText(const ServeEnd& end)
{
    switch (end.reason) {
    case EndReason::DeviceLimit:
        return plural(end.deviceLimit, "device", "devices") + " reached a result (--devices)";
    case EndReason::Idle:
        return "no device at work for " + plural(end.idleSeconds, "second", "seconds") + " (--idle-exit)";
    case EndReason::Signal:
        return "stopped by " + signalName(end.signal);
    case EndReason::ListenerLost:
        return "the listener on UDP port 3281 ended on its own";
    }
    return "ended";
}

} // namespace

std::string eventLine(const brelvo::Event& event, LineForm form)
{
    if (form == LineForm::Json)
        return brelvo::formatEventJson(event);
    brelvo::Event byId = event;
    byId.row = 0;
    std::string text = brelvo::formatEventText(byId);
    // Lines that start with the request (the match) name the job too.
    if (event.jobId != 0 && text.compare(0, 4, "job ") != 0)
        text = "job " + std::to_string(event.jobId) + " " + text;
    return textLine(event.wallTimeMs, text, form);
}

std::string progressLine(const brelvo::JobSnapshot& job, int64_t wallMs, LineForm form)
{
    if (form == LineForm::Json) {
        return jsonHead(wallMs, "progress", brelvo::Severity::Info) + field("job", std::to_string(job.id)) +
               field("device", quoted(brelvo::addressToText(job.deviceAddress) + ":" +
                                      std::to_string(brelvo::netToHost16(job.devicePort)))) +
               (job.mac ? field("mac", quoted(brelvo::macText(job.mac))) : std::string()) +
               field("code", std::to_string(job.status)) +
               field("status", quoted(brelvo::statusRow(job.status).english)) +
               field("value", std::to_string(job.progress)) + "}";
    }
    const std::string mac = job.mac ? " (" + brelvo::macText(job.mac) + ")" : std::string();
    return textLine(wallMs, "job " + std::to_string(job.id) + " " + brelvo::addressToText(job.deviceAddress) + mac +
                                ": sending, " + std::to_string(job.progress) + "% acknowledged", form);
}

std::string reportLine(const std::string& path, int64_t wallMs, LineForm form)
{
    if (form == LineForm::Json)
        return jsonHead(wallMs, "report_file", brelvo::Severity::Info) + field("path", quoted(path)) + "}";
    return textLine(wallMs, "Run report: " + brelvo::displayText(path), form);
}

std::string droppedLine(uint64_t dropped, int64_t wallMs, LineForm form)
{
    if (form == LineForm::Json)
        return jsonHead(wallMs, "events_dropped", brelvo::Severity::Warning) +
               field("value", std::to_string(dropped)) + "}";
    return textLine(wallMs, plural(static_cast<int64_t>(dropped), "event", "events") +
                                " of the engine lost so far (its queue was full); the run report has every device",
                    form);
}

std::string endLine(const ServeEnd& end, int64_t wallMs, LineForm form)
{
    const brelvo::Severity severity = end.reason == EndReason::ListenerLost || !end.reportComplete
                                          ? brelvo::Severity::Failure
                                      : end.failed > 0 ? brelvo::Severity::Warning
                                                       : brelvo::Severity::Info;
    if (form == LineForm::Json) {
        std::string out = jsonHead(wallMs, "serve_ended", severity) + field("reason", quoted(reasonName(end.reason)));
        if (end.reason == EndReason::Signal)
            out += field("signal", quoted(signalName(end.signal)));
        out += field("succeeded", std::to_string(end.succeeded)) + field("failed", std::to_string(end.failed)) +
               field("stopped", std::to_string(end.stopped)) + field("elsewhere", std::to_string(end.elsewhere)) +
               field("report", quoted(end.report)) +
               field("report_complete", end.reportComplete ? "true" : "false") +
               field("exit", std::to_string(end.exitCode)) + field("station", quoted(end.station)) + "}";
        return out;
    }
    std::string text = "Serving ended, " + reasonText(end) + ": " + std::to_string(end.succeeded) + " succeeded, " +
                       std::to_string(end.failed) + " failed, " + std::to_string(end.stopped) + " stopped";
    if (end.elsewhere > 0)
        text += ", " + std::to_string(end.elsewhere) + " served by another tool";
    if (!end.report.empty())
        text += "; report " + brelvo::displayText(end.report) + (end.reportComplete ? "" : " (rows missing)");
    return textLine(wallMs, text + "; exit " + std::to_string(end.exitCode), form);
}

std::string startFailureText(const std::string& why, int error)
{
    std::string text = why.empty() ? std::string("the server did not say why") : why;
#ifdef _WIN32
    const char* whoHolds = "netstat -abno -p udp";
#else
    const char* whoHolds = "ss -ulpn 'sport = :3281'";
#endif
    if (brelvo::isAddressInUse(error))
        text += std::string(" (another copy of the tool or another program holds it; see `") + whoHolds + "`)";
    return text;
}

std::string signalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(signal);
    }
}

} // namespace brelvo_cli
