#include "mainwindow/Brelvo.h"

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
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("BrelvoClass"));
    resize(900, 600);
    setMinimumSize(QSize(900, 600));
    setMaximumSize(QSize(900, 600));
    setStyleSheet(QString());

    verticalLayout_3 = new QVBoxLayout(this);
    verticalLayout_3->setSpacing(6);
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    verticalLayout_3->setContentsMargins(0, 0, 0, 20);

    // title bar row
    topWidget = new QWidget(this);
    topWidget->setObjectName(QStringLiteral("topWidget"));
    topWidget->setMinimumSize(QSize(0, 40));
    topWidget->setMaximumSize(QSize(16777215, 40));
    horizontalLayout_6 = new QHBoxLayout(topWidget);
    horizontalLayout_6->setSpacing(10);
    horizontalLayout_6->setObjectName(QStringLiteral("horizontalLayout_6"));
    horizontalLayout_6->setContentsMargins(5, 0, 15, 0);
    logo = new QLabel(topWidget);
    logo->setObjectName(QStringLiteral("logo"));
    horizontalLayout_6->addWidget(logo);
    title = new QLabel(topWidget);
    title->setObjectName(QStringLiteral("title"));
    horizontalLayout_6->addWidget(title);
    horizontalLayout_6->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    minBtn = new QPushButton(topWidget);
    minBtn->setObjectName(QStringLiteral("minBtn"));
    minBtn->setMaximumSize(QSize(18, 18));
    horizontalLayout_6->addWidget(minBtn);
    maxBtn = new QPushButton(topWidget);
    maxBtn->setObjectName(QStringLiteral("maxBtn"));
    maxBtn->setMaximumSize(QSize(18, 18));
    horizontalLayout_6->addWidget(maxBtn);
    closeBtn = new QPushButton(topWidget);
    closeBtn->setObjectName(QStringLiteral("closeBtn"));
    closeBtn->setMaximumSize(QSize(20, 18));
    horizontalLayout_6->addWidget(closeBtn);
    verticalLayout_3->addWidget(topWidget);

    // input area
    horizontalLayout_5 = new QHBoxLayout();
    horizontalLayout_5->setSpacing(10);
    horizontalLayout_5->setObjectName(QStringLiteral("horizontalLayout_5"));
    horizontalLayout_5->setContentsMargins(20, 24, 20, -1);

    verticalLayout = new QVBoxLayout();
    verticalLayout->setSpacing(10);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    machineIp = new QLabel(this);
    machineIp->setObjectName(QStringLiteral("machineIp"));
    verticalLayout->addWidget(machineIp);
    updatePath = new QLabel(this);
    updatePath->setObjectName(QStringLiteral("updatePath"));
    verticalLayout->addWidget(updatePath);
    initPath = new QLabel(this);
    initPath->setObjectName(QStringLiteral("initPath"));
    verticalLayout->addWidget(initPath);
    verticalLayout->addItem(new QSpacerItem(20, 28, QSizePolicy::Minimum, QSizePolicy::Fixed));
    horizontalLayout_5->addLayout(verticalLayout);

    verticalLayout_2 = new QVBoxLayout();
    verticalLayout_2->setSpacing(10);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));

    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setSpacing(6);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    ipList = new ComboBox(this);
    ipList->setObjectName(QStringLiteral("ipList"));
    ipList->setMinimumSize(QSize(105, 28));
    ipList->setStyleSheet(QString());
    horizontalLayout->addWidget(ipList);
    horizontalLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    horizontalLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    languLab = new QLabel(this);
    languLab->setObjectName(QStringLiteral("languLab"));
    horizontalLayout->addWidget(languLab);
    horizontalLayout->addItem(new QSpacerItem(10, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
    languageBox = new ComboBox(this);
    languageBox->setObjectName(QStringLiteral("languageBox"));
    languageBox->setMinimumSize(QSize(0, 28));
    languageBox->setStyleSheet(QString());
    horizontalLayout->addWidget(languageBox);
    horizontalLayout->addItem(new QSpacerItem(120, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
    verticalLayout_2->addLayout(horizontalLayout);

    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setSpacing(6);
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    updateFilePath = new QLineEdit(this);
    updateFilePath->setObjectName(QStringLiteral("updateFilePath"));
    updateFilePath->setMinimumSize(QSize(0, 28));
    horizontalLayout_2->addWidget(updateFilePath);
    horizontalLayout_2->addItem(new QSpacerItem(40, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
    selectPath = new QPushButton(this);
    selectPath->setObjectName(QStringLiteral("selectPath"));
    selectPath->setMinimumSize(QSize(73, 28));
    horizontalLayout_2->addWidget(selectPath);
    verticalLayout_2->addLayout(horizontalLayout_2);

    horizontalLayout_3 = new QHBoxLayout();
    horizontalLayout_3->setSpacing(6);
    horizontalLayout_3->setObjectName(QStringLiteral("horizontalLayout_3"));
    initFilePath = new QLineEdit(this);
    initFilePath->setObjectName(QStringLiteral("initFilePath"));
    initFilePath->setMinimumSize(QSize(0, 28));
    horizontalLayout_3->addWidget(initFilePath);
    horizontalLayout_3->addItem(new QSpacerItem(40, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
    selectInitPath = new QPushButton(this);
    selectInitPath->setObjectName(QStringLiteral("selectInitPath"));
    selectInitPath->setMinimumSize(QSize(73, 28));
    selectInitPath->setStyleSheet(QString());
    horizontalLayout_3->addWidget(selectInitPath);
    verticalLayout_2->addLayout(horizontalLayout_3);

    horizontalLayout_4 = new QHBoxLayout();
    horizontalLayout_4->setSpacing(6);
    horizontalLayout_4->setObjectName(QStringLiteral("horizontalLayout_4"));
    bootCheck = new QCheckBox(this);
    bootCheck->setObjectName(QStringLiteral("bootCheck"));
    bootCheck->setChecked(true);
    horizontalLayout_4->addWidget(bootCheck);
    horizontalLayout_4->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    clearBoot = new QCheckBox(this);
    clearBoot->setObjectName(QStringLiteral("clearBoot"));
    clearBoot->setChecked(false);
    horizontalLayout_4->addWidget(clearBoot);
    horizontalLayout_4->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    startUpdate = new QPushButton(this);
    startUpdate->setObjectName(QStringLiteral("startUpdate"));
    startUpdate->setMinimumSize(QSize(73, 28));
    horizontalLayout_4->addWidget(startUpdate);
    verticalLayout_2->addLayout(horizontalLayout_4);

    horizontalLayout_5->addLayout(verticalLayout_2);
    verticalLayout_3->addLayout(horizontalLayout_5);

    // device table
    horizontalLayout_8 = new QHBoxLayout();
    horizontalLayout_8->setSpacing(0);
    horizontalLayout_8->setObjectName(QStringLiteral("horizontalLayout_8"));
    horizontalLayout_8->setContentsMargins(20, -1, 20, -1);
    tableWidget = new SWTableWidget(this);
    tableWidget->setObjectName(QStringLiteral("tableWidget"));
    tableWidget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tableWidget->setColumnCount(0);
    tableWidget->horizontalHeader()->setMinimumSectionSize(25);
    horizontalLayout_8->addWidget(tableWidget);
    verticalLayout_3->addLayout(horizontalLayout_8);

    // bottom buttons
    horizontalLayout_7 = new QHBoxLayout();
    horizontalLayout_7->setSpacing(6);
    horizontalLayout_7->setObjectName(QStringLiteral("horizontalLayout_7"));
    horizontalLayout_7->setContentsMargins(20, -1, 20, -1);
    aboutBtn = new QPushButton(this);
    aboutBtn->setObjectName(QStringLiteral("aboutBtn"));
    aboutBtn->setMinimumSize(QSize(73, 28));
    horizontalLayout_7->addWidget(aboutBtn);
    horizontalLayout_7->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    clearContent = new QPushButton(this);
    clearContent->setObjectName(QStringLiteral("clearContent"));
    clearContent->setMinimumSize(QSize(73, 28));
    horizontalLayout_7->addWidget(clearContent);
    horizontalLayout_7->addItem(new QSpacerItem(15, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
    exitBtn = new QPushButton(this);
    exitBtn->setObjectName(QStringLiteral("exitBtn"));
    exitBtn->setMinimumSize(QSize(73, 28));
    horizontalLayout_7->addWidget(exitBtn);
    verticalLayout_3->addLayout(horizontalLayout_7);

    // Placeholders until the first texts refresh; the window title and the
    // empty title-bar buttons stay as they are.
    setWindowTitle(QStringLiteral("Brelvo"));
    title->setText(QStringLiteral("WindowTitle"));
    minBtn->setText(QString());
    maxBtn->setText(QString());
    closeBtn->setText(QString());
    machineIp->setText(QStringLiteral("Label.localIp"));
    updatePath->setText(QStringLiteral("Label.uptFilePath"));
    initPath->setText(QStringLiteral("Label.iniFilePath"));
    languLab->setText(QStringLiteral("Label.Language"));
    selectPath->setText(QStringLiteral("PushButton.browse"));
    selectInitPath->setText(QStringLiteral("PushButton.browse"));
    bootCheck->setText(QStringLiteral("CheckBox.uptBoot"));
    clearBoot->setText(QStringLiteral("CheckBox.clearBoot"));
    startUpdate->setText(QStringLiteral("PushButton.update"));
    aboutBtn->setText(QStringLiteral("PushButton.aboutDlg"));
    clearContent->setText(QStringLiteral("PushButton.clearContent"));
    exitBtn->setText(QStringLiteral("PushButton.exit"));

    QMetaObject::connectSlotsByName(this);
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
