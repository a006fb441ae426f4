// Start, stop, clear and exit, and the once-a-second polling of the jobs.
#include "mainwindow/Brelvo.h"

#include "dialogs/MessageBoxDlg.h"
#include "job/UpdateJob.h"
#include "platform/AddressText.h"
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
    if (!server || server->isIdle())
        return false;
    const int n = server->jobCount();
    for (int i = 0; i < n; ++i) {
        const std::shared_ptr<brelvo::UpdateJob> job = server->jobAt(i);
        if (job && !job->isFinished())
            return true;
    }
    return false;
}

void Brelvo::startUpdateWork()
{
    if (!running) {
        int options = 0;
        if (bootCheck->isChecked())
            options |= brelvo::OptionUpdateBoot;
        if (clearBoot->isChecked())
            options |= brelvo::OptionEraseBoot;

        const std::string address = toEngineText(ipList->currentText());
        const std::string firmwareDir = toEngineText(updateFilePath->text());
        const std::string configPath = toEngineText(initFilePath->text());

        const int result = server ? server->start(firmwareDir, configPath, address, options) : -1;
        if (result != 0) {
            MessageBoxDlg::information(this, texts.value(QStringLiteral("update")),
                                       texts.value(QStringLiteral("startFailed")), translationPath);
            return;
        }
        pollTimer.start();
        running = true;
        setInputsEnabled(false);
        startButtonKey = QStringLiteral("PushButton.stopUpdate");
        applyLanguage(languageBox->currentIndex());
        return;
    }

    if (busy()) {
        const int answer = MessageBoxDlg::question(this, texts.value(QStringLiteral("stopUpdate")),
                                                   texts.value(QStringLiteral("questionStopUpdate")),
                                                   translationPath);
        if (answer == QMessageBox::Cancel)
            return;
    }
    // The question runs its own event loop: the run may have ended (or the
    // window been shut down) while it was open.
    if (!running || !server)
        return;
    server->stop();
    startUpdate->setEnabled(false);
    startButtonKey = QStringLiteral("PushButton.prepareStop");
    applyLanguage(languageBox->currentIndex());
}

void Brelvo::showClearChkMessage()
{
    if (!clearBoot->isChecked())
        return;
    const QString content = QStringLiteral("%1\n\n%2\n\n%3\n\n")
                                .arg(texts.value(QStringLiteral("warn1")),
                                     texts.value(QStringLiteral("warn2")),
                                     texts.value(QStringLiteral("warn3")));
    MessageBoxDlg::warning(this, texts.value(QStringLiteral("specialTip")), content, translationPath);
}

void Brelvo::clearUpdateTable()
{
    if (server)
        server->pruneFinished();
    tableWidget->clearContents();
    tableWidget->setRowCount(0);
    rowCount = 0;
}

void Brelvo::exitProgram()
{
    const QString content = busy() ? texts.value(QStringLiteral("questionExit"))
                                   : texts.value(QStringLiteral("questionExitApp"));
    const int answer =
        MessageBoxDlg::question(this, texts.value(QStringLiteral("exit")), content, translationPath);
    if (answer == QMessageBox::Ok)
        shutdownAndExit();
}

void Brelvo::shutdownAndExit()
{
    if (server)
        server->pruneFinished();
    pollTimer.stop();
    QThread::msleep(500);
    close();
    // Stop the listener and the jobs and wait for them before the process
    // goes: their threads must not run on after what they use is gone.
    server.reset();
    if (endProcess)
        endProcess();
}

QString Brelvo::rowNumberText(int row)
{
    return QStringLiteral("%1").arg(row, 2, 10, QLatin1Char('0'));
}

QString Brelvo::statusText(int code)
{
    QTranslator translator;
    translator.load(translationPath);
    QCoreApplication::installTranslator(&translator);
    const QString text = tr(statusKey(code));
    QCoreApplication::removeTranslator(&translator);
    return text;
}

void Brelvo::showJobs(const std::vector<brelvo::JobSnapshot>& jobs)
{
    int row = 1;
    for (const auto& job : jobs) {
        if (row > tableWidget->rowCount()) {
            const int oldRows = tableWidget->rowCount();
            rowCount = row;
            tableWidget->setRowCount(row);
            tableWidget->setColumnCount(columnCount);
            for (int r = oldRows; r < row; ++r) {
                for (int c = 0; c < columnCount - 1; ++c)
                    tableWidget->setItem(r, c, newTextCell());
                tableWidget->setCellWidget(r, columnCount - 1, new ProgressBar(nullptr));
            }
        }
        const int r = row - 1;
        for (int c = 0; c < columnCount - 1; ++c) {
            QTableWidgetItem* cell = tableWidget->item(r, c);
            if (!cell) {
                cell = newTextCell();
                tableWidget->setItem(r, c, cell);
            }
            cell->setTextAlignment(kCellAlignment);
        }
        tableWidget->item(r, 0)->setText(rowNumberText(row));
        tableWidget->item(r, 1)->setText(QString::fromLatin1(brelvo::addressToText(job.lentAddress).c_str()));
        tableWidget->item(r, 2)->setText(statusText(job.status));

        auto* bar = qobject_cast<ProgressBar*>(tableWidget->cellWidget(r, columnCount - 1));
        if (!bar) {
            // Someone replaced the cell: put a bar back rather than drop the value.
            bar = new ProgressBar(nullptr);
            tableWidget->setCellWidget(r, columnCount - 1, bar);
        }
        bar->setValue(job.progress);
        ++row;
    }
}

void Brelvo::onTimeOut()
{
    if (!server)
        return;
    showJobs(server->snapshot());

    if (server->isIdle()) {
        pollTimer.stop();
        running = false;
        ipList->setEnabled(true);
        bootCheck->setEnabled(true);
        clearBoot->setEnabled(true);
        selectPath->setEnabled(true);
        initFilePath->setEnabled(true);
        updateFilePath->setEnabled(true);
        selectInitPath->setEnabled(true);
        startUpdate->setEnabled(true);
        startButtonKey = QStringLiteral("PushButton.startUpdate");
        applyLanguage(languageBox->currentIndex());
    }
}
