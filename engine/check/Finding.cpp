// SPDX-License-Identifier: MIT
#include "check/Finding.h"

namespace brelvo {

const char* findingIdName(FindingId id)
{
    switch (id) {
    case FindingId::PortFree: return "port-free";
    case FindingId::PortInUse: return "port-in-use";
    case FindingId::PortProbeFailed: return "port-probe-failed";
    case FindingId::AddressInvalid: return "address-invalid";
    case FindingId::AddressNotLocal: return "address-not-local";
    case FindingId::AddressLoopback: return "address-loopback";
    case FindingId::InterfaceOk: return "interface-ok";
    case FindingId::InterfaceDown: return "interface-down";
    case FindingId::InterfaceNoCarrier: return "interface-no-carrier";
    case FindingId::PrefixNarrow: return "prefix-narrow";
    case FindingId::SubnetShared: return "subnet-shared";
    case FindingId::DefaultRouteElsewhere: return "default-route-elsewhere";
    case FindingId::IcmpRaw: return "icmp-raw";
    case FindingId::IcmpDatagram: return "icmp-datagram";
    case FindingId::IcmpNone: return "icmp-none";
    case FindingId::FolderMissing: return "firmware-folder-missing";
    case FindingId::FolderEmpty: return "firmware-folder-empty";
    case FindingId::FirmwareEntry: return "firmware-entry";
    case FindingId::FirmwareChoice: return "firmware-choice";
    case FindingId::FirmwareImageMissing: return "firmware-image-missing";
    case FindingId::FirmwareVersionMissing: return "firmware-version-missing";
    case FindingId::FirmwareModelMismatch: return "firmware-model-mismatch";
    case FindingId::FirmwareChecksumMismatch: return "firmware-checksum-mismatch";
    case FindingId::FirmwareTooLarge: return "firmware-too-large";
    case FindingId::FirmwareImageTooLarge: return "firmware-image-too-large";
    case FindingId::ConfigNone: return "config-none";
    case FindingId::ConfigOk: return "config-ok";
    case FindingId::ConfigMissing: return "config-missing";
    case FindingId::ConfigNotRegular: return "config-not-regular";
    case FindingId::ConfigUnreadable: return "config-unreadable";
    case FindingId::ConfigTooShort: return "config-too-short";
    case FindingId::EraseWithoutConfig: return "erase-without-config";
    }
    return "unknown";
}

Severity worstSeverity(const std::vector<Finding>& findings)
{
    Severity worst = Severity::Info;
    for (const Finding& f : findings) {
        if (static_cast<int>(f.severity) > static_cast<int>(worst))
            worst = f.severity;
    }
    return worst;
}

} // namespace brelvo
