// SPDX-License-Identifier: MIT
#pragma once

#include <QFutureWatcher>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include "check/Finding.h"
#include "dialogs/LogWindow.h"
#include "check/PreflightCheck.h"
#include "record/Event.h"
#include "server/ServerSettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QContextMenuEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSettings;
class QTranslator;
class ComboBox;
class SWTableWidget;

namespace Ui {
class Brelvo;
}

namespace brelvo {
class UpdateServer;
struct JobSnapshot;
}

// The tool's only main window: a frameless, fixed-size widget with its own
// title bar, the inputs of an update run, the device table and the bottom
// button row. It owns the one UpdateServer and polls it once a second while
// a run is active; every poll also moves the engine's events into the log
// window.
//
// Start first runs the pre-flight check on a worker thread (it reads the
// whole firmware folder); the button reads "Checking..." and the inputs are
// held meanwhile, the event loop runs on. Every finding goes to the log; a
// failure refuses the start with one message box that lists them.
//
// Texts: the window installs the chosen catalogue into the application when
// a language is applied, and every widget, the device table's status cells
// included, takes its texts again on the LanguageChange that follows. A tick
// only looks texts up in the catalogue already installed.
class Brelvo : public QWidget
{
    Q_OBJECT

public:
    explicit Brelvo(QWidget* parent = nullptr);
    ~Brelvo() override;

    // Translation of a job status code in the catalogue in force. Virtual
    // only so that a benchmark can put a costlier look-up in its place.
    virtual QString statusText(int code) const;

    // "01", "02", ... "99", "100": the first column of a device row.
    static QString rowNumberText(int row);
    // The address cell's tooltip: what identifies the unit and what it was
    // sent (product code, hardware address, image, checksum, options).
    QString deviceTip(const QStringList& facts) const;

protected:
    // Same window, but languages are looked for in `translationsDir` instead
    // of the "translations" folder beside the program.
    Brelvo(const QString& translationsDir, QWidget* parent);

    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // 0 when the translations folder held catalogues (both lists replaced),
    // -1 when the lists were left as they are.
    int loadLanguageList(QStringList& files, QStringList& names);
    int loadLanguageList(QStringList& files, QStringList& names, const QString& folder);
    // Installs the catalogue of the language box's entry in place of the one
    // before; every text follows before this returns.
    void applyLanguage();
    void setInputsEnabled(bool enabled);

    // Puts back the remembered firmware folder, configuration file and
    // local address where they still fit (the language is put back before
    // it is first applied).
    void restoreSettings();

    // One table row per job, in the engine's order; rows beyond the last job
    // go. The status cell keeps its code, so a language change can rewrite
    // the texts without waiting for the next tick.
    void showJobs(const std::vector<brelvo::JobSnapshot>& jobs);

    // Replaces the last step of a confirmed exit (by default the process
    // ends there), for a caller that must survive it.
    void setEndProcess(std::function<void()> end);

    // Writes the engine's events into the log, newest last.
    void showEvents(const std::vector<brelvo::Event>& events);

    // The check Start runs before starting, called on a worker thread (so it
    // may touch nothing of the window). By default the full pre-flight check.
    using StartCheck = std::function<std::vector<brelvo::Finding>(const brelvo::PreflightInput&)>;
    void setStartCheck(StartCheck check);

    // What a subclass may look at.
    bool isRunning() const { return running_; }
    bool isPolling() const { return pollTimer_.isActive(); }
    bool isChecking() const { return checking_; }
    LogWindow* logWindow() const { return logWindow_; }
    brelvo::UpdateServer* server() const { return server_.get(); }
    // Serves with `server` from the next Start on (no run may be going).
    void setServer(std::unique_ptr<brelvo::UpdateServer> server);
    QSystemTrayIcon* trayIcon() const { return trayIcon_; }

private slots:
    void startOrStop();
    void browseConfigFile();
    void browseFirmwareDir();
    void warnAboutErase();
    void clearTable();
    void askToExit();
    void pollJobs();
    void startChecked();
    void showLog();
    void updateLogButton();
    void minimizeToTray();
    void languageChosen();
    void trayIconActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void construct();
    void setupUi();
    void setupTable();
    void initControls();
    void fillLocalAddresses();
    void connectSignals();
    void retranslate();
    // The user's settings file.
    static std::unique_ptr<QSettings> openUserSettings();
    void restoreLanguageChoice();
    void rememberRun();
    void rememberLanguage();
    void rememberLanguage(QSettings& settings);
    void rememberPickedFolder(const QString& folder);
    QString pickerStartFolder(const QString& fieldFolder) const;
    void setStartButtonKey(const char* key);
    void showAboutDialog();
    bool busy() const;
    // Takes the engine's events into the log, and says once per run when
    // the engine had to drop some because the window fell behind.
    void drainEvents();
    void logNote(const QString& text, LogWindow::Tone tone);
    void logFindings(const std::vector<brelvo::Finding>& findings);
    QString refusalText(const std::vector<brelvo::Finding>& findings) const;
    void startServer();
    void endChecking();
    void shutdownAndExit();

    static constexpr int kColumnCount = 4;

    // The generated form, and handles on its widgets named after what they
    // hold. The widgets' object names (what the style sheet and the tests
    // select by) are the form's own.
    std::unique_ptr<Ui::Brelvo> ui_;
    QWidget* titleBar_ = nullptr;
    QLabel* logoLabel_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QPushButton* minimizeButton_ = nullptr;
    QPushButton* maximizeButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QLabel* localAddressLabel_ = nullptr;
    QLabel* firmwareDirLabel_ = nullptr;
    QLabel* configFileLabel_ = nullptr;
    ComboBox* localAddressBox_ = nullptr;
    QLabel* languageLabel_ = nullptr;
    ComboBox* languageBox_ = nullptr;
    QLineEdit* firmwareDirEdit_ = nullptr;
    QPushButton* firmwareDirButton_ = nullptr;
    QLineEdit* configFileEdit_ = nullptr;
    QPushButton* configFileButton_ = nullptr;
    QCheckBox* updateBootCheck_ = nullptr;
    QCheckBox* eraseBootCheck_ = nullptr;
    QPushButton* startStopButton_ = nullptr;
    SWTableWidget* deviceTable_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* logButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QMenu* titleBarMenu_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QSystemTrayIcon* trayIcon_ = nullptr;
    LogWindow* logWindow_ = nullptr;

    std::unique_ptr<brelvo::UpdateServer> server_;
    QTimer pollTimer_;
    bool running_ = false;
    std::function<void()> endProcess_;

    // The check of a pressed Start, and what that Start will serve with.
    struct CheckResult {
        std::vector<brelvo::Finding> findings;
        QString error;  // the check itself failed: why
    };
    StartCheck startCheck_;
    QFutureWatcher<CheckResult> checkWatcher_;
    bool checking_ = false;
    brelvo::ServerSettings pendingStart_;

    uint64_t droppedSeen_ = 0;  // the engine's count of dropped events, as last read
    bool droppedSaid_ = false;  // this run's log already says events were lost
    bool failureSaid_ = false;  // this run's log already says its listener failed

    QString lastFolder_;  // the file pickers' last folder

    QString translationsDir_;
    QStringList catalogueFiles_;  // one per entry of the language box
    QString catalogueFile_;       // the one in force: a path or a resource
    std::unique_ptr<QTranslator> catalogue_;  // installed in the application
    const char* startButtonKey_ = "PushButton.update";
};
