// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

#include <memory>

class QSizeGrip;

namespace Ui {
class LogWindow;
}

// The run's log: one line per happening (time, a marker for warnings and
// failures, the text), newest last, in a frameless window of the tool's dark
// look that stays open beside the main window without blocking it. It keeps
// the last kMaxLines lines, so a station serving all day does not grow
// without end. The view follows new lines unless the operator has scrolled
// up to read. Lines keep the language they were written in; the window's
// own texts follow the catalogue installed in the application.
class LogWindow : public QDialog
{
    Q_OBJECT

public:
    enum class Tone { Info, Success, Warning, Failure };
    static constexpr int kMaxLines = 5000;

    explicit LogWindow(QWidget* parent);
    ~LogWindow() override;

    // `wallTimeMs` is Unix time in milliseconds; 0 means now.
    void addLine(qint64 wallTimeMs, const QString& text, Tone tone);
    int lineCount() const;
    // Every line, each ended by '\n', as "Save as..." writes them.
    QString text() const;

    // Warnings and failures added while the window was not shown; reset
    // when it is shown.
    int unseen() const { return unseen_; }

    // Where "Open reports folder" leads: the current run report's folder.
    // Empty: the default reports folder.
    void setReportsFolder(const QString& folder);
    QString reportsFolder() const;

    // Writes text() as UTF-8 to `path`, replacing the file only once all of
    // it is written. Empty on success, else the reason.
    QString saveTo(const QString& path) const;

signals:
    void unseenChanged(int count);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void saveAs();
    void openReportsFolder();

private:
    QString markerText(Tone tone) const;
    void scrollToEnd();

    std::unique_ptr<Ui::LogWindow> ui_;
    QSizeGrip* sizeGrip_ = nullptr;
    int unseen_ = 0;
    bool empty_ = true;
    bool follow_ = true;     // the view keeps the newest line in sight
    bool appending_ = false; // scroll changes of our own making
    QString reportsFolder_;
    QString lastSaveFolder_;

};
