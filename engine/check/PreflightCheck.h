// SPDX-License-Identifier: MIT
#pragma once

#include "check/Finding.h"
#include "record/Event.h"
#include "record/JobStatus.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo {

// What a run would be started with.
struct PreflightInput {
    std::string localAddress;          // as typed: dotted IPv4 text
    std::string firmwareDir;
    std::string configPath;            // empty: no configuration file
    int options = OptionUpdateBoot;    // the write options every job sends
    std::string programName = "brelvo-cli"; // named in remedies (setcap)
};

// Looks at everything a run depends on without starting one: the request
// port, the local address and its interface, the ICMP rights of the address
// sweep, the configuration file with the write options, and the firmware
// folder, in that order.
// Nothing is sent; the port is bound for a moment only. Severity Failure
// means a run would fail (a front-end should refuse to start), Warning that
// devices may not be served as expected. Reads every winning image once,
// and every "kvx" entry for its descriptor lines, as a request does.
std::vector<Finding> runPreflightCheck(const PreflightInput& input);

// The parts, each usable on its own.
std::vector<Finding> checkRequestPort(uint16_t port = 3281);
std::vector<Finding> checkLocalAddress(const std::string& text);
std::vector<Finding> checkIcmpRights(const std::string& programName);
std::vector<Finding> checkConfigurationFile(const std::string& path);
// Erasing without a configuration file is worth the warning the window gives.
std::vector<Finding> checkWriteOptions(int options, const std::string& configPath);
std::vector<Finding> checkFirmwareFolder(const std::string& firmwareDir, const std::string& configPath);

// How the address sweep would ping now, found by opening (and closing) the
// sockets it would use: raw first, then the unprivileged datagram socket.
IcmpMethod icmpMethodAvailable();

} // namespace brelvo
