// SPDX-License-Identifier: MIT
#include "mainwindow/EventText.h"

#include "platform/AddressText.h"
#include "platform/ErrorText.h"
#include "platform/NeighbourTable.h"
#include "record/EventFormat.h"
#include "record/JobStatus.h"
#include "record/TextSafety.h"

using brelvo::Event;
using brelvo::EventKind;
using brelvo::IcmpMethod;

namespace {

QString port(uint16_t networkOrder)
{
    return QString::number(brelvo::netToHost16(networkOrder));
}

QString number(int64_t value)
{
    return QString::number(static_cast<qlonglong>(value));
}

QString icmpName(IcmpMethod method)
{
    return QString::fromLatin1(brelvo::icmpMethodName(method));
}

} // namespace

const char* EventText::statusKey(int code)
{
    return brelvo::statusRow(code).key;
}

QString EventText::statusText(int code)
{
    return QCoreApplication::translate("Brelvo", statusKey(code));
}

QString EventText::safe(const std::string& bytes)
{
    return QString::fromStdString(brelvo::displayText(bytes));
}

QString EventText::address(uint32_t networkOrder)
{
    return QString::fromStdString(brelvo::addressToText(networkOrder));
}

QString EventText::mac(uint64_t mac)
{
    return QString::fromStdString(brelvo::macText(mac));
}

// "#03 10.0.0.23 (aa:bb:cc:dd:ee:ff): " for a job's events, as much as is known of it.
QString EventText::jobPrefix(const Event& e)
{
    QString prefix;
    if (e.row > 0)
        prefix = QStringLiteral("#%1").arg(e.row, 2, 10, QLatin1Char('0'));
    else if (e.jobId != 0)
        prefix = tr("Log.job").arg(QString::number(e.jobId));
    if (e.address != 0)
        prefix += (prefix.isEmpty() ? QString() : QStringLiteral(" ")) + address(e.address);
    if (e.mac != 0)
        prefix += (prefix.isEmpty() ? QStringLiteral("(") : QStringLiteral(" (")) + mac(e.mac) + QStringLiteral(")");
    return prefix.isEmpty() ? prefix : prefix + QStringLiteral(": ");
}

// The device that asked, with its row once it has one: "#03 10.0.0.23".
QString EventText::requestPrefix(const Event& e)
{
    const QString row = e.row > 0 ? QStringLiteral("#%1 ").arg(e.row, 2, 10, QLatin1Char('0')) : QString();
    return row + address(e.address);
}

QString EventText::detailSuffix(const Event& e)
{
    return e.detail.empty() ? QString() : QStringLiteral(" (%1)").arg(safe(e.detail));
}

QString EventText::sweep(const Event& e)
{
    if (e.icmp == IcmpMethod::None)
        return tr("Log.sweepNoIcmp");
    if (e.value < 0)
        return tr("Log.sweepFailed").arg(icmpName(e.icmp)) + detailSuffix(e);
    if (e.value == 0)
        return tr("Log.sweepFoundNone").arg(icmpName(e.icmp));
    if (e.value == 1)
        return tr("Log.sweepFoundOne").arg(icmpName(e.icmp));
    return tr("Log.sweepFound").arg(number(e.value), icmpName(e.icmp));
}

QString EventText::line(const Event& e)
{
    const QString job = jobPrefix(e);
    switch (e.kind) {
    case EventKind::ListenerStarted:
        return e.address ? tr("Log.listeningOn").arg(port(e.port), address(e.address))
                         : tr("Log.listening").arg(port(e.port));
    case EventKind::ListenerFailed: {
        const QString error = QString::fromStdString(brelvo::errorTextEnglish(e.code));
        if (brelvo::isAddressInUse(e.code))
            return tr("Log.listenFailedInUse").arg(port(e.port), error);
        return tr("Log.listenFailed").arg(port(e.port), error) + detailSuffix(e);
    }
    case EventKind::SweepFinished:
        return sweep(e);
    case EventKind::RequestReceived:
        return tr("Log.request").arg(requestPrefix(e), safe(e.productCode));
    case EventKind::RequestMatched:
        return tr("Log.matched").arg(requestPrefix(e), safe(e.productCode), safe(e.path));
    case EventKind::RequestNoFirmware:
        return tr("Log.noFirmware").arg(requestPrefix(e), safe(e.productCode), safe(e.path)) + detailSuffix(e);
    case EventKind::RequestTableFull:
        return tr("Log.tableFull")
            .arg(requestPrefix(e), safe(e.productCode),
                 QCoreApplication::translate("Brelvo", "PushButton.clearContent"));
    case EventKind::RequestMalformed:
        return tr("Log.malformed").arg(address(e.address), number(e.value)) + detailSuffix(e);
    case EventKind::OfferSent:
        return job + (e.lentAddress ? tr("Log.offer").arg(address(e.lentAddress), port(e.jobPort))
                                    : tr("Log.offerNoAddress").arg(port(e.jobPort)));
    case EventKind::SizeSent:
        return job + tr("Log.size").arg(number(e.value));
    case EventKind::BlockPhaseStarted:
        return job + tr("Log.blocks").arg(number(e.value));
    case EventKind::BlocksResent:
        return job + (e.value == 1 ? tr("Log.resentOne").arg(QString::number(e.code))
                                   : tr("Log.resent").arg(QString::number(e.code), number(e.value)));
    case EventKind::EndSent:
        return job + tr("Log.end").arg(QStringLiteral("0x%1").arg(e.checksum, 8, 16, QLatin1Char('0')),
                                       QString::number(e.options));
    case EventKind::DeviceWriting:
        return job + tr("Log.writing").arg(number(e.value));
    case EventKind::JobResult:
        return job + statusText(e.code) + detailSuffix(e);
    case EventKind::StopRequested:
        if (e.value <= 0)
            return tr("Log.stopNone");
        return e.value == 1 ? tr("Log.stopOne") : tr("Log.stop").arg(number(e.value));
    case EventKind::JobTimedOut:
        return job + tr("Log.timedOut").arg(statusText(e.code)) + detailSuffix(e);
    case EventKind::AnotherTool:
        return tr("Log.anotherTool").arg(address(e.address), address(e.lentAddress), port(e.port));
    case EventKind::ReportFailed:
        return tr("Log.reportFailed")
            .arg(safe(e.path), QString::fromStdString(brelvo::errorTextEnglish(e.code)) + detailSuffix(e));
    case EventKind::ThreadFailed:
        if (e.thread == "listener")
            return tr("Log.listenerThreadFailed") + detailSuffix(e);
        if (e.thread == "transfer")
            return tr("Log.transferThreadFailed") + detailSuffix(e);
        if (e.thread == "report")
            return tr("Log.reportThreadFailed") + detailSuffix(e);
        if (e.thread == "resolver")
            return tr("Log.resolverThreadFailed") + detailSuffix(e);
        return tr("Log.consoleThreadFailed") + detailSuffix(e);
    case EventKind::MacLearnt:
        return job + tr("Log.macLearnt") + detailSuffix(e);
    case EventKind::MacUnknown:
        return job + tr("Log.macUnknown") + detailSuffix(e);
    case EventKind::AskedAgain:
        return job + tr("Log.askedAgain").arg(mac(e.mac), statusText(e.code), number(e.value));
    }
    return tr("Log.unknown").arg(static_cast<int>(e.kind));
}
