// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QPoint>

#include <memory>

class QMouseEvent;

namespace Ui {
class AboutForm;
}

// Frameless about dialog: title strip, program icon, version text, OK.
// Its texts come from the catalogue installed in the application.
class VersionInfo : public QDialog
{
    Q_OBJECT

public:
    VersionInfo();
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
    QPoint dragStartCursor_;
    QPoint dragStartWindow_;
};
