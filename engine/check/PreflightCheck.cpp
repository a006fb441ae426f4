// SPDX-License-Identifier: MIT
#include "check/PreflightCheck.h"

#include "check/ImageFacts.h"
#include "firmware/FirmwareIndex.h"
#include "firmware/ImageStore.h"
#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/DirectorySearch.h"
#include "platform/ErrorText.h"
#include "platform/FileIdentity.h"
#include "platform/NetworkInterfaces.h"
#include "platform/ProcessRights.h"
#include "platform/RawFile.h"
#include "platform/RouteTable.h"
#include "platform/Socket.h"
#include "platform/UdpPortHolders.h"
#include "protocol/WireFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>

namespace brelvo {

namespace {

Finding make(Severity severity, FindingId id, std::vector<std::pair<std::string, std::string>> args = {})
{
    Finding f;
    f.severity = severity;
    f.id = id;
    f.args = std::move(args);
    return f;
}

std::string hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

std::string join(const std::vector<std::string>& parts, const char* separator = ", ")
{
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : separator) + p;
    return out;
}

void append(std::vector<Finding>& to, std::vector<Finding> more)
{
    for (Finding& f : more)
        to.push_back(std::move(f));
}

// What every code some entry serves would be sent, decided by the server's
// own walk over one reading of the folder.
struct FirmwareSurvey {
    std::vector<FirmwareEntry> entries;
    std::vector<FirmwareChoice> choices; // sorted by code (an empty code first)
};

FirmwareSurvey surveyFirmwareFolder(const std::string& firmwareDir)
{
    FirmwareSurvey survey;
    survey.entries = FirmwareIndex().entries(firmwareDir);
    std::set<std::string> codes;
    for (const FirmwareEntry& e : survey.entries)
        for (std::string& code : e.servedCodes())
            codes.insert(std::move(code));
    for (const std::string& code : codes)
        survey.choices.push_back(chooseFirmware(survey.entries, code));
    return survey;
}

uint32_t network24(uint32_t address) { return netToHost32(address) & 0xFFFFFF00u; }

std::string networkText(uint32_t address) { return addressToText(hostToNet32(network24(address))) + "/24"; }

int prefixLength(uint32_t netmask)
{
    int bits = 0;
    for (uint32_t m = netToHost32(netmask); m & 0x80000000u; m <<= 1)
        ++bits;
    return bits;
}

// "10.213.7.1 (vt), 192.168.1.5 (eth0)": the addresses a user may choose;
// loopback ones only when there is nothing else.
std::string localAddressList(const std::vector<InterfaceAddress>& all)
{
    std::vector<std::string> shown, loopback;
    for (const InterfaceAddress& a : all)
        (a.loopback ? loopback : shown).push_back(addressToText(a.address) + " (" + a.name + ")");
    return join(shown.empty() ? loopback : shown);
}

const InterfaceAddress* interfaceWith(const std::vector<InterfaceAddress>& all, uint32_t address)
{
    for (const InterfaceAddress& a : all)
        if (a.address == address)
            return &a;
    return nullptr;
}

// Down, up without a link, or fine: the link state file says best, the
// interface flags are the fallback where it cannot be read.
Finding interfaceStateFinding(const InterfaceAddress& ours, const std::string& addressText)
{
    const LinkState link = readLinkState(ours.name);
    std::string state;
    bool carrier = true;
    if (link.known) {
        state = link.operState + (link.carrier == 1 ? ", carrier" : link.carrier == 0 ? ", no carrier" : "");
        // "unknown" is what interfaces without a link layer state say (dummy, tun).
        carrier = link.carrier != 0 && (link.operState == "up" || link.operState == "unknown");
    } else {
        state = std::string(ours.running ? "running" : "not running") + (ours.lowerUp ? ", carrier" : ", no carrier");
        carrier = ours.running && ours.lowerUp;
    }
    const std::string prefix = std::to_string(prefixLength(ours.netmask));
    if (!ours.up)
        return make(Severity::Failure, FindingId::InterfaceDown, {{"address", addressText}, {"interface", ours.name}});
    if (!carrier)
        return make(Severity::Warning, FindingId::InterfaceNoCarrier,
                    {{"address", addressText}, {"interface", ours.name}, {"state", state}});
    return make(Severity::Info, FindingId::InterfaceOk,
                {{"address", addressText}, {"interface", ours.name}, {"state", state}, {"prefix", prefix}});
}

// Another interface on the same /24 may take the devices' replies.
std::vector<Finding> sharedSubnetFindings(const std::vector<InterfaceAddress>& all, const InterfaceAddress& ours,
                                          const std::string& addressText)
{
    std::vector<Finding> out;
    for (const InterfaceAddress& a : all) {
        if (a.name == ours.name || a.loopback || network24(a.address) != network24(ours.address))
            continue;
        out.push_back(make(Severity::Warning, FindingId::SubnetShared,
                           {{"address", addressText}, {"interface", ours.name}, {"other", a.name},
                            {"otherAddress", addressToText(a.address) + "/" + std::to_string(prefixLength(a.netmask))},
                            {"network", networkText(ours.address)}}));
    }
    return out;
}

// A default route through another interface, once per interface.
std::vector<Finding> defaultRouteFindings(const InterfaceAddress& ours)
{
    std::vector<Finding> out;
    std::vector<std::string> reported;
    for (const Ipv4Route& r : readIpv4Routes()) {
        if (!r.isDefault() || r.interface == ours.name)
            continue;
        bool seen = false;
        for (const std::string& name : reported)
            seen = seen || name == r.interface;
        if (seen)
            continue;
        reported.push_back(r.interface);
        out.push_back(make(Severity::Warning, FindingId::DefaultRouteElsewhere,
                           {{"interface", ours.name}, {"routeInterface", r.interface},
                            {"gateway", r.gateway ? addressToText(r.gateway) : std::string()}}));
    }
    return out;
}

// Why the folder cannot be listed; empty when it can.
std::optional<Finding> folderProblem(const std::string& firmwareDir)
{
    auto missing = [&](const std::string& error) {
        return make(Severity::Failure, FindingId::FolderMissing, {{"folder", firmwareDir}, {"error", error}});
    };
    // An empty folder text would list the file system's root.
    if (firmwareDir.empty())
        return missing("no folder given");
    Error error;
    if (!canListDirectory(firmwareDir, &error))
        return missing(error.text);
    return std::nullopt;
}

// One line per folder entry, with the product codes it would serve.
std::vector<Finding> entryFindings(const FirmwareSurvey& survey)
{
    std::vector<Finding> out;
    for (size_t i = 0; i < survey.entries.size(); ++i) {
        const FirmwareEntry& e = survey.entries[i];
        std::vector<std::string> codes;
        for (const FirmwareChoice& c : survey.choices) {
            for (size_t m : c.matches)
                if (m == i)
                    codes.push_back(c.code.empty() ? "\"\"" : c.code);
        }
        Finding f = make(Severity::Info, FindingId::FirmwareEntry,
                         {{"entry", e.name}, {"nameCode", e.isDirectory ? "" : e.codeByName},
                          {"productCode", e.hasProduct ? e.product : ""}, {"codes", join(codes, " ")}});
        if (e.isDirectory)
            f.details.push_back("a folder: serves no device");
        else if (!e.readable)
            f.details.push_back("cannot be read: serves its name's code only");
        out.push_back(std::move(f));
    }
    return out;
}

// The chosen entry's image and what a job would send, with the configuration
// when its size is known.
Finding choiceFinding(const FirmwareSurvey& survey, const FirmwareChoice& c, const ImageFacts& facts,
                      std::optional<uint64_t> configSize)
{
    const std::string& winner = survey.entries[c.matches.back()].name;
    std::vector<std::string> others;
    for (size_t k = 0; k + 1 < c.matches.size(); ++k)
        others.push_back(survey.entries[c.matches[k]].name);
    Finding choice = make(Severity::Info, FindingId::FirmwareChoice,
                          {{"code", c.code}, {"entry", winner}, {"image", c.imagePath},
                           {"size", std::to_string(facts.size)}, {"blocks", std::to_string(facts.blocks)},
                           {"checksum", hex32(facts.computedChecksum)}, {"others", join(others)}});
    if (!others.empty())
        choice.details.push_back("also matched, but earlier in name order: " + join(others));
    if (configSize) {
        const uint64_t total = facts.size + *configSize;
        choice.details.push_back("with the configuration: " + std::to_string(total) + " bytes, " +
                                 std::to_string((total + wire::kBlockSize - 1) / wire::kBlockSize) + " blocks");
    }
    return choice;
}

// What a device of product `c.code` would be sent, or why it cannot be.
std::vector<Finding> choiceFindings(const FirmwareSurvey& survey, const FirmwareChoice& c, bool withConfig,
                                    std::optional<uint64_t> configSize)
{
    const ImageFacts facts = inspectImage(c.imagePath, c.code);
    if (facts.version == ImageFacts::VersionMissing)
        return {make(Severity::Failure, FindingId::FirmwareVersionMissing,
                     {{"code", c.code}, {"image", c.imagePath}, {"version", facts.versionPath}})};
    if (facts.version == ImageFacts::VersionMismatch)
        return {make(Severity::Failure, FindingId::FirmwareModelMismatch,
                     {{"code", c.code}, {"image", c.imagePath}, {"version", facts.versionPath}})};
    if (facts.size > kMaxImageBytes)
        return {make(Severity::Failure, FindingId::FirmwareImageTooLarge,
                     {{"code", c.code}, {"image", c.imagePath}, {"size", std::to_string(facts.size)},
                      {"limit", std::to_string(kMaxImageBytes)}})};
    if (!facts.imageReadable)
        return {make(Severity::Failure, FindingId::FirmwareImageMissing,
                     {{"code", c.code}, {"entry", survey.entries[c.matches.back()].name}, {"image", c.imagePath},
                      {"error", errorTextEnglish(facts.imageError)}})};
    std::vector<Finding> out{choiceFinding(survey, c, facts, configSize)};

    // Without a checksum= line the server sends 0, which an image may sum to.
    if (facts.expectedChecksum != facts.computedChecksum) {
        Finding f = make(withConfig ? Severity::Failure : Severity::Warning, FindingId::FirmwareChecksumMismatch,
                         {{"code", c.code}, {"image", c.imagePath}, {"version", facts.versionPath},
                          {"expected", facts.hasChecksumLine ? hex32(facts.expectedChecksum) : std::string()},
                          {"computed", hex32(facts.computedChecksum)}, {"withConfig", withConfig ? "yes" : "no"}});
        if (!facts.hasChecksumLine)
            f.details.push_back("the version file has no checksum= line, so 0 would be sent");
        out.push_back(std::move(f));
    }
    if (configSize && facts.size + *configSize > kMaxImageWithConfigBytes)
        out.push_back(make(Severity::Failure, FindingId::FirmwareTooLarge,
                           {{"code", c.code}, {"image", c.imagePath}, {"size", std::to_string(facts.size)},
                            {"configSize", std::to_string(*configSize)},
                            {"total", std::to_string(facts.size + *configSize)},
                            {"limit", std::to_string(kMaxImageWithConfigBytes)}}));
    return out;
}

// A broken entry fails the devices of its model only. While some model
// can still be served the run goes on, and the broken ones are warnings;
// when none can, the run would serve nothing and they stay failures.
void demoteWhenSomeServed(const FirmwareSurvey& survey, std::vector<Finding>& findings)
{
    std::vector<std::string> failing;
    for (const Finding& f : findings)
        if (f.severity == Severity::Failure)
            failing.push_back(f.arg("code"));
    bool someServed = false;
    for (const FirmwareChoice& c : survey.choices)
        someServed = someServed || std::find(failing.begin(), failing.end(), c.code) == failing.end();
    if (someServed)
        for (Finding& f : findings)
            if (f.severity == Severity::Failure)
                f.severity = Severity::Warning;
}

} // namespace

