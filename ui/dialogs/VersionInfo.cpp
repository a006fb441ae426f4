#include "dialogs/VersionInfo.h"

#include "ui_AboutForm.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QTranslator>

#include <memory>

VersionInfo::VersionInfo(const QString& languageFile)
    : QDialog(nullptr),
      ui(new Ui::AboutForm),
      dragging(false),
      languageFile(languageFile),
      pressPos(0, 0),
      windowPos(0, 0)
{
    ui->setupUi(this);
    dragging = false;

    ui->logo->setPixmap(QPixmap(":/Resources/Brelvo 32_32.ico"));

    if (QFileInfo::exists(this->languageFile)) {
        // Installed only for these four look-ups.
        std::unique_ptr<QTranslator> translator(new QTranslator);
        translator->load(this->languageFile);
        QCoreApplication::installTranslator(translator.get());
        ui->TitleLab->setText(tr("Title.aboutTool"));
        ui->version->setText(tr("Label.version"));
        ui->copyRight->setText(tr("Label.copyRight"));
        ui->ok->setText(tr("PushButton.ok"));
    }

    connect(ui->ok, &QPushButton::clicked, this, &VersionInfo::closeFormClicked);
    connect(ui->closeBtn, &QPushButton::clicked, this, &VersionInfo::closeFormClicked);

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
        dragging = true;
        pressPos = event->globalPos();
        windowPos = frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(event);
}

void VersionInfo::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && dragging) {
        const QPoint travel = event->globalPos() - pressPos;
        move(windowPos.x() + travel.x(), windowPos.y() + travel.y());
    }
}

void VersionInfo::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QDialog::mouseReleaseEvent(event);
}
