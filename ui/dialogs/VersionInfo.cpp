// SPDX-License-Identifier: MIT
#include "dialogs/VersionInfo.h"

#include "ui_AboutForm.h"

#include <QMouseEvent>
#include <QPixmap>

VersionInfo::VersionInfo()
    : QDialog(nullptr),
      ui_(new Ui::AboutForm),
      dragging_(false),
      dragStartCursor_(0, 0),
      dragStartWindow_(0, 0)
{
    ui_->setupUi(this);
    dragging_ = false;

    ui_->logo->setPixmap(QPixmap(":/Resources/Brelvo 32_32.ico"));

    ui_->TitleLab->setText(tr("Title.aboutTool"));
    ui_->version->setText(tr("Label.version"));
    ui_->copyRight->setText(tr("Label.copyRight"));
    ui_->ok->setText(tr("PushButton.ok"));

    connect(ui_->ok, &QPushButton::clicked, this, &VersionInfo::closeFormClicked);
    connect(ui_->closeBtn, &QPushButton::clicked, this, &VersionInfo::closeFormClicked);

    setWindowFlags(Qt::FramelessWindowHint);
}

VersionInfo::~VersionInfo() = default;

void VersionInfo::closeFormClicked()
{
    close();
}

void VersionInfo::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragStartCursor_ = event->globalPos();
        dragStartWindow_ = frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(event);
}

void VersionInfo::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && dragging_) {
        const QPoint travel = event->globalPos() - dragStartCursor_;
        move(dragStartWindow_.x() + travel.x(), dragStartWindow_.y() + travel.y());
    }
}

void VersionInfo::mouseReleaseEvent(QMouseEvent* event)
{
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}
