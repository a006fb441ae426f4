#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

#include <memory>

class QMouseEvent;

namespace Ui {
class AboutForm;
}

// Frameless about dialog: title strip, program icon, version text, OK.
// Its texts come from the catalogue at languageFile; when no file exists at
// that path the texts stay empty.
class VersionInfo : public QDialog
{
    Q_OBJECT

public:
    explicit VersionInfo(const QString& languageFile);
    ~VersionInfo() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private slots:
    void closeFormClicked();

private:
    std::unique_ptr<Ui::AboutForm> ui_;
    bool dragging_;
    QString languageFile_;
    QPoint dragStartCursor_;
    QPoint dragStartWindow_;
};
