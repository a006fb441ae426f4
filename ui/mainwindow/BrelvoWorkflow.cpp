// Start, stop, clear and exit, and the once-a-second polling of the jobs.
#include "mainwindow/Brelvo.h"

#include "dialogs/MessageBoxDlg.h"
#include "job/JobSnapshot.h"
#include "job/JobStatus.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QBrush>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHostAddress>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidgetItem>
#include <QThread>
#include <QtEndian>

namespace {

constexpr Qt::Alignment kCellAlignment = Qt::AlignHCenter | Qt::AlignVCenter;

std::string toEngineText(const QString& text)
{
    return text.toUtf8().toStdString();
}

const char* statusKey(int code)
{
    switch (code) {
    case 0:
        return "Content.findUpServer";
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
        return "Content.sendData";
    case 6:
        return "Content.sendComplete";
    case 7:
        return "Content.checkFailed";
    case 8:
        return "Content.burnWriting";
    case 9:
        return "Content.writeComplete";
    case 10:
        return "Content.writeFailed";
    case 11:
        return "Content.netError";
    case 12:
        return "Content.modeError";
    case 13:
        return "Content.openUpFileFailed";
    case 14:
        return "Content.timeout";
    case 15:
        return "Content.stopped";
    default:
        return "Content.undefineError";
    }
}

// A device's result gives its row a colour; anything not known to be a step
// on the way (unknown codes too) counts as a failure.
Outcome outcomeOf(int status)
{
    switch (status) {
    case brelvo::Accepted:
    case brelvo::OfferSent:
    case 2:
    case brelvo::SizeSent:
    case 4:
    case brelvo::SendingBlocks:
    case 6:
    case brelvo::DeviceWriting:
        return Outcome::Running;
    case brelvo::DeviceWriteComplete:
        return Outcome::Succeeded;
    default:
        return Outcome::Failed;
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
    if (!running_) {
        int options = 0;
        if (updateBootCheck_->isChecked())
            options |= brelvo::OptionUpdateBoot;
        if (eraseBootCheck_->isChecked())
            options |= brelvo::OptionEraseBoot;

        // The operator's choices are worth keeping even when this start fails.
        rememberRun();
        const std::string address = toEngineText(localAddressBox_->currentText());
        const std::string firmwareDir = toEngineText(firmwareDirEdit_->text());
        const std::string configPath = toEngineText(configFileEdit_->text());

        const int result = server_ ? server_->start(firmwareDir, configPath, address, options) : -1;
        if (result != 0) {
            MessageBoxDlg::information(this, tr("Title.update"), tr("Content.startFailed"));
            return;
        }
        pollTimer_.start();
        running_ = true;
        setInputsEnabled(false);
        setStartButtonKey("PushButton.stopUpdate");
        return;
    }

    if (busy()) {
        const int answer =
            MessageBoxDlg::question(this, tr("Title.stopUpdate"), tr("Content.questionStopUpdate"));
        if (answer == QMessageBox::Cancel)
            return;
    }
    // The question runs its own event loop: the run may have ended (or the
    // window been shut down) while it was open.
    if (!running_ || !server_)
        return;
    server_->stop();
    startStopButton_->setEnabled(false);
    setStartButtonKey("PushButton.prepareStop");
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
    const QString content = busy() ? tr("Content.questionExit") : tr("Content.questionExitApp");
    const int answer = MessageBoxDlg::question(this, tr("Title.exit"), content);
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

QString Brelvo::statusText(int code) const
{
    return tr(statusKey(code));
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

    if (server_->isIdle()) {
        pollTimer_.stop();
        running_ = false;
        setInputsEnabled(true);
        startStopButton_->setEnabled(true);
        setStartButtonKey("PushButton.startUpdate");
    }
}
