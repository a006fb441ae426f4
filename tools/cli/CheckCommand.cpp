// SPDX-License-Identifier: MIT
#include "CheckCommand.h"

#include "check/FindingText.h"
#include "check/PreflightCheck.h"
#include "record/EventFormat.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace brelvo_cli {

using brelvo::Finding;
using brelvo::Severity;

namespace {

struct Counts {
    int failures = 0, warnings = 0, infos = 0;
};

Counts count(const std::vector<Finding>& findings)
{
    Counts c;
    for (const Finding& f : findings)
        ++(f.severity == Severity::Failure ? c.failures : f.severity == Severity::Warning ? c.warnings : c.infos);
    return c;
}

std::string plural(int n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

const char* label(Severity s)
{
    switch (s) {
    case Severity::Failure: return "FAIL  ";
    case Severity::Warning: return "WARN  ";
    case Severity::Info: break;
    }
    return "ok    ";
}

// The length of the valid UTF-8 sequence at `i` (1 to 4), or 0 when the
// byte there starts none: overlong forms, surrogates and values beyond
// U+10FFFF do not count.
size_t utf8Length(const std::string& s, size_t i)
{
    const auto byte = [&s](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b = byte(i);
    if (b < 0x80)
        return 1;
    size_t n;
    uint32_t cp, min;
    if ((b & 0xE0) == 0xC0) {
        n = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

std::string hexEscape(uint8_t b, const char* format)
{
    char text[8];
    std::snprintf(text, sizeof text, format, b);
    return text;
}

} // namespace

std::vector<brelvo::Finding> checkRunSettings(const std::string& address, const std::string& firmwareDir,
                                              const std::string& configPath)
{
    brelvo::PreflightInput input;
    input.localAddress = address;
    input.firmwareDir = firmwareDir;
    input.configPath = configPath;
    input.programName = "brelvo-cli";
    return brelvo::runPreflightCheck(input);
}

int runCheck(const CheckOptions& options, std::FILE* out)
{
    const std::vector<brelvo::Finding> findings =
        checkRunSettings(options.address, options.firmwareDir, options.configPath);

    std::string text;
    if (options.json) {
        text = checkAsJson(findings, versionText().substr(sizeof "brelvo-cli"));
    } else {
        for (const brelvo::Finding& f : findings)
            text += findingAsText(f);
        text += summaryAsText(findings);
    }
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0) {
        std::fprintf(stderr, "brelvo-cli: check: cannot write the findings: %s\n", std::strerror(errno));
        return kExitRefused;
    }
    return checkExitCode(findings);
}

std::string findingAsText(const Finding& f)
{
    std::string out = label(f.severity) + terminalSafe(brelvo::findingMessage(f)) + "  [" +
                      brelvo::findingIdName(f.id) + "]\n";
    const std::string remedy = brelvo::findingRemedy(f);
    if (!remedy.empty())
        out += "      fix: " + terminalSafe(remedy) + "\n";
    for (const std::string& d : f.details)
        out += "      " + terminalSafe(d) + "\n";
    return out;
}

std::string summaryAsText(const std::vector<Finding>& findings)
{
    const Counts c = count(findings);
    if (c.failures)
        return "check: " + plural(c.failures, "failure") + ", " + plural(c.warnings, "warning") +
               ": a run would fail\n";
    if (c.warnings)
        return "check: " + plural(c.warnings, "warning") + ": devices may not be served as expected\n";
    return "check: no problems found\n";
}

std::string findingAsJson(const Finding& f)
{
    std::string out = "{\"severity\":" + jsonString(brelvo::severityName(f.severity)) +
                      ",\"id\":" + jsonString(brelvo::findingIdName(f.id)) +
                      ",\"message\":" + jsonString(brelvo::findingMessage(f)) +
                      ",\"remedy\":" + jsonString(brelvo::findingRemedy(f)) + ",\"args\":{";
    for (size_t i = 0; i < f.args.size(); ++i)
        out += (i ? "," : "") + jsonString(f.args[i].first) + ":" + jsonString(f.args[i].second);
    out += "},\"details\":[";
    for (size_t i = 0; i < f.details.size(); ++i)
        out += (i ? "," : "") + jsonString(f.details[i]);
    return out + "]}";
}

std::string checkAsJson(const std::vector<Finding>& findings, const std::string& version)
{
    const Counts c = count(findings);
    std::string out = "{\"program\":\"brelvo-cli\",\"version\":" + jsonString(version) + ",\"findings\":[";
    for (size_t i = 0; i < findings.size(); ++i)
        out += std::string(i ? ",\n" : "\n") + "  " + findingAsJson(findings[i]);
    out += "\n],\"summary\":{\"failures\":" + std::to_string(c.failures) +
           ",\"warnings\":" + std::to_string(c.warnings) + ",\"info\":" + std::to_string(c.infos) +
           ",\"exit\":" + std::to_string(checkExitCode(findings)) + "}}\n";
    return out;
}

int checkExitCode(const std::vector<Finding>& findings)
{
    switch (brelvo::worstSeverity(findings)) {
    case Severity::Failure: return kExitRefused;
    case Severity::Warning: return kExitWarnings;
    case Severity::Info: break;
    }
    return kExitOk;
}

std::string terminalSafe(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t b = static_cast<uint8_t>(bytes[i]);
        const size_t n = utf8Length(bytes, i);
        if (b == '\\') {
            out += "\\\\";
            i += 1;
        } else if (n == 0 || b < 0x20 || b == 0x7F) {
            out += hexEscape(b, "\\x%02X");
            i += 1;
        } else if (n == 2 && b == 0xC2 && static_cast<uint8_t>(bytes[i + 1]) < 0xA0) {
            // C1 control characters (U+0080..U+009F) steer terminals too.
            out += hexEscape(b, "\\x%02X") + hexEscape(static_cast<uint8_t>(bytes[i + 1]), "\\x%02X");
            i += 2;
        } else {
            out.append(bytes, i, n);
            i += n;
        }
    }
    return out;
}

std::string jsonString(const std::string& bytes)
{
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t b = static_cast<uint8_t>(bytes[i]);
        const size_t n = utf8Length(bytes, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            i += 1;
            continue;
        }
        switch (b) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20 || b == 0x7F)
                out += hexEscape(b, "\\u%04x");
            else
                out.append(bytes, i, n);
        }
        i += n;
    }
    return out + "\"";
}

} // namespace brelvo_cli
