// The window without a run: texts, languages, the device table fed with job
// records that are never started, its dialogs and its frameless chrome.
#include "WindowTestSupport.h"

#include "job/UpdateJob.h"
#include "widgets/ProgressBar.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>

#include <arpa/inet.h>

namespace {

std::shared_ptr<brelvo::UpdateJob> makeJob(const char* lent)
{
    const uint8_t request[] = {'u', 'p', 'd', ':', 0, 0, 0, 0, 0, 0, 0, 7, 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    auto job = brelvo::UpdateJob::create(request, static_cast<int>(sizeof request));
    job->init("/nonexistent/kvx_ABCDEFG.bin", "", inet_addr("10.213.7.1"), htons(4100), inet_addr(lent), htons(5000), 1);
    return job;
}

QString recordedLanguage()
{
    return QSettings(QStringLiteral("server.ini"), QSettings::IniFormat).value(QStringLiteral("Language")).toString();
}

bool noCatalogueInstalled()
{
    return QCoreApplication::translate("Brelvo", "PushButton.exit") == QLatin1String("PushButton.exit");
}

// A table's headers or a box's entries, in order.
QStringList entries(QAbstractItemModel* m, Qt::Orientation o = Qt::Vertical)
{
    QStringList out;
    for (int i = 0; i < (o == Qt::Horizontal ? m->columnCount() : m->rowCount()); ++i)
        out << (o == Qt::Horizontal ? m->headerData(i, o) : m->index(i, 0).data()).toString();
    return out;
}
QStringList headers(TestWindow& w) { return entries(w.get<SWTableWidget>("tableWidget")->model(), Qt::Horizontal); }
QStringList languages(TestWindow& w) { return entries(w.get<ComboBox>("languageBox")->model()); }

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startUp();
    void switchToChinese();
    void translationsFolder();
    void tableRowsAndStatusTexts();
    void idleTickEndsTheRun();
    void eraseWarningOnTickOnly();
    void exitAsksAndOnlyOkEnds();
    void chrome();
};

void WindowTest::startUp()
{
    ModalWatcher watcher;
    TestWindow w;
    QCoreApplication::processEvents();
    QCOMPARE(watcher.seen.size(), 0);  // building the language list opens no tips page
    QCOMPARE(w.text("title"), QStringLiteral("Brelvo Tool"));
    QCOMPARE(w.text("startUpdate"), QStringLiteral("Start"));
    QCOMPARE(headers(w), (QStringList{"No.", "IP Address", "Status", "Progress"}));
    QVERIFY(w.minimumSize() == QSize(900, 600) && w.maximumSize() == QSize(900, 600));
    QVERIFY(w.get("maxBtn")->isHidden());
    QCOMPARE(languages(w), (QStringList{"English", "简体中文"}));
    for (const QString& a : entries(w.get<ComboBox>("ipList")->model()))
        QVERIFY2(a.count(QLatin1Char('.')) == 3 && !a.startsWith(QLatin1String("127.")), qPrintable(a));
    QCOMPARE(w.text("updateFilePath"), QCoreApplication::applicationDirPath());
    QVERIFY(w.text("initFilePath").isEmpty());
    QVERIFY(w.get<QCheckBox>("bootCheck")->isChecked() && !w.get<QCheckBox>("clearBoot")->isChecked());
    QVERIFY(w.inputsEnabled(true) && !w.running && !w.pollTimer.isActive());
}

void WindowTest::switchToChinese()
{
    TestWindow w;
    ModalWatcher watcher;
    w.get<ComboBox>("languageBox")->setCurrentIndex(1);
    QCOMPARE(watcher.seen.size(), 1);  // the tips page, once
    QCOMPARE(w.text("startUpdate"), QStringLiteral("开始升级"));
    QCOMPARE(w.text("exitBtn"), QStringLiteral("退出"));
    QCOMPARE(w.texts.value(QStringLiteral("startFailed")), QStringLiteral("启动失败！"));
    QCOMPARE(headers(w), (QStringList{"编号", "IP地址", "状态", "进度"}));
    QCOMPARE(w.statusText(9), QStringLiteral("烧写完成"));
    QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/简体中文.qm"));
    QVERIFY(noCatalogueInstalled());
}

void WindowTest::translationsFolder()
{
    QTemporaryDir folder;
    const auto put = [&](const char* from, const char* to) {
        return QFile::copy(QStringLiteral(":/Resources/") + QString::fromUtf8(from), folder.filePath(QLatin1String(to)));
    };
    QVERIFY(put("简体中文.qm", "de.qm") && put("English.qm", "fr.QM") && put("English.qm", "x.tar.qm"));
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("y.qm")));
    {
        TestWindow w(folder.path());
        QCOMPARE(languages(w), (QStringList{"de", "fr", "x.tar"}));
        // The first entry is applied from the folder (here: a Chinese catalogue).
        QCOMPARE(recordedLanguage(), folder.filePath(QStringLiteral("de.qm")));
        QCOMPARE(w.text("exitBtn"), QStringLiteral("退出"));
        ModalWatcher watcher;
        w.get<ComboBox>("languageBox")->setCurrentIndex(1);
        QCOMPARE(recordedLanguage(), folder.filePath(QStringLiteral("fr.QM")));
        QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
    }
    QTemporaryDir empty;
    TestWindow w(empty.path());
    QCOMPARE(languages(w), (QStringList{"English", "简体中文"}));
    QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
}

