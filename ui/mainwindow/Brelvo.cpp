// SPDX-License-Identifier: MIT
// The window itself: its widgets and texts, and the services a system frame
// would give (dragging, minimising to the tray, the title bar's menu).
#include "mainwindow/Brelvo.h"

#include "ui_Brelvo.h"

#include "dialogs/LogWindow.h"
#include "dialogs/VersionInfo.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/SWTableWidget.h"
#include "widgets/WindowDrag.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const kWindowIcon = ":/Resources/Brelvo 32_32.ico";

} // namespace

Brelvo::Brelvo(QWidget* parent)
    : Brelvo(QCoreApplication::applicationDirPath() + QStringLiteral("/translations"), parent)
{
}

Brelvo::Brelvo(const QString& translationsFolder, QWidget* parent)
    : QWidget(parent)
    , ui_(new Ui::Brelvo)
    , translationsDir_(translationsFolder)
{
    construct();
}

Brelvo::~Brelvo()
{
    // The server's destructor stops and joins its listener and workers, so
    // none of them runs on after the window is gone.
    pollTimer_.stop();
    server_.reset();
    // Taken out of the application while every widget it translates still
    // stands (the removal announces a language change).
    catalogue_.reset();
}

void Brelvo::construct()
{
    // Default end of a confirmed exit: the server is already destroyed (its
    // threads joined) when this runs, so nothing is left running on freed
    // memory; flush what the engine printed and end without unwinding the
    // application, which still sits below us on the stack.
    endProcess_ = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };

    setupUi();
    setupTable();

    titleBarMenu_ = new QMenu(titleBar_);
    aboutAction_ = new QAction(this);
    connect(aboutAction_, &QAction::triggered, this, [this] { showAboutDialog(); });

    initControls();

    QStringList languageNames;
    languageNames << QStringLiteral("English") << QStringLiteral("简体中文");
    catalogueFiles_ << QStringLiteral("English.qm") << QStringLiteral("简体中文.qm");
    loadLanguageList(catalogueFiles_, languageNames);

    languageBox_->insertItems(0, languageNames);
    languageBox_->setCurrentIndex(0);
    restoreLanguageChoice();
    restoreSettings();

    logWindow_ = new LogWindow(this);
    startCheck_ = [](const brelvo::PreflightInput& input) { return brelvo::runPreflightCheck(input); };

    applyLanguage();
    connectSignals();

    server_ = std::make_unique<brelvo::UpdateServer>();
}

void Brelvo::setServer(std::unique_ptr<brelvo::UpdateServer> server)
{
    if (!running_ && !checking_ && server)
        server_ = std::move(server);
}

void Brelvo::setEndProcess(std::function<void()> end)
{
    endProcess_ = std::move(end);
}

void Brelvo::setupUi()
{
    ui_->setupUi(this);
    titleBar_ = ui_->topWidget;
    logoLabel_ = ui_->logo;
    titleLabel_ = ui_->title;
    minimizeButton_ = ui_->minBtn;
    maximizeButton_ = ui_->maxBtn;
    closeButton_ = ui_->closeBtn;
    localAddressLabel_ = ui_->machineIp;
    firmwareDirLabel_ = ui_->updatePath;
    configFileLabel_ = ui_->initPath;
    localAddressBox_ = ui_->ipList;
    languageLabel_ = ui_->languLab;
    languageBox_ = ui_->languageBox;
    firmwareDirEdit_ = ui_->updateFilePath;
    firmwareDirButton_ = ui_->selectPath;
    configFileEdit_ = ui_->initFilePath;
    configFileButton_ = ui_->selectInitPath;
    updateBootCheck_ = ui_->bootCheck;
    eraseBootCheck_ = ui_->clearBoot;
    startStopButton_ = ui_->startUpdate;
    deviceTable_ = ui_->tableWidget;
    aboutButton_ = ui_->aboutBtn;
    clearButton_ = ui_->clearContent;
    logButton_ = ui_->logBtn;
    exitButton_ = ui_->exitBtn;
}

void Brelvo::setupTable()
{
    deviceTable_->setRowCount(0);
    deviceTable_->setColumnCount(kColumnCount);
    deviceTable_->setColumnWidth(0, 70);
    deviceTable_->setColumnWidth(1, 150);
    deviceTable_->setColumnWidth(2, 150);
    deviceTable_->verticalHeader()->setVisible(false);
    deviceTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    deviceTable_->horizontalHeader()->setStretchLastSection(true);
}

