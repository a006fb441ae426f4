#include "mainwindow/Brelvo.h"

#include "ui_Brelvo.h"

#include "dialogs/VersionInfo.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/SWTableWidget.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QPixmap>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

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
    , translationsDir(translationsFolder)
{
    construct();
}

Brelvo::~Brelvo()
{
    // The server's destructor stops and joins its listener and workers, so
    // none of them runs on after the window is gone.
    pollTimer.stop();
    server.reset();
}

void Brelvo::construct()
{
    // Default end of a confirmed exit: the server is already destroyed (its
    // threads joined) when this runs, so nothing is left running on freed
    // memory; flush what the engine printed and end without unwinding the
    // application, which still sits below us on the stack.
    endProcess = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };

    running = false;
    columnCount = 4;
    rowCount = 0;
    dragging = false;
    pressPos = QPoint();
    windowPos = QPoint();
    translationPath.clear();
    startButtonKey.clear();
    texts.clear();
    translationFiles.clear();

    setupUi();
    setupTable();

    trayMenu = new QMenu(topWidget);
    aboutAction = new QAction(tr("Action.about"), this);
    connect(aboutAction, &QAction::triggered, this, [this] { showAboutDialog(); });

    initControls();

    QStringList languageNames;
    languageNames << QStringLiteral("English") << QStringLiteral("简体中文");
    translationFiles << QStringLiteral("English.qm") << QStringLiteral("简体中文.qm");
    const int found = loadLanguageList(translationFiles, languageNames);

    languageBox->insertItems(0, languageNames);
    languageBox->setCurrentIndex(0);

    applyLanguage(found);
    connectSignals();

    server = std::make_unique<brelvo::UpdateServer>();
}

void Brelvo::setupUi()
{
    ui_->setupUi(this);
    verticalLayout_3 = ui_->verticalLayout_3;
    topWidget = ui_->topWidget;
    horizontalLayout_6 = ui_->horizontalLayout_6;
    logo = ui_->logo;
    title = ui_->title;
    minBtn = ui_->minBtn;
    maxBtn = ui_->maxBtn;
    closeBtn = ui_->closeBtn;
    horizontalLayout_5 = ui_->horizontalLayout_5;
    verticalLayout = ui_->verticalLayout;
    machineIp = ui_->machineIp;
    updatePath = ui_->updatePath;
    initPath = ui_->initPath;
    verticalLayout_2 = ui_->verticalLayout_2;
    horizontalLayout = ui_->horizontalLayout;
    ipList = ui_->ipList;
    languLab = ui_->languLab;
    languageBox = ui_->languageBox;
    horizontalLayout_2 = ui_->horizontalLayout_2;
    updateFilePath = ui_->updateFilePath;
    selectPath = ui_->selectPath;
    horizontalLayout_3 = ui_->horizontalLayout_3;
    initFilePath = ui_->initFilePath;
    selectInitPath = ui_->selectInitPath;
    horizontalLayout_4 = ui_->horizontalLayout_4;
    bootCheck = ui_->bootCheck;
    clearBoot = ui_->clearBoot;
    startUpdate = ui_->startUpdate;
    horizontalLayout_8 = ui_->horizontalLayout_8;
    tableWidget = ui_->tableWidget;
    horizontalLayout_7 = ui_->horizontalLayout_7;
    aboutBtn = ui_->aboutBtn;
    clearContent = ui_->clearContent;
    exitBtn = ui_->exitBtn;
}

void Brelvo::setupTable()
{
    QStringList headers;
    headers << tr("TableWt.index") << tr("TableWt.ipAddress") << tr("TableWt.status")
            << tr("TableWt.process");
    tableWidget->setRowCount(0);
    tableWidget->setColumnCount(columnCount);
    tableWidget->setHorizontalHeaderLabels(headers);
    tableWidget->setColumnWidth(0, 70);
    tableWidget->setColumnWidth(1, 150);
    tableWidget->setColumnWidth(2, 150);
    tableWidget->verticalHeader()->setVisible(false);
    tableWidget->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableWidget->horizontalHeader()->setStretchLastSection(true);
}

