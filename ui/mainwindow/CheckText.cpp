// SPDX-License-Identifier: MIT
#include "mainwindow/CheckText.h"

#include "mainwindow/EventText.h"

using brelvo::Finding;
using brelvo::FindingId;

namespace {

// A text of the window itself: a job status as the device table shows it,
// for texts that name the status a device would end with, or a box's label.
QString status(const char* key)
{
    return QCoreApplication::translate("Brelvo", key);
}

} // namespace

QString CheckText::arg(const Finding& f, const char* key)
{
    return EventText::safe(f.arg(key));
}

// A request may carry an empty product code; it must still show.
QString CheckText::code(const Finding& f)
{
    return f.arg("code").empty() ? tr("Finding.emptyCode") : arg(f, "code");
}

QString CheckText::message(const Finding& f)
{
    const auto a = [&f](const char* key) { return arg(f, key); };
    switch (f.id) {
    case FindingId::PortFree:
        return tr("Finding.portFree").arg(a("port"));
    case FindingId::PortInUse:
        if (f.arg("self") == "yes")
            return tr("Finding.portInUseSelf").arg(a("port"));
        if (!f.arg("holders").empty())
            return tr("Finding.portInUse").arg(a("port"), a("holders"));
        if (!f.arg("uid").empty())
            return tr("Finding.portInUseUser").arg(a("port"), a("uid"));
        return tr("Finding.portInUseUnknown").arg(a("port"));
    case FindingId::PortProbeFailed:
        return tr("Finding.portProbeFailed").arg(a("port"), a("error"));
    case FindingId::AddressInvalid:
        return tr("Finding.addressInvalid").arg(a("text"));
    case FindingId::AddressNotLocal:
        return tr("Finding.addressNotLocal").arg(a("address"));
    case FindingId::AddressLoopback:
        return tr("Finding.addressLoopback").arg(a("address"), a("interface"));
    case FindingId::InterfaceOk:
        return tr("Finding.interfaceOk").arg(a("address"), a("interface"), a("state"), a("prefix"));
    case FindingId::InterfaceDown:
        return tr("Finding.interfaceDown").arg(a("interface"), a("address"));
    case FindingId::InterfaceNoCarrier:
        return tr("Finding.interfaceNoCarrier").arg(a("interface"), a("address"), a("state"));
    case FindingId::PrefixNarrow:
        return tr("Finding.prefixNarrow").arg(a("address"), a("interface"), a("prefix"), a("network"));
    case FindingId::SubnetShared:
        return tr("Finding.subnetShared").arg(a("other"), a("network"), a("otherAddress"));
    case FindingId::DefaultRouteElsewhere:
        if (f.arg("gateway").empty())
            return tr("Finding.defaultRouteElsewhere").arg(a("routeInterface"), a("interface"));
        return tr("Finding.defaultRouteGateway").arg(a("routeInterface"), a("gateway"), a("interface"));
    case FindingId::IcmpRaw:
        return tr("Finding.icmpRaw").arg(a("reason"));
    case FindingId::IcmpDatagram:
        return tr("Finding.icmpDatagram").arg(f.arg("group").empty() ? QStringLiteral("?") : a("group"), a("range"));
    case FindingId::IcmpNone:
        return tr("Finding.icmpNone").arg(a("range"));
    case FindingId::FolderMissing:
        if (f.arg("folder").empty())
            return tr("Finding.folderNotGiven");
        return tr("Finding.folderMissing").arg(a("folder"), a("error"));
    case FindingId::FolderEmpty:
        return tr("Finding.folderEmpty").arg(a("folder"));
    case FindingId::FirmwareEntry: {
        if (f.arg("codes").empty()) {
            // Why it serves nothing is in the engine's English detail.
            const QString why =
                f.details.empty() ? QString() : QStringLiteral(" (%1)").arg(EventText::safe(f.details.front()));
            return tr("Finding.firmwareEntryNone").arg(a("entry")) + why;
        }
        const QString nameCode = f.arg("nameCode").empty() ? tr("Finding.none") : a("nameCode");
        if (f.arg("productCode").empty())
            return tr("Finding.firmwareEntry").arg(a("entry"), a("codes"), nameCode);
        return tr("Finding.firmwareEntryProduct").arg(a("entry"), a("codes"), nameCode, a("productCode"));
    }
    case FindingId::FirmwareChoice:
        return tr("Finding.firmwareChoice")
            .arg(code(f), a("entry"), a("image"), a("size"), a("blocks"), a("checksum"));
    case FindingId::FirmwareImageMissing:
        return tr("Finding.imageMissing").arg(code(f), a("image"), a("error"), status("Content.openUpFileFailed"));
    case FindingId::FirmwareVersionMissing:
        return tr("Finding.versionMissing").arg(code(f), a("version"), status("Content.openUpFileFailed"));
    case FindingId::FirmwareModelMismatch:
        return tr("Finding.modelMismatch").arg(code(f), a("version"), status("Content.modeError"));
    case FindingId::FirmwareChecksumMismatch: {
        const QString version = f.arg("expected").empty() ? tr("Finding.checksumNoLine")
                                                          : tr("Finding.checksumSays").arg(a("expected"));
        const QString outcome = f.arg("withConfig") == "yes"
            ? tr("Finding.checksumWithConfig").arg(status("Content.openUpFileFailed"))
            : tr("Finding.checksumWithoutConfig").arg(status("Content.checkFailed"));
        return tr("Finding.checksumMismatch").arg(code(f), a("image"), a("computed"), version, outcome);
    }
    case FindingId::FirmwareTooLarge:
        return tr("Finding.tooLarge")
            .arg(code(f), a("image"), a("size"), a("configSize"), a("limit"), status("Content.openUpFileFailed"));
    case FindingId::FirmwareImageTooLarge:
        return tr("Finding.imageTooLarge").arg(code(f), a("image"), a("size"), a("limit"),
                                               status("Content.openUpFileFailed"));
    case FindingId::ConfigNone:
        return tr("Finding.configNone");
    case FindingId::ConfigOk:
        return tr("Finding.configOk").arg(a("config"), a("size"));
    case FindingId::ConfigMissing:
        return tr("Finding.configMissing").arg(a("config"), a("error"));
    case FindingId::ConfigNotRegular:
        return tr("Finding.configNotRegular").arg(a("config"));
    case FindingId::ConfigUnreadable:
        return tr("Finding.configUnreadable").arg(a("config"), a("error"));
    case FindingId::ConfigTooShort:
        return tr("Finding.configTooShort").arg(a("config"), a("size"), a("minimum"));
    case FindingId::EraseWithoutConfig:
        // The warnings the window gives when the box is ticked.
        return tr("Finding.eraseWithoutConfig")
            .arg(status("CheckBox.clearBoot"), status("Content.warn1"), status("Content.warn2"),
                 status("Content.warn3"));
    }
    return QString::fromLatin1(brelvo::findingIdName(f.id));
}

