// SPDX-License-Identifier: MIT
// Start (with its check), stop, clear and exit, the once-a-second polling of
// the jobs, and what goes into the log.
#include "mainwindow/Brelvo.h"

#include "dialogs/LogWindow.h"
#include "dialogs/MessageBoxDlg.h"
#include "mainwindow/CheckText.h"
#include "mainwindow/EventText.h"
#include "job/JobSnapshot.h"
#include "platform/ErrorText.h"
#include "record/JobStatus.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QBrush>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidgetItem>
#include <QThread>
#include <QtConcurrent>
#include <QtEndian>

#include <exception>

namespace {

constexpr Qt::Alignment kCellAlignment = Qt::AlignHCenter | Qt::AlignVCenter;

// The refusal's message box lists this many failures; the log has them all.
constexpr int kFailuresInBox = 6;

std::string toEngineText(const QString& text)
{
    return text.toUtf8().toStdString();
}

// A row's colour: a stop is no success, so it shows as a failure; a device
// another tool served is neither.
Outcome outcomeOf(int status)
{
    switch (brelvo::statusRow(status).outcome) {
    case brelvo::StatusOutcome::InProgress: return Outcome::Running;
    case brelvo::StatusOutcome::Succeeded: return Outcome::Succeeded;
    case brelvo::StatusOutcome::Elsewhere: return Outcome::Elsewhere;
    default: return Outcome::Failed;
    }
}

// A text cell the operator can select but never edit.
QTableWidgetItem* newTextCell()
{
    auto* item = new QTableWidgetItem(QString());
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    item->setTextAlignment(kCellAlignment);
    return item;
}

// Dotted text of a network-order address, "0.0.0.0" when none was lent.
QString addressText(uint32_t networkOrder)
{
    return QHostAddress(qFromBigEndian(networkOrder)).toString();
}

} // namespace

// A run is worth a question only while some device is still being served. A
// listener that is merely waiting for more devices, with every job finished,
// has nothing left to interrupt.
bool Brelvo::busy() const
{
    if (!server_ || server_->isIdle())
        return false;
    for (const brelvo::JobSnapshot& job : server_->snapshot()) {
        if (!job.finished)
            return true;
    }
    return false;
}

void Brelvo::startOrStop()
{
    if (checking_)
        return;
    if (!running_) {
        int options = 0;
        if (updateBootCheck_->isChecked())
            options |= brelvo::OptionUpdateBoot;
        if (eraseBootCheck_->isChecked())
            options |= brelvo::OptionEraseBoot;

        // The operator's choices are worth keeping even when this start fails.
        rememberRun();
        pendingStart_ = brelvo::ServerSettings();
        pendingStart_.firmwareDir = toEngineText(firmwareDirEdit_->text());
        pendingStart_.configPath = toEngineText(configFileEdit_->text());
        pendingStart_.localAddress = toEngineText(localAddressBox_->currentText());
        pendingStart_.options = options;

        brelvo::PreflightInput input;
        input.localAddress = pendingStart_.localAddress;
        input.firmwareDir = pendingStart_.firmwareDir;
        input.configPath = pendingStart_.configPath;
        input.options = options;
        input.programName = "brelvo-tool";

        // The inputs stay held from here to the end of the run, so the run
        // serves exactly what was checked.
        checking_ = true;
        setInputsEnabled(false);
        startStopButton_->setEnabled(false);
        setStartButtonKey("PushButton.checking");
        logNote(tr("Log.checking"), LogWindow::Tone::Info);
        const StartCheck check = startCheck_;
        checkWatcher_.setFuture(QtConcurrent::run([check, input] {
            CheckResult result;
            try {
                result.findings = check(input);
            } catch (const std::exception& e) {
                result.error = QString::fromUtf8(e.what());
            } catch (...) {
                result.error = QStringLiteral("?");
            }
            return result;
        }));
        return;
    }

    if (busy()) {
        // Enter keeps the devices working.
        const int answer = MessageBoxDlg::question(this, tr("Title.stopUpdate"), tr("Content.questionStopUpdate"),
                                                   MessageBoxDlg::Default::Cancel);
        if (answer == QMessageBox::Cancel)
            return;
    }
    // The question runs its own event loop: the run may have ended (or the
    // window been shut down) while it was open.
    if (!running_ || !server_)
        return;
    server_->stop();
    drainEvents();
    startStopButton_->setEnabled(false);
    setStartButtonKey("PushButton.prepareStop");
}

void Brelvo::setStartCheck(StartCheck check)
{
    startCheck_ = std::move(check);
}

void Brelvo::endChecking()
{
    checking_ = false;
    setInputsEnabled(true);
    startStopButton_->setEnabled(true);
    setStartButtonKey("PushButton.startUpdate");
}