void Brelvo::initControls()
{
    fillLocalAddresses();
    updateFilePath->setText(QCoreApplication::applicationDirPath());

    pollTimer.setInterval(1000);
    pollTimer.setSingleShot(false);

    machineIp->setFocus(Qt::OtherFocusReason);
    ipList->clearFocus();
    maxBtn->hide();
    dragging = false;
    startButtonKey = tr("PushButton.update");

    setWindowFlags(Qt::FramelessWindowHint);
    const QIcon icon(QString::fromLatin1(kWindowIcon));
    setWindowIcon(icon);
    logo->setPixmap(QPixmap(QString::fromLatin1(kWindowIcon)));

    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setIcon(icon);
    trayIcon->setVisible(true);
}

void Brelvo::connectSignals()
{
    connect(startUpdate, &QPushButton::clicked, this, &Brelvo::startUpdateWork);
    connect(selectPath, &QPushButton::clicked, this, &Brelvo::browseUpdateFilePath);
    connect(selectInitPath, &QPushButton::clicked, this, &Brelvo::browseInitFilePath);
    connect(clearBoot, &QCheckBox::clicked, this, &Brelvo::showClearChkMessage);
    connect(clearContent, &QPushButton::clicked, this, &Brelvo::clearUpdateTable);
    connect(closeBtn, &QPushButton::clicked, this, &Brelvo::exitProgram);
    connect(exitBtn, &QPushButton::clicked, this, &Brelvo::exitProgram);
    connect(&pollTimer, &QTimer::timeout, this, &Brelvo::onTimeOut);
    connect(minBtn, &QPushButton::clicked, this, &Brelvo::miniButtonClicked);
    connect(languageBox, SIGNAL(currentIndexChanged(int)), this, SLOT(languageItemChanged(int)));
    connect(aboutBtn, &QPushButton::clicked, this, [this] { showAboutDialog(); });
    connect(trayIcon, SIGNAL(activated(QSystemTrayIcon::ActivationReason)), this,
            SLOT(onSystemTrayIconClicked(QSystemTrayIcon::ActivationReason)));
}

void Brelvo::refreshTexts()
{
    aboutAction->setText(tr("Action.about"));
    title->setText(tr("WindowTitle"));
    aboutBtn->setText(tr("PushButton.aboutDlg"));
    languLab->setText(tr("Label.Language"));
    exitBtn->setText(tr("PushButton.exit"));
    machineIp->setText(tr("Label.localIp"));
    bootCheck->setText(tr("CheckBox.uptBoot"));
    initPath->setText(tr("Label.iniFilePath"));
    updatePath->setText(tr("Label.uptFilePath"));
    clearBoot->setText(tr("CheckBox.clearBoot"));
    selectPath->setText(tr("PushButton.browse"));
    selectInitPath->setText(tr("PushButton.browse"));
    clearContent->setText(tr("PushButton.clearContent"));
    const QByteArray startKey = startButtonKey.toUtf8();
    startUpdate->setText(tr(startKey.constData()));

    texts[QStringLiteral("exit")] = tr("Title.exit");
    texts[QStringLiteral("update")] = tr("Title.update");
    texts[QStringLiteral("warn1")] = tr("Content.warn1");
    texts[QStringLiteral("warn2")] = tr("Content.warn2");
    texts[QStringLiteral("warn3")] = tr("Content.warn3");
    texts[QStringLiteral("stopUpdate")] = tr("Title.stopUpdate");
    texts[QStringLiteral("specialTip")] = tr("Title.specialTip");
    texts[QStringLiteral("startFailed")] = tr("Content.startFailed");
    texts[QStringLiteral("questionExit")] = tr("Content.questionExit");
    texts[QStringLiteral("choseUptFilePath")] = tr("Title.choseUptFilePath");
    texts[QStringLiteral("choseIniFilePath")] = tr("Title.choseIniFilePath");
    texts[QStringLiteral("questionExitApp")] = tr("Content.questionExitApp");
    texts[QStringLiteral("questionStopUpdate")] = tr("Content.questionStopUpdate");

    QStringList headers;
    headers << tr("TableWt.index") << tr("TableWt.ipAddress") << tr("TableWt.status")
            << tr("TableWt.process");
    tableWidget->setHorizontalHeaderLabels(headers);
}

void Brelvo::setInputsEnabled(bool enabled)
{
    ipList->setEnabled(enabled);
    bootCheck->setEnabled(enabled);
    clearBoot->setEnabled(enabled);
    selectPath->setEnabled(enabled);
    initFilePath->setEnabled(enabled);
    updateFilePath->setEnabled(enabled);
    selectInitPath->setEnabled(enabled);
}

void Brelvo::showAboutDialog()
{
    VersionInfo dialog(translationPath);
    dialog.exec();
}
