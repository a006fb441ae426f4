// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <memory>


namespace Ui {
class MessageBox;
}

// The tool's own frameless message box, and the start-up tips page shown in
// it. Each static call runs one modal showing and tells the caller which
// button closed it: QMessageBox::Ok after OK, QMessageBox::Cancel otherwise.
// The box's own captions and the tips come from the catalogue installed in
// the application (the window installs the chosen one).
class MessageBoxDlg : public QDialog
{
    Q_OBJECT

public:
    explicit MessageBoxDlg(QWidget* parent);
    ~MessageBoxDlg() override;

    // The button Enter presses, drawn as the default: Cancel for a question
    // whose OK would interrupt devices at work.
    enum class Default { Ok, Cancel };

    static int information(QWidget* parent, const QString& title, const QString& content);
    static int question(QWidget* parent, const QString& title, const QString& content,
                        Default enter = Default::Ok);
    static int warning(QWidget* parent, const QString& title, const QString& content);
    static void showStartTips(QWidget* parent);

    // The tips page before its texts are filled in: %1..%4 the numbered tips,
    // %5 the red word of the fifth, %6 the rest of it, %7 the heading.
    static QString tipsTemplate();
    // Fills the template in one pass, so a translated text that happens to
    // contain "%n" is shown as written instead of being substituted again.
    // contents holds the six tip texts; missing ones are left empty.
    static QString tipsPage(const QStringList& contents, const QString& heading);

protected:

private:
    static int showBox(QWidget* parent, const QString& title, const QString& content,
                       const QString& iconPath, bool withCancel, Default enter);
    void loadTexts();

    std::unique_ptr<Ui::MessageBox> ui_;
    int clickedButton_;
};