std::vector<Finding> checkRequestPort(uint16_t port)
{
    const std::string portText = std::to_string(port);
    const int error = tryBindUdpPort(port);
    if (error == 0)
        return {make(Severity::Info, FindingId::PortFree, {{"port", portText}})};
    if (!isAddressInUseError(error))
        return {make(Severity::Failure, FindingId::PortProbeFailed,
                     {{"port", portText}, {"error", errorTextEnglish(error)}})};

    std::vector<std::string> names, details;
    std::string firstPid, firstName, uid;
    bool self = false;
    for (const UdpPortHolder& h : findUdpPortHolders(port)) {
        if (uid.empty())
            uid = std::to_string(h.uid);
        if (h.processes.empty())
            details.push_back("socket " + h.local + " of user " + std::to_string(h.uid) +
                              ": no process of it is visible to this one");
        for (const ProcessInfo& p : h.processes) {
            names.push_back("pid " + std::to_string(p.pid) + " (" + p.comm + ")");
            details.push_back("pid " + std::to_string(p.pid) + ": " +
                              (p.commandLine.empty() ? p.comm : p.commandLine) + " (socket " + h.local +
                              ", user " + std::to_string(h.uid) + ")");
            if (firstPid.empty()) {
                firstPid = std::to_string(p.pid);
                firstName = p.comm;
            }
            if (static_cast<uint32_t>(p.pid) == processId())
                self = true;
        }
    }
    Finding f = make(Severity::Failure, FindingId::PortInUse,
                     {{"port", portText}, {"holders", join(names)}, {"pid", firstPid}, {"process", firstName},
                      {"uid", uid}, {"self", self ? "yes" : "no"}});
    f.details = std::move(details);
    return {f};
}

