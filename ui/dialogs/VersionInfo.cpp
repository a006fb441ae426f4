// SPDX-License-Identifier: MIT
#include "dialogs/VersionInfo.h"

#include "ui_AboutForm.h"
#include "widgets/WindowDrag.h"

#include <QPixmap>

VersionInfo::VersionInfo()
    : QDialog(nullptr),
      ui_(new Ui::AboutForm)
{
    ui_->setupUi(this);
    new WindowDrag(this);

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
