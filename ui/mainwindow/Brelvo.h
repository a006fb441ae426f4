#pragma once

#include <QMap>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QContextMenuEvent;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QMouseEvent;
class QPushButton;
class QVBoxLayout;
class ComboBox;
class SWTableWidget;

namespace Ui {
class Brelvo;
}

namespace brelvo {
class UpdateServer;
class UpdateJob;
}

// The tool's only main window: a frameless, fixed-size widget with its own
// title bar, the inputs of an update run, the device table and the bottom
// button row. It owns the one UpdateServer and polls it once a second while
// a run is active.
class Brelvo : public QWidget
{
    Q_OBJECT

public:
    explicit Brelvo(QWidget* parent = nullptr);
    ~Brelvo() override;

    // Translation of a job status code in the catalogue in force.
    QString statusText(int code);

    // "01", "02", ... "99", "100": the first column of a device row.
    static QString rowNumberText(int row);

protected:
    // Same window, but languages are looked for in `translationsDir` instead
    // of the "translations" folder beside the program.
    Brelvo(const QString& translationsDir, QWidget* parent);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // 0 when the translations folder held catalogues (both lists replaced),
    // -1 when the lists were left as they are.
    int loadLanguageList(QStringList& files, QStringList& names);
    int loadLanguageList(QStringList& files, QStringList& names, const QString& folder);
    void applyLanguage(int flag);
    void refreshTexts();
    void setInputsEnabled(bool enabled);

    // Writes one table row per occupied slot; empty slots take no row.
    void showJobs(const std::vector<std::shared_ptr<brelvo::UpdateJob>>& jobSlots);

    // The last step of a confirmed exit, after the server is gone. Ends the
    // process unless replaced.
    std::function<void()> endProcess;

private slots:
    void startUpdateWork();
    void browseInitFilePath();
    void browseUpdateFilePath();
    void showClearChkMessage();
    void clearUpdateTable();
    void exitProgram();
    void onTimeOut();
    void miniButtonClicked();
    void languageItemChanged(int flag);
    void onSystemTrayIconClicked(QSystemTrayIcon::ActivationReason reason);

private:
    void construct();
    void setupUi();
    void setupTable();
    void initControls();
    void fillLocalAddresses();
    void connectSignals();
    void showAboutDialog();
    bool busy() const;
    void shutdownAndExit();

protected:
    // widget tree
    QVBoxLayout* verticalLayout_3 = nullptr;
    QWidget* topWidget = nullptr;
    QHBoxLayout* horizontalLayout_6 = nullptr;
    QLabel* logo = nullptr;
    QLabel* title = nullptr;
    QPushButton* minBtn = nullptr;
    QPushButton* maxBtn = nullptr;
    QPushButton* closeBtn = nullptr;
    QHBoxLayout* horizontalLayout_5 = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QLabel* machineIp = nullptr;
    QLabel* updatePath = nullptr;
    QLabel* initPath = nullptr;
    QVBoxLayout* verticalLayout_2 = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    ComboBox* ipList = nullptr;
    QLabel* languLab = nullptr;
    ComboBox* languageBox = nullptr;
    QHBoxLayout* horizontalLayout_2 = nullptr;
    QLineEdit* updateFilePath = nullptr;
    QPushButton* selectPath = nullptr;
    QHBoxLayout* horizontalLayout_3 = nullptr;
    QLineEdit* initFilePath = nullptr;
    QPushButton* selectInitPath = nullptr;
    QHBoxLayout* horizontalLayout_4 = nullptr;
    QCheckBox* bootCheck = nullptr;
    QCheckBox* clearBoot = nullptr;
    QPushButton* startUpdate = nullptr;
    QHBoxLayout* horizontalLayout_8 = nullptr;
    SWTableWidget* tableWidget = nullptr;
    QHBoxLayout* horizontalLayout_7 = nullptr;
    QPushButton* aboutBtn = nullptr;
    QPushButton* clearContent = nullptr;
    QPushButton* exitBtn = nullptr;

    std::unique_ptr<brelvo::UpdateServer> server;
    QTimer pollTimer;
    bool running = false;
    bool dragging = false;
    int columnCount = 4;
    int rowCount = 0;
    QSystemTrayIcon* trayIcon = nullptr;
    QPoint pressPos;
    QPoint windowPos;
    QString translationPath;
    QString startButtonKey;
    QMap<QString, QString> texts;
    QMenu* trayMenu = nullptr;
    QAction* aboutAction = nullptr;
    QStringList translationFiles;

private:
    std::unique_ptr<Ui::Brelvo> ui_;
    QString translationsDir;
};
