// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QPoint>

#include <memory>


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

private slots:
    void closeFormClicked();

private:
    std::unique_ptr<Ui::AboutForm> ui_;
};