std::vector<Finding> checkLocalAddress(const std::string& text)
{
    const std::vector<InterfaceAddress> all = listIpv4Addresses();
    const uint32_t address = addressFromText(text);
    // inet_addr's answer for text that is no address; never a usable one either.
    if (address == 0xFFFFFFFFu || address == 0)
        return {make(Severity::Failure, FindingId::AddressInvalid, {{"text", text}, {"local", localAddressList(all)}})};
    const std::string addressText = addressToText(address);

    const InterfaceAddress* ours = interfaceWith(all, address);
    if (!ours)
        return {make(Severity::Failure, FindingId::AddressNotLocal,
                     {{"address", addressText}, {"local", localAddressList(all)}})};
    if (ours->loopback)
        return {make(Severity::Warning, FindingId::AddressLoopback,
                     {{"address", addressText}, {"interface", ours->name}})};

    std::vector<Finding> out;
    out.push_back(interfaceStateFinding(*ours, addressText));
    const std::string prefix = std::to_string(prefixLength(ours->netmask));
    // The sweep lends addresses of the /24; a narrower network puts them
    // outside the interface's own, where replies to devices follow other routes.
    if (prefixLength(ours->netmask) > 24)
        out.push_back(make(Severity::Warning, FindingId::PrefixNarrow,
                           {{"address", addressText}, {"interface", ours->name}, {"prefix", prefix},
                            {"network", networkText(address)}}));
    append(out, sharedSubnetFindings(all, *ours, addressText));
    append(out, defaultRouteFindings(*ours));
    return out;
}