void Brelvo::startChecked()
{
    if (!checking_)
        return;
    const CheckResult result = checkWatcher_.result();
    logFindings(result.findings);
    if (!result.error.isEmpty()) {
        endChecking();
        logNote(tr("Log.checkError").arg(result.error), LogWindow::Tone::Failure);
        MessageBoxDlg::warning(this, tr("Title.startRefused"), tr("Log.checkError").arg(result.error));
        return;
    }
    const brelvo::Severity worst = brelvo::worstSeverity(result.findings);
    if (worst == brelvo::Severity::Failure) {
        endChecking();
        logNote(tr("Log.startRefused"), LogWindow::Tone::Failure);
        MessageBoxDlg::warning(this, tr("Title.startRefused"), refusalText(result.findings));
        return;
    }
    logNote(worst == brelvo::Severity::Warning ? tr("Log.checkPassedWarnings") : tr("Log.checkPassed"),
            LogWindow::Tone::Info);
    startServer();
}

void Brelvo::startServer()
{
    if (!server_) {
        endChecking();
        return;
    }
    const bool stillEnding = server_->listenerRunning();
    const int result = server_->start(pendingStart_);
    drainEvents();
    if (result != 0) {
        endChecking();
        if (stillEnding)
            logNote(tr("Log.startFailedEnding"), LogWindow::Tone::Failure);
        else if (server_->startErrno() != 0)
            logNote(tr("Log.startFailedPort").arg(QStringLiteral("3281"),
                                                  EventText::safe(brelvo::errorTextEnglish(server_->startErrno()))),
                    LogWindow::Tone::Failure);
        else
            logNote(tr("Log.startFailed").arg(EventText::safe(server_->startError())), LogWindow::Tone::Failure);
        MessageBoxDlg::information(this, tr("Title.update"), tr("Content.startFailed"));
        return;
    }
    checking_ = false;
    droppedSaid_ = false;
    failureSaid_ = false;
    pollTimer_.start();
    running_ = true;
    startStopButton_->setEnabled(true);
    setStartButtonKey("PushButton.stopUpdate");
}

void Brelvo::logNote(const QString& text, LogWindow::Tone tone)
{
    logWindow_->addLine(0, text, tone);
}

namespace {

LogWindow::Tone toneOf(brelvo::Severity severity)
{
    switch (severity) {
    case brelvo::Severity::Warning:
        return LogWindow::Tone::Warning;
    case brelvo::Severity::Failure:
        return LogWindow::Tone::Failure;
    case brelvo::Severity::Info:
        break;
    }
    return LogWindow::Tone::Info;
}

} // namespace

void Brelvo::logFindings(const std::vector<brelvo::Finding>& findings)
{
    for (const brelvo::Finding& f : findings) {
        const QString message = CheckText::message(f);
        const QString remedy = CheckText::remedy(f);
        logNote(remedy.isEmpty() ? message : tr("Log.remedy").arg(message, remedy), toneOf(f.severity));
    }
}

// The failures of a refused start in one text: each with what to do.
QString Brelvo::refusalText(const std::vector<brelvo::Finding>& findings) const
{
    QString text = tr("Content.startRefused");
    int listed = 0, more = 0;
    for (const brelvo::Finding& f : findings) {
        if (f.severity != brelvo::Severity::Failure)
            continue;
        if (listed == kFailuresInBox) {
            ++more;
            continue;
        }
        ++listed;
        text += QStringLiteral("\n\n\u2022 ") + CheckText::message(f);
        const QString remedy = CheckText::remedy(f);
        if (!remedy.isEmpty())
            text += QStringLiteral("\n") + tr("Content.whatToDo").arg(remedy);
    }
    if (more > 0)
        text += QStringLiteral("\n\n") + tr("Content.moreFailures").arg(more);
    return text;
}

void Brelvo::showEvents(const std::vector<brelvo::Event>& events)
{
    for (const brelvo::Event& e : events) {
        LogWindow::Tone tone = toneOf(e.severity);
        if (e.kind == brelvo::EventKind::JobResult && outcomeOf(e.code) == Outcome::Succeeded)
            tone = LogWindow::Tone::Success;
        logWindow_->addLine(e.wallTimeMs, EventText::line(e), tone);
    }
}

void Brelvo::drainEvents()
{
    if (!server_)
        return;
    std::vector<brelvo::Event> events;
    server_->takeEvents(events);
    // The queue drops its oldest events: the loss lies before what is left.
    const uint64_t dropped = server_->droppedEvents();
    if (dropped > droppedSeen_) {
        if (!droppedSaid_)
            logNote(tr("Log.dropped").arg(static_cast<qulonglong>(dropped - droppedSeen_)), LogWindow::Tone::Warning);
        droppedSaid_ = true;
        droppedSeen_ = dropped;
    }
    showEvents(events);
    const std::string report = server_->reportPath();
    if (!report.empty())
        logWindow_->setReportsFolder(QFileInfo(QString::fromStdString(report)).path());
}

void Brelvo::warnAboutErase()
{
    if (!eraseBootCheck_->isChecked())
        return;
    const QString content = QStringLiteral("%1\n\n%2\n\n%3\n\n")
                                .arg(tr("Content.warn1"), tr("Content.warn2"), tr("Content.warn3"));
    MessageBoxDlg::warning(this, tr("Title.specialTip"), content);
}

void Brelvo::clearTable()
{
    if (server_)
        server_->pruneFinished();
    deviceTable_->clearContents();
    deviceTable_->setRowCount(0);
}