QString CheckText::remedy(const Finding& f)
{
    const auto a = [&f](const char* key) { return arg(f, key); };
    switch (f.id) {
    case FindingId::PortInUse:
        if (f.arg("self") == "yes")
            return tr("Remedy.portInUseSelf");
        if (!f.arg("pid").empty())
            return tr("Remedy.portInUse").arg(a("pid"));
        return tr("Remedy.portInUseUnknown").arg(a("port"));
    case FindingId::PortProbeFailed:
        return tr("Remedy.portProbeFailed").arg(a("port"));
    case FindingId::AddressInvalid:
    case FindingId::AddressNotLocal:
        return f.arg("local").empty() ? tr("Remedy.addressNoneLocal") : tr("Remedy.address").arg(a("local"));
    case FindingId::AddressLoopback:
        return tr("Remedy.addressLoopback");
    case FindingId::InterfaceDown:
        return tr("Remedy.interfaceDown").arg(a("interface"));
    case FindingId::InterfaceNoCarrier:
        return tr("Remedy.interfaceNoCarrier").arg(a("interface"));
    case FindingId::PrefixNarrow:
        return tr("Remedy.prefixNarrow").arg(a("interface"));
    case FindingId::SubnetShared:
        return tr("Remedy.subnetShared").arg(a("other"), a("otherAddress"));
    case FindingId::DefaultRouteElsewhere:
        return tr("Remedy.defaultRouteElsewhere").arg(a("routeInterface"));
    case FindingId::IcmpNone:
        return tr("Remedy.icmpNone").arg(a("program"));
    case FindingId::FolderMissing:
        return tr("Remedy.folderMissing");
    case FindingId::FolderEmpty:
        return tr("Remedy.folderEmpty");
    case FindingId::FirmwareImageMissing:
        return tr("Remedy.imageMissing").arg(a("image"), a("entry"));
    case FindingId::FirmwareVersionMissing:
        return tr("Remedy.versionMissing").arg(a("version"));
    case FindingId::FirmwareModelMismatch:
        return tr("Remedy.modelMismatch").arg(a("version"), code(f));
    case FindingId::FirmwareChecksumMismatch:
        return tr("Remedy.checksumMismatch").arg(a("computed"));
    case FindingId::FirmwareTooLarge:
        return tr("Remedy.tooLarge");
    case FindingId::FirmwareImageTooLarge:
        return tr("Remedy.imageTooLarge").arg(a("image"), a("limit"));
    case FindingId::EraseWithoutConfig:
        return tr("Remedy.eraseWithoutConfig").arg(status("CheckBox.clearBoot"));
    case FindingId::ConfigMissing:
    case FindingId::ConfigNotRegular:
    case FindingId::ConfigUnreadable:
        return tr("Remedy.configUnusable");
    case FindingId::ConfigTooShort:
        return tr("Remedy.configTooShort").arg(a("minimum"));
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
    return QString();
}