IcmpMethod icmpMethodAvailable()
{
    SocketHandle s = openRawIcmpSocket();
    if (s != kInvalidSocket) {
        closeSocket(s);
        return IcmpMethod::Raw;
    }
    s = openIcmpDatagramSocket();
    if (s != kInvalidSocket) {
        closeSocket(s);
        return IcmpMethod::Datagram;
    }
    return IcmpMethod::None;
}

std::vector<Finding> checkIcmpRights(const std::string& programName)
{
    const PingGroupRange range = readPingGroupRange();
    const std::vector<uint32_t> groups = processGroupIds();
    switch (icmpMethodAvailable()) {
    case IcmpMethod::Raw:
        return {make(Severity::Info, FindingId::IcmpRaw,
                     {{"reason", effectiveUserId() == 0 ? "root"
                                 : hasEffectiveCapability(kCapNetRaw) ? "cap_net_raw" : "granted"}})};
    case IcmpMethod::Datagram: {
        std::string group;
        for (uint32_t g : groups) {
            if (range.contains(g)) {
                group = std::to_string(g);
                break;
            }
        }
        return {make(Severity::Info, FindingId::IcmpDatagram, {{"group", group}, {"range", range.text()}})};
    }
    case IcmpMethod::None:
        break;
    }
    std::vector<std::string> groupTexts;
    for (uint32_t g : groups)
        groupTexts.push_back(std::to_string(g));
    return {make(Severity::Failure, FindingId::IcmpNone,
                 {{"program", programName}, {"range", range.text()}, {"groups", join(groupTexts, " ")}})};
}