void Brelvo::askToExit()
{
    const bool interrupts = busy();
    const int answer = MessageBoxDlg::question(
        this, tr("Title.exit"), interrupts ? tr("Content.questionExit") : tr("Content.questionExitApp"),
        interrupts ? MessageBoxDlg::Default::Cancel : MessageBoxDlg::Default::Ok);
    if (answer == QMessageBox::Ok)
        shutdownAndExit();
}

void Brelvo::shutdownAndExit()
{
    if (server_)
        server_->pruneFinished();
    pollTimer_.stop();
    QThread::msleep(500);
    close();
    // Stop the listener and the jobs and wait for them before the process
    // goes: their threads must not run on after what they use is gone.
    server_.reset();
    if (endProcess_)
        endProcess_();
}

QString Brelvo::rowNumberText(int row)
{
    return QStringLiteral("%1").arg(row, 2, 10, QLatin1Char('0'));
}

QString Brelvo::deviceTip(const QStringList& facts) const
{
    if (facts.size() != 5)
        return QString();
    const auto known = [this](const QString& fact) { return fact.isEmpty() ? tr("Tip.unknown") : fact; };
    const QString text = tr("Tip.device").arg(facts[0], known(facts[1]), facts[2], known(facts[3]), facts[4]);
    // Escaped, so that a product code or a file name is never taken for markup.
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}

QString Brelvo::statusText(int code) const
{
    return tr(EventText::statusKey(code));
}

void Brelvo::showJobs(const std::vector<brelvo::JobSnapshot>& jobs)
{
    const int rows = static_cast<int>(jobs.size());
    const int oldRows = deviceTable_->rowCount();
    if (rows != oldRows)
        deviceTable_->setRowCount(rows);
    for (int r = oldRows; r < rows; ++r) {
        for (int c = 0; c < kColumnCount - 1; ++c)
            deviceTable_->setItem(r, c, newTextCell());
        deviceTable_->setCellWidget(r, kColumnCount - 1, new ProgressBar(nullptr));
    }

    for (int r = 0; r < rows; ++r) {
        const brelvo::JobSnapshot& job = jobs[static_cast<size_t>(r)];
        QTableWidgetItem* cells[kColumnCount - 1];
        for (int c = 0; c < kColumnCount - 1; ++c) {
            cells[c] = deviceTable_->item(r, c);
            if (!cells[c]) {
                cells[c] = newTextCell();
                deviceTable_->setItem(r, c, cells[c]);
            }
        }
        cells[0]->setText(rowNumberText(r + 1));
        cells[1]->setText(addressText(job.lentAddress));
        const QStringList facts{EventText::safe(job.productCode), EventText::mac(job.mac),
                                EventText::safe(job.imagePath),
                                job.checksumKnown ? QStringLiteral("0x%1").arg(job.checksum, 8, 16, QLatin1Char('0'))
                                                  : QString(),
                                QString::number(job.options)};
        if (cells[1]->data(Qt::UserRole).toStringList() != facts) {
            cells[1]->setData(Qt::UserRole, facts);
            cells[1]->setToolTip(deviceTip(facts));
        }
        const Outcome outcome = outcomeOf(job.status);
        if (cells[2]->data(Qt::UserRole) != QVariant(job.status)) {
            cells[2]->setData(Qt::UserRole, job.status);
            cells[2]->setText(statusText(job.status));
            const QColor colour = outcomeTextColour(outcome);
            cells[2]->setData(Qt::ForegroundRole, colour.isValid() ? QVariant(QBrush(colour)) : QVariant());
        }

        auto* bar = qobject_cast<ProgressBar*>(deviceTable_->cellWidget(r, kColumnCount - 1));
        if (!bar) {
            // Someone replaced the cell: put a bar back rather than drop the value.
            bar = new ProgressBar(nullptr);
            deviceTable_->setCellWidget(r, kColumnCount - 1, bar);
        }
        bar->setOutcome(outcome);
        if (bar->value() != job.progress) {
            // A bar repaints itself at once on a new value; held, it joins
            // the tick's one paint pass instead.
            bar->setUpdatesEnabled(false);
            bar->setValue(job.progress);
            bar->setUpdatesEnabled(true);
        }
    }
}

void Brelvo::pollJobs()
{
    if (!server_)
        return;
    showJobs(server_->snapshot());
    drainEvents();

    // A listener that failed ends the run, as brelvo-cli serve does; once
    // idle the button offers a new Start.
    if (running_ && !failureSaid_ && server_->listenerFailed()) {
        failureSaid_ = true;
        logNote(tr("Log.serverFailed"), LogWindow::Tone::Failure);
        server_->stop();
        drainEvents();
        startStopButton_->setEnabled(false);
        setStartButtonKey("PushButton.prepareStop");
    }
    if (server_->isIdle()) {
        pollTimer_.stop();
        running_ = false;
        logNote(tr("Log.runEnded"), LogWindow::Tone::Info);
        setInputsEnabled(true);
        startStopButton_->setEnabled(true);
        setStartButtonKey("PushButton.startUpdate");
    }
}
