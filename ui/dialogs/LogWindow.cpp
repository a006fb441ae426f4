// SPDX-License-Identifier: MIT
#include "dialogs/LogWindow.h"

#include "ui_LogWindow.h"

#include "dialogs/MessageBoxDlg.h"
#include "record/RunReport.h"
#include "widgets/Outcome.h"
#include "widgets/WindowDrag.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QSaveFile>
#include <QScrollBar>
#include <QSizeGrip>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>

namespace {

// On the log's ground (#0b121e) the amber reads at about 11:1; green and red
// are the device table's result colours.
const QColor kWarningColour(0xf0, 0xc0, 0x60);

} // namespace

LogWindow::LogWindow(QWidget* parent)
    : QDialog(parent), ui_(new Ui::LogWindow)
{
    ui_->setupUi(this);
    new WindowDrag(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(QStringLiteral(":/Resources/Brelvo 32_32.ico")));
    setModal(false);

    ui_->logText->setMaximumBlockCount(kMaxLines);
    ui_->logText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ui_->logText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // A frameless window has no edges to pull: the grip in the corner resizes it.
    sizeGrip_ = new QSizeGrip(this);
    sizeGrip_->setObjectName(QStringLiteral("logSizeGrip"));
    sizeGrip_->resize(sizeGrip_->sizeHint());

    QScrollBar* bar = ui_->logText->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!appending_)
            follow_ = value >= bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this] {
        if (follow_)
            scrollToEnd();
    });
    connect(ui_->closeBtn, &QPushButton::clicked, this, &QDialog::close);
    connect(ui_->saveAsBtn, &QPushButton::clicked, this, &LogWindow::saveAs);
    connect(ui_->reportsBtn, &QPushButton::clicked, this, &LogWindow::openReportsFolder);
}

LogWindow::~LogWindow() = default;

QString LogWindow::markerText(Tone tone) const
{
    switch (tone) {
    case Tone::Warning:
        return tr("Log.warningMark");
    case Tone::Failure:
        return tr("Log.failureMark");
    case Tone::Info:
    case Tone::Success:
        break;
    }
    return QString();
}

void LogWindow::addLine(qint64 wallTimeMs, const QString& text, Tone tone)
{
    const QDateTime when =
        wallTimeMs > 0 ? QDateTime::fromMSecsSinceEpoch(wallTimeMs) : QDateTime::currentDateTime();
    QString line = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral("  ");
    const QString marker = markerText(tone);
    if (!marker.isEmpty())
        line += marker + QLatin1Char(' ');
    // One event, one line: whatever a translation or an argument holds.
    QString body = text;
    body.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    line += body;

    QTextCharFormat format;
    switch (tone) {
    case Tone::Warning:
        format.setForeground(kWarningColour);
        break;
    case Tone::Failure:
        format.setForeground(outcomeTextColour(Outcome::Failed));
        break;
    case Tone::Success:
        format.setForeground(outcomeTextColour(Outcome::Succeeded));
        break;
    case Tone::Info:
        break;
    }

    appending_ = true;
    QTextCursor cursor(ui_->logText->document());
    cursor.movePosition(QTextCursor::End);
    if (!empty_)
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertText(line, format);
    empty_ = false;
    if (follow_)
        scrollToEnd();
    appending_ = false;

    if ((tone == Tone::Warning || tone == Tone::Failure) && !isVisible()) {
        ++unseen_;
        emit unseenChanged(unseen_);
    }
}

void LogWindow::scrollToEnd()
{
    const bool wasAppending = appending_;
    appending_ = true;
    QScrollBar* bar = ui_->logText->verticalScrollBar();
    bar->setValue(bar->maximum());
    appending_ = wasAppending;
}

int LogWindow::lineCount() const
{
    return empty_ ? 0 : ui_->logText->document()->blockCount();
}

QString LogWindow::text() const
{
    QString all;
    for (QTextBlock b = ui_->logText->document()->firstBlock(); b.isValid() && !empty_; b = b.next())
        all += b.text() + QLatin1Char('\n');
    return all;
}

void LogWindow::setReportsFolder(const QString& folder)
{
    reportsFolder_ = folder;
}

QString LogWindow::reportsFolder() const
{
    return reportsFolder_.isEmpty() ? QString::fromStdString(brelvo::RunReport::defaultFolder()) : reportsFolder_;
}

QString LogWindow::saveTo(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray bytes = text().toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

void LogWindow::saveAs()
{
    QString folder = lastSaveFolder_;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QFileInfo(reportsFolder()).isDir() ? reportsFolder() : QDir::homePath();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString name = QStringLiteral("brelvo-log-%1.txt").arg(stamp);
    const QString filters =
        tr("Filter.textFiles") + QStringLiteral(";;") + QCoreApplication::translate("Brelvo", "Filter.allFiles");
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Title.saveLog"), folder + QLatin1Char('/') + name, filters);
    if (path.isEmpty())
        return;
    lastSaveFolder_ = QFileInfo(path).path();
    const QString error = saveTo(path);
    if (!error.isEmpty())
        MessageBoxDlg::warning(this, tr("Title.log"), tr("Content.saveFailed").arg(path, error));
}

void LogWindow::openReportsFolder()
{
    const QString folder = reportsFolder();
    if (folder.isEmpty()) {
        MessageBoxDlg::warning(this, tr("Title.log"), tr("Content.noReportsFolder"));
        return;
    }
    if (!QDir().mkpath(folder) || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        MessageBoxDlg::warning(this, tr("Title.log"), tr("Content.openFolderFailed").arg(folder));
}

void LogWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        ui_->retranslateUi(this);
    QDialog::changeEvent(event);
}

void LogWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (follow_)
        scrollToEnd();
    if (unseen_ != 0) {
        unseen_ = 0;
        emit unseenChanged(0);
    }
}

void LogWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    sizeGrip_->move(width() - sizeGrip_->width(), height() - sizeGrip_->height());
    sizeGrip_->raise();
}