void WindowTest::tableRowsAndStatusTexts()
{
    TestWindow w;
    w.showJobs({makeJob("10.213.7.60"), nullptr, makeJob("10.213.7.61")});
    auto* table = w.get<SWTableWidget>("tableWidget");
    QCOMPARE(table->rowCount(), 2);
    const char* rows[][3] = {{"01", "10.213.7.60", "Find Update Server"}, {"02", "10.213.7.61", "Find Update Server"}};
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(table->item(r, c)->text(), QString::fromLatin1(rows[r][c]));
            QVERIFY(!(table->item(r, c)->flags() & Qt::ItemIsEditable));
        }
        auto* bar = qobject_cast<ProgressBar*>(table->cellWidget(r, 3));
        QVERIFY(bar && bar->value() == 0);
    }
    QCOMPARE(Brelvo::rowNumberText(100), QStringLiteral("100"));
    w.get<QPushButton>("clearContent")->click();
    QCOMPARE(table->rowCount(), 0);

    const QString sending = QStringLiteral("Sending Data");
    const QStringList expected{"Find Update Server", sending, sending, sending, sending, sending,
                               "Send Successfully!", "Verification Failed!", "Updating...", "Update Complete!",
                               "Update Failed!", "Network Error!", "Model Mismatch!", "Open Failed!", "Timeout!"};
    for (int code = 0; code < expected.size(); ++code)
        QCOMPARE(w.statusText(code), expected.at(code));
    QCOMPARE(w.statusText(-1), QStringLiteral("Unknown Error!"));
    QCOMPARE(w.statusText(15), QStringLiteral("Unknown Error!"));
    QVERIFY(noCatalogueInstalled());
}

void WindowTest::idleTickEndsTheRun()
{
    // A server never started is idle: the first tick ends the run.
    TestWindow w;
    w.running = true;
    w.setInputsEnabled(false);
    w.get("startUpdate")->setEnabled(false);
    w.startButtonKey = QStringLiteral("PushButton.prepareStop");
    w.pollTimer.start();
    QMetaObject::invokeMethod(&w, "onTimeOut", Qt::DirectConnection);
    QVERIFY(!w.running && !w.pollTimer.isActive() && w.inputsEnabled(true) && w.get("startUpdate")->isEnabled());
    QCOMPARE(w.text("startUpdate"), QStringLiteral("Start"));
}

void WindowTest::eraseWarningOnTickOnly()
{
    TestWindow w;
    ModalWatcher watcher;
    auto* erase = w.get<QCheckBox>("clearBoot");
    erase->click();
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Tips"));
    QVERIFY(watcher.seen.at(0).content.startsWith(QStringLiteral("1.If the device is missing a profile")));
    erase->click();  // untick
    QCOMPARE(watcher.seen.size(), 1);

    // Choosing a config file ticks the box without a warning.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("factory.cfg"));
    QVERIFY(QFile(config).open(QIODevice::WriteOnly));
    watcher.queue([&](QWidget* d) {  // typed, as selectFile() skips a focused name field
        d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(config);
        QMetaObject::invokeMethod(d, "accept");
    });
    w.get<QPushButton>("selectInitPath")->click();
    QCOMPARE(watcher.seen.size(), 2);
    QVERIFY(watcher.seen.at(1).className.contains(QStringLiteral("FileDialog")));
    QCOMPARE(w.text("initFilePath"), config);
    QVERIFY(erase->isChecked());
}

void WindowTest::exitAsksAndOnlyOkEnds()
{
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    watcher.queue(ModalWatcher::press("cancelBtn"));
    w.get<QPushButton>("closeBtn")->click();
    w.get<QPushButton>("exitBtn")->click();  // closed without an answer
    QCOMPARE(watcher.seen.size(), 2);
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Exit"));
    QCOMPARE(watcher.seen.at(0).content, QStringLiteral("Do you want to exit the Brelvo Tool?"));
    QVERIFY(w.endCalls == 0 && w.isVisible() && w.server);

    watcher.queue(ModalWatcher::press("okBtn"));
    w.get<QPushButton>("exitBtn")->click();
    QCOMPARE(w.endCalls, 1);
    QVERIFY(!w.server && !w.isVisible());
}

void WindowTest::chrome()
{
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const auto menuAt = [&](const char* name) {
        QWidget* where = w.get(name);
        const QPoint global = where->mapToGlobal(where->rect().center());
        QCursor::setPos(global);
        QStringList shown;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* a : menu ? menu->actions() : QList<QAction*>())
                shown << a->text();
            if (menu)
                menu->close();
        });
        probe.start(10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, w.mapFromGlobal(global), global);
        QApplication::sendEvent(&w, &event);
        return shown;
    };
    QCOMPARE(menuAt("topWidget"), QStringList{"About Brelvo Tool"});
    QVERIFY(menuAt("tableWidget").isEmpty());
    QVERIFY(menuAt("exitBtn").isEmpty());

    w.hide();
    w.trayIcon->show();
    emit w.trayIcon->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!w.isVisible());
    emit w.trayIcon->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(w.isVisible());
}

BRELVO_WINDOW_TEST_MAIN(WindowTest)
#include "WindowTest.moc"
