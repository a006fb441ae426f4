// SPDX-License-Identifier: MIT
#include "check/FindingText.h"

namespace brelvo {

namespace {

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::string bytes(const std::string& count) { return count + (count == "1" ? " byte" : " bytes"); }

std::string orNone(const std::string& list, const char* none) { return list.empty() ? none : list; }

// A request may carry an empty product code; it must still show.
std::string code(const Finding& f) { return f.arg("code").empty() ? "\"\" (empty code)" : f.arg("code"); }

} // namespace

std::string findingMessage(const Finding& f)
{
    auto a = [&f](const char* key) { return f.arg(key); };
    switch (f.id) {
    case FindingId::PortFree:
        return "UDP port " + a("port") + " is free";
    case FindingId::PortInUse:
        if (a("self") == "yes")
            return "UDP port " + a("port") + " is held by this program itself (an earlier run still ending?)";
        if (!a("holders").empty())
            return "UDP port " + a("port") + " is held by " + a("holders");
        return "UDP port " + a("port") + " is held by an unknown process" +
               (a("uid").empty() ? std::string() : " (a socket of user " + a("uid") + ")");
    case FindingId::PortProbeFailed:
        return "UDP port " + a("port") + " cannot be bound: " + a("error");
    case FindingId::AddressInvalid:
        return quoted(a("text")) + " is not an IPv4 address";
    case FindingId::AddressNotLocal:
        return a("address") + " is not an address of this machine";
    case FindingId::AddressLoopback:
        return a("address") + " is a loopback address (" + a("interface") + "): no device can reach it";
    case FindingId::InterfaceOk:
        return a("address") + " is on " + a("interface") + " (" + a("state") + ", /" + a("prefix") + ")";
    case FindingId::InterfaceDown:
        return "interface " + a("interface") + " of " + a("address") + " is switched off";
    case FindingId::InterfaceNoCarrier:
        return "interface " + a("interface") + " of " + a("address") + " has no link (" + a("state") + ")";
    case FindingId::PrefixNarrow:
        return "the network of " + a("address") + " on " + a("interface") + " is a /" + a("prefix") +
               ", but addresses are lent from all of " + a("network");
    case FindingId::SubnetShared:
        return "interface " + a("other") + " also has an address in " + a("network") + " (" + a("otherAddress") +
               "): replies to devices may leave by the wrong card";
    case FindingId::DefaultRouteElsewhere:
        return "the default route goes through " + a("routeInterface") +
               (a("gateway").empty() ? std::string() : " (gateway " + a("gateway") + ")") + ", not " +
               a("interface") + ": the machine is on more than one network";
    case FindingId::IcmpRaw:
        return "the address sweep can use a raw ICMP socket (" + a("reason") + ")";
    case FindingId::IcmpDatagram:
        return "the address sweep can use the unprivileged ICMP socket (group " + orNone(a("group"), "?") +
               " in ping_group_range " + a("range") + ")";
    case FindingId::IcmpNone:
        return "no ICMP socket can be opened (ping_group_range " + a("range") +
               "): no address can be lent, every device would be refused";
    case FindingId::FolderMissing:
        return "firmware folder " + quoted(a("folder")) + " cannot be used: " + a("error");
    case FindingId::FolderEmpty:
        return "firmware folder " + quoted(a("folder")) + " has no kvx entries: no request would be answered";
    case FindingId::FirmwareEntry: {
        std::string text = "entry " + a("entry");
        if (!f.details.empty() && f.arg("codes").empty())
            return text + ": " + f.details.front();
        text += " serves " + orNone(a("codes"), "no product code");
        text += " (name: " + orNone(a("nameCode"), "none");
        if (!a("productCode").empty())
            text += ", product=" + a("productCode");
        return text + ")";
    }
    case FindingId::FirmwareChoice:
        return code(f) + ": " + a("entry") + " wins, image " + a("image") + " (" + bytes(a("size")) + ", " +
               a("blocks") + " blocks, checksum " + a("checksum") + ")";
    case FindingId::FirmwareImageMissing:
        return code(f) + ": image " + a("image") + " cannot be read (" + a("error") + "): \"Open Failed!\"";
    case FindingId::FirmwareVersionMissing:
        return code(f) + ": version file " + a("version") + " cannot be read: \"Open Failed!\"";
    case FindingId::FirmwareModelMismatch:
        return code(f) + ": version file " + a("version") + " names another product: \"Model Mismatch!\"";
    case FindingId::FirmwareChecksumMismatch:
        return code(f) + ": image " + a("image") + " sums to " + a("computed") + ", but its version file " +
               (a("expected").empty() ? std::string("has no checksum= line") : "says " + a("expected")) +
               (a("withConfig") == "yes" ? ": with a configuration file the job fails \"Open Failed!\""
                                         : ": the device would report \"Verification Failed!\"");
    case FindingId::FirmwareTooLarge:
        return code(f) + ": image " + a("image") + " (" + bytes(a("size")) + ") and the configuration (" +
               bytes(a("configSize")) + ") exceed " + bytes(a("limit")) + ": \"Open Failed!\"";
    case FindingId::FirmwareImageTooLarge:
        return code(f) + ": image " + a("image") + " (" + bytes(a("size")) + ") is over " + bytes(a("limit")) +
               ", the most a device can be sent: \"Open Failed!\"";
    case FindingId::ConfigNone:
        return "no configuration file: images are sent alone";
    case FindingId::ConfigOk:
        return "configuration file " + a("config") + " (" + bytes(a("size")) + ")";
    case FindingId::ConfigMissing:
        return "configuration file " + quoted(a("config")) + " cannot be found: " + a("error");
    case FindingId::ConfigNotRegular:
        return "configuration file " + quoted(a("config")) + " is not a regular file";
    case FindingId::ConfigUnreadable:
        return "configuration file " + quoted(a("config")) + " cannot be read: " + a("error");
    case FindingId::ConfigTooShort:
        return "configuration file " + quoted(a("config")) + " has " + bytes(a("size")) + ", fewer than " +
               a("minimum") + ": every device would end \"Open Failed!\"";
    case FindingId::EraseWithoutConfig:
        // The warnings the window gives when its erase box is ticked.
        return "the partition is to be erased, but no configuration file is given: 1.If the device is missing a "
               "profile, it will fail to start! 2.After erasing the partition, it can still start normally, but "
               "the user data will be lost. 3.Erasing partitions is not recommended without professional!";
    }
    return findingIdName(f.id);
}

std::string findingRemedy(const Finding& f)
{
    auto a = [&f](const char* key) { return f.arg(key); };
    switch (f.id) {
    case FindingId::PortInUse:
        if (a("self") == "yes")
            return "wait a second for the earlier run to end, then start again";
        if (!a("pid").empty())
            return "end the other program (kill " + a("pid") + ") or stop its serving, then check again";
        return "find the holder with 'sudo ss -ulpn sport = :" + a("port") + "' and end it";
    case FindingId::PortProbeFailed:
        return "check that this user may bind UDP port " + a("port") + " (firewall or security policy)";
    case FindingId::AddressInvalid:
    case FindingId::AddressNotLocal:
        return a("local").empty() ? std::string("give an address of this machine ('ip -4 addr' lists them)")
                                  : "choose one of: " + a("local");
    case FindingId::AddressLoopback:
        return "choose the address of the card on the devices' network";
    case FindingId::InterfaceDown:
        return "switch it on: sudo ip link set " + a("interface") + " up";
    case FindingId::InterfaceNoCarrier:
        return "plug the cable of " + a("interface") + " into the devices' switch and check the switch is on";
    case FindingId::PrefixNarrow:
        return "give " + a("interface") + " a /24 address, or serve on a network that is a /24";
    case FindingId::SubnetShared:
        return "disconnect " + a("other") + " or take its address off (sudo ip addr del " + a("otherAddress") +
               " dev " + a("other") + ")";
    case FindingId::DefaultRouteElsewhere:
        return "if devices do not answer, disconnect " + a("routeInterface") +
               " (e.g. the wireless network) while serving";
    case FindingId::IcmpNone:
        return "sudo setcap cap_net_raw+ep $(command -v " + a("program") +
               "), or sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\", or run it as root";
    case FindingId::FolderMissing:
        return "choose the folder that holds the kvx firmware files";
    case FindingId::FolderEmpty:
        return "copy the firmware (kvx...bin and kvx...-ver.bin) into the folder, or choose another";
    case FindingId::FirmwareImageMissing:
        return "put the image " + a("image") + " beside its version file, or remove " + a("entry");
    case FindingId::FirmwareVersionMissing:
        return "put the version file " + a("version") + " beside the image";
    case FindingId::FirmwareModelMismatch:
        return "check that " + a("version") + " belongs to the image and names product " + a("code");
    case FindingId::FirmwareChecksumMismatch:
        return "replace the image with an undamaged copy, or correct the version file's line to checksum=" +
               a("computed");
    case FindingId::FirmwareTooLarge:
        return "use a smaller configuration file, or serve this image without one";
    case FindingId::FirmwareImageTooLarge:
        return "replace " + a("image") + " with an image of at most " + bytes(a("limit"));
    case FindingId::EraseWithoutConfig:
        return "give the devices' configuration file, or do not erase";
    case FindingId::ConfigMissing:
    case FindingId::ConfigNotRegular:
    case FindingId::ConfigUnreadable:
        return "choose a readable configuration file, or none";
    case FindingId::ConfigTooShort:
        return "choose the full configuration file (at least " + a("minimum") + " bytes), or none";
    case FindingId::PortFree:
    case FindingId::InterfaceOk:
    case FindingId::IcmpRaw:
    case FindingId::IcmpDatagram:
    case FindingId::FirmwareEntry:
    case FindingId::FirmwareChoice:
    case FindingId::ConfigNone:
    case FindingId::ConfigOk:
        break;
    }
    return std::string();
}

} // namespace brelvo