void Brelvo::initControls()
{
    fillLocalAddresses();
    firmwareDirEdit_->setText(QCoreApplication::applicationDirPath());

    pollTimer_.setInterval(1000);
    pollTimer_.setSingleShot(false);

    localAddressLabel_->setFocus(Qt::OtherFocusReason);
    localAddressBox_->clearFocus();
    maximizeButton_->hide();
    new WindowDrag(this);

    setWindowFlags(Qt::FramelessWindowHint);
    const QIcon icon(QString::fromLatin1(kWindowIcon));
    setWindowIcon(icon);
    logoLabel_->setPixmap(QPixmap(QString::fromLatin1(kWindowIcon)));

    trayIcon_ = new QSystemTrayIcon(this);
    trayIcon_->setIcon(icon);
    trayIcon_->setVisible(true);
}

void Brelvo::connectSignals()
{
    connect(startStopButton_, &QPushButton::clicked, this, &Brelvo::startOrStop);
    connect(firmwareDirButton_, &QPushButton::clicked, this, &Brelvo::browseFirmwareDir);
    connect(configFileButton_, &QPushButton::clicked, this, &Brelvo::browseConfigFile);
    connect(eraseBootCheck_, &QCheckBox::clicked, this, &Brelvo::warnAboutErase);
    connect(clearButton_, &QPushButton::clicked, this, &Brelvo::clearTable);
    connect(logButton_, &QPushButton::clicked, this, &Brelvo::showLog);
    connect(logWindow_, &LogWindow::unseenChanged, this, &Brelvo::updateLogButton);
    connect(&checkWatcher_, &QFutureWatcher<CheckResult>::finished, this, &Brelvo::startChecked);
    connect(closeButton_, &QPushButton::clicked, this, &Brelvo::askToExit);
    connect(exitButton_, &QPushButton::clicked, this, &Brelvo::askToExit);
    connect(&pollTimer_, &QTimer::timeout, this, &Brelvo::pollJobs);
    connect(minimizeButton_, &QPushButton::clicked, this, &Brelvo::minimizeToTray);
    connect(languageBox_, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Brelvo::languageChosen);
    connect(aboutButton_, &QPushButton::clicked, this, [this] { showAboutDialog(); });
    connect(trayIcon_, &QSystemTrayIcon::activated, this, &Brelvo::trayIconActivated);
}

void Brelvo::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void Brelvo::retranslate()
{
    ui_->retranslateUi(this);
    aboutAction_->setText(tr("Action.about"));
    startStopButton_->setText(tr(startButtonKey_));
    updateLogButton();

    QStringList headers;
    headers << tr("TableWt.index") << tr("TableWt.ipAddress") << tr("TableWt.status")
            << tr("TableWt.process");
    deviceTable_->setHorizontalHeaderLabels(headers);

    for (int r = 0; r < deviceTable_->rowCount(); ++r) {
        if (QTableWidgetItem* cell = deviceTable_->item(r, 2))
            cell->setText(statusText(cell->data(Qt::UserRole).toInt()));
        if (QTableWidgetItem* cell = deviceTable_->item(r, 1))
            cell->setToolTip(deviceTip(cell->data(Qt::UserRole).toStringList()));
    }
}

void Brelvo::setStartButtonKey(const char* key)
{
    startButtonKey_ = key;
    startStopButton_->setText(tr(key));
}

void Brelvo::setInputsEnabled(bool enabled)
{
    localAddressBox_->setEnabled(enabled);
    updateBootCheck_->setEnabled(enabled);
    eraseBootCheck_->setEnabled(enabled);
    firmwareDirButton_->setEnabled(enabled);
    configFileEdit_->setEnabled(enabled);
    firmwareDirEdit_->setEnabled(enabled);
    configFileButton_->setEnabled(enabled);
}

void Brelvo::showAboutDialog()
{
    VersionInfo dialog;
    dialog.exec();
}

void Brelvo::showLog()
{
    logWindow_->show();
    logWindow_->raise();
    logWindow_->activateWindow();
}

// "Log", or "Log (3)" while warnings and failures wait unseen.
void Brelvo::updateLogButton()
{
    const int unseen = logWindow_ ? logWindow_->unseen() : 0;
    logButton_->setText(unseen > 0 ? tr("PushButton.logCount").arg(unseen) : tr("PushButton.log"));
}

void Brelvo::contextMenuEvent(QContextMenuEvent* event)
{
    titleBarMenu_->clear();
    titleBarMenu_->addAction(aboutAction_);
    const QPoint cursor = QCursor::pos();
    if (titleBar_->geometry().contains(mapFromGlobal(cursor)))
        titleBarMenu_->exec(cursor);
    event->accept();
}

void Brelvo::minimizeToTray()
{
    // Without a tray there would be no way back to a hidden window.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    trayIcon_->setVisible(true);
}

void Brelvo::trayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    show();
    trayIcon_->hide();
}
