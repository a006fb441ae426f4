// SPDX-License-Identifier: MIT
#pragma once

#include "record/Event.h"

#include <string>
#include <utility>
#include <vector>

namespace brelvo {

// What a pre-flight check can find. Each id has a stable name (findingIdName)
// used in machine-readable output, and named arguments listed here; front-ends
// build their own texts from the id and arguments (FindingText.h has the
// English ones).
enum class FindingId {
    PortFree,                // port
    PortInUse,               // port, holders ("pid 42 (nc), ..." or empty), pid, process, uid, self ("yes"/"no")
    PortProbeFailed,         // port, error
    AddressInvalid,          // text, local ("10.0.0.1 (eth0), ..." or empty)
    AddressNotLocal,         // address, local
    AddressLoopback,         // address, interface
    InterfaceOk,             // address, interface, state, prefix
    InterfaceDown,           // address, interface
    InterfaceNoCarrier,      // address, interface, state
    PrefixNarrow,            // address, interface, prefix, network
    SubnetShared,            // address, interface, other, otherAddress, network
    DefaultRouteElsewhere,   // interface, routeInterface, gateway
    IcmpRaw,                 // reason ("root" or "cap_net_raw")
    IcmpDatagram,            // group, range
    IcmpNone,                // program, range, groups
    FolderMissing,           // folder, error
    FolderEmpty,             // folder
    FirmwareEntry,           // entry, nameCode, productCode ("" when no product= line),
                             // codes (space-separated; an empty code shows as "")
    FirmwareChoice,          // code, entry, image, size, blocks, checksum, others
    FirmwareImageMissing,    // code, entry, image, error
    FirmwareVersionMissing,  // code, image, version
    FirmwareModelMismatch,   // code, image, version
    FirmwareChecksumMismatch,// code, image, version, expected, computed, withConfig ("yes"/"no")
    FirmwareTooLarge,        // code, image, size, configSize, total, limit
    FirmwareImageTooLarge,   // code, image, size, limit
    ConfigNone,              //
    ConfigOk,                // config, size
    ConfigMissing,           // config, error
    ConfigNotRegular,        // config
    ConfigUnreadable,        // config, error
    ConfigTooShort,          // config, size, minimum
    EraseWithoutConfig,      //
};

// One thing a check found: how bad, which, its arguments, and English lines
// of detail for logs (may be empty).
struct Finding {
    Severity severity = Severity::Info;
    FindingId id = FindingId::PortFree;
    std::vector<std::pair<std::string, std::string>> args;
    std::vector<std::string> details;

    // The argument named `key`; empty when the finding has none.
    std::string arg(const std::string& key) const
    {
        for (const auto& a : args) {
            if (a.first == key)
                return a.second;
        }
        return std::string();
    }
};

// The stable name of an id, e.g. "port-in-use".
const char* findingIdName(FindingId id);
// The worst severity among `findings`; Info when there are none.
Severity worstSeverity(const std::vector<Finding>& findings);

} // namespace brelvo
