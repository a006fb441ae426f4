// Start, stop, clear and exit, and the once-a-second polling of the jobs.
#include "mainwindow/Brelvo.h"

#include "dialogs/MessageBoxDlg.h"
#include "job/UpdateJob.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidgetItem>
#include <QThread>
#include <QTranslator>

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
    default:
        return "Content.undefineError";
    }
}

// A text cell the operator can select but never edit.
QTableWidgetItem* newTextCell()
{
    auto* item = new QTableWidgetItem(QString());
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

// A run is worth a question only while some device is still being served. A
// listener that is merely waiting for more devices, with every job finished,
// has nothing left to interrupt.
bool Brelvo::busy() const
{
    if (!server_ || server_->isIdle())
        return false;
    const int n = server_->jobCount();
    for (int i = 0; i < n; ++i) {
        const std::shared_ptr<brelvo::UpdateJob> job = server_->jobAt(i);
        if (job && !job->isFinished())
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

        const std::string address = toEngineText(localAddressBox_->currentText());
        const std::string firmwareDir = toEngineText(firmwareDirEdit_->text());
        const std::string configPath = toEngineText(configFileEdit_->text());

        const int result = server_ ? server_->start(firmwareDir, configPath, address, options) : -1;
        if (result != 0) {
            MessageBoxDlg::information(this, texts_.value(QStringLiteral("update")),
                                       texts_.value(QStringLiteral("startFailed")), catalogueFile_);
            return;
        }
        pollTimer_.start();
        running_ = true;
        setInputsEnabled(false);
        startButtonKey_ = QStringLiteral("PushButton.stopUpdate");
        applyLanguage(languageBox_->currentIndex());
        return;
    }

    if (busy()) {
        const int answer = MessageBoxDlg::question(this, texts_.value(QStringLiteral("stopUpdate")),
                                                   texts_.value(QStringLiteral("questionStopUpdate")),
                                                   catalogueFile_);
        if (answer == QMessageBox::Cancel)
            return;
    }
    // The question runs its own event loop: the run may have ended (or the
    // window been shut down) while it was open.
    if (!running_ || !server_)
        return;
    server_->stop();
    startStopButton_->setEnabled(false);
    startButtonKey_ = QStringLiteral("PushButton.prepareStop");
    applyLanguage(languageBox_->currentIndex());
}

void Brelvo::warnAboutErase()
{
    if (!eraseBootCheck_->isChecked())
        return;
    const QString content = QStringLiteral("%1\n\n%2\n\n%3\n\n")
                                .arg(texts_.value(QStringLiteral("warn1")),
                                     texts_.value(QStringLiteral("warn2")),
                                     texts_.value(QStringLiteral("warn3")));
    MessageBoxDlg::warning(this, texts_.value(QStringLiteral("specialTip")), content, catalogueFile_);
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
    const QString content = busy() ? texts_.value(QStringLiteral("questionExit"))
                                   : texts_.value(QStringLiteral("questionExitApp"));
    const int answer =
        MessageBoxDlg::question(this, texts_.value(QStringLiteral("exit")), content, catalogueFile_);
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

QString Brelvo::statusText(int code)
{
    QTranslator translator;
    translator.load(catalogueFile_);
    QCoreApplication::installTranslator(&translator);
    const QString text = tr(statusKey(code));
    QCoreApplication::removeTranslator(&translator);
    return text;
}

void Brelvo::showJobs(const std::vector<std::shared_ptr<brelvo::UpdateJob>>& jobSlots)
{
    int row = 1;
    for (const auto& job : jobSlots) {
        if (!job)
            continue;
        if (row > deviceTable_->rowCount()) {
            const int oldRows = deviceTable_->rowCount();
            deviceTable_->setRowCount(row);
            deviceTable_->setColumnCount(kColumnCount);
            for (int r = oldRows; r < row; ++r) {
                for (int c = 0; c < kColumnCount - 1; ++c)
                    deviceTable_->setItem(r, c, newTextCell());
                deviceTable_->setCellWidget(r, kColumnCount - 1, new ProgressBar(nullptr));
            }
        }
        const int r = row - 1;
        for (int c = 0; c < kColumnCount - 1; ++c) {
            QTableWidgetItem* cell = deviceTable_->item(r, c);
            if (!cell) {
                cell = newTextCell();
                deviceTable_->setItem(r, c, cell);
            }
            cell->setTextAlignment(kCellAlignment);
        }
        deviceTable_->item(r, 0)->setText(rowNumberText(row));
        deviceTable_->item(r, 1)->setText(QString::fromLatin1(job->lentAddressText().c_str()));
        deviceTable_->item(r, 2)->setText(statusText(job->statusCode()));

        auto* bar = qobject_cast<ProgressBar*>(deviceTable_->cellWidget(r, kColumnCount - 1));
        if (!bar) {
            // Someone replaced the cell: put a bar back rather than drop the value.
            bar = new ProgressBar(nullptr);
            deviceTable_->setCellWidget(r, kColumnCount - 1, bar);
        }
        bar->setValue(job->progress());
        ++row;
    }
}

void Brelvo::pollJobs()
{
    if (!server_)
        return;
    std::vector<std::shared_ptr<brelvo::UpdateJob>> jobSlots;
    const int n = server_->jobCount();
    jobSlots.reserve(n > 0 ? static_cast<size_t>(n) : 0);
    for (int i = 0; i < n; ++i)
        jobSlots.push_back(server_->jobAt(i));
    showJobs(jobSlots);

    if (server_->isIdle()) {
        pollTimer_.stop();
        running_ = false;
        localAddressBox_->setEnabled(true);
        updateBootCheck_->setEnabled(true);
        eraseBootCheck_->setEnabled(true);
        firmwareDirButton_->setEnabled(true);
        configFileEdit_->setEnabled(true);
        firmwareDirEdit_->setEnabled(true);
        configFileButton_->setEnabled(true);
        startStopButton_->setEnabled(true);
        startButtonKey_ = QStringLiteral("PushButton.startUpdate");
        applyLanguage(languageBox_->currentIndex());
    }
}