std::vector<Finding> checkConfigurationFile(const std::string& path)
{
    if (path.empty())
        return {make(Severity::Info, FindingId::ConfigNone)};
    Error error;
    const std::optional<FileIdentity> st = fileIdentity(path, &error);
    if (!st)
        return {make(Severity::Failure, FindingId::ConfigMissing, {{"config", path}, {"error", error.text}})};
    if (st->kind != FileKind::Regular)
        return {make(Severity::Failure, FindingId::ConfigNotRegular, {{"config", path}})};
    RawFile file;
    errno = 0;
    if (!file.open(path))
        return {make(Severity::Failure, FindingId::ConfigUnreadable,
                     {{"config", path}, {"error", errorTextEnglish(errno ? errno : EACCES)}})};
    char probe[1];
    if (st->size > 0 && file.read(probe, 1) != 1)
        return {make(Severity::Failure, FindingId::ConfigUnreadable,
                     {{"config", path}, {"error", errorTextEnglish(errno ? errno : EIO)}})};
    if (st->size < kMinConfigBytes)
        return {make(Severity::Failure, FindingId::ConfigTooShort,
                     {{"config", path}, {"size", std::to_string(st->size)},
                      {"minimum", std::to_string(kMinConfigBytes)}})};
    return {make(Severity::Info, FindingId::ConfigOk, {{"config", path}, {"size", std::to_string(st->size)}})};
}

std::vector<Finding> checkFirmwareFolder(const std::string& firmwareDir, const std::string& configPath)
{
    if (std::optional<Finding> problem = folderProblem(firmwareDir))
        return {std::move(*problem)};
    const FirmwareSurvey survey = surveyFirmwareFolder(firmwareDir);
    if (survey.entries.empty())
        return {make(Severity::Warning, FindingId::FolderEmpty, {{"folder", firmwareDir}})};

    std::vector<Finding> out = entryFindings(survey);
    const bool withConfig = !configPath.empty();
    const std::optional<FileIdentity> config = withConfig ? fileIdentity(configPath) : std::nullopt;
    const bool configSized = config && config->kind == FileKind::Regular;
    for (const FirmwareChoice& c : survey.choices)
        append(out, choiceFindings(survey, c, withConfig, configSized ? std::optional<uint64_t>(config->size)
                                                                      : std::nullopt));
    demoteWhenSomeServed(survey, out);
    return out;
}

std::vector<Finding> checkWriteOptions(int options, const std::string& configPath)
{
    if ((options & OptionEraseBoot) && configPath.empty())
        return {make(Severity::Warning, FindingId::EraseWithoutConfig)};
    return {};
}

std::vector<Finding> runPreflightCheck(const PreflightInput& input)
{
    std::vector<Finding> all;
    append(all, checkRequestPort(wire::kRequestPort));
    append(all, checkLocalAddress(input.localAddress));
    append(all, checkIcmpRights(input.programName));
    append(all, checkConfigurationFile(input.configPath));
    append(all, checkWriteOptions(input.options, input.configPath));
    append(all, checkFirmwareFolder(input.firmwareDir, input.configPath));
    return all;
}

} // namespace brelvo
