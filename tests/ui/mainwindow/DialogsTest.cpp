// What the window asks and shows: the erase warning, the browse dialogs,
// the exit question, the about dialog; and its own chrome: title-bar menu,
// dragging, minimising and the tray icon.
#include "WindowTestSupport.h"

#include "widgets/ComboBox.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kWarnings = QStringLiteral(
    "1.If the device is missing a profile, it will fail to start!\n\n"
    "2.After erasing the partition, it can still start normally, but the user data will be lost.\n\n"
    "3.Erasing partitions is not recommended without professional!\n\n");

QPushButton* button(QWidget& w, const char* name)
{
    return w.findChild<QPushButton*>(QLatin1String(name));
}

// Sends a context-menu event to the window with the cursor over `where`;
// returns the texts of the actions of the menu that popped up (if any).
QStringList contextMenuAt(TestWindow& w, QWidget* where)
{
    const QPoint global = where->mapToGlobal(where->rect().center());
    QCursor::setPos(global);
    QStringList shown;
    bool popped = false;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            popped = true;
            for (QAction* a : menu->actions())
                shown << a->text();
            menu->close();
        }
    });
    probe.start();
    QContextMenuEvent event(QContextMenuEvent::Mouse, w.mapFromGlobal(global), global);
    QApplication::sendEvent(&w, &event);
    probe.stop();
    if (!popped)
        return {};
    return shown;
}

// `global` is a screen position; the window may have moved since the press.
void sendMouse(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, target->mapFromGlobal(global), global, button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void eraseWarningOnTickOnly();
    void chosenConfigTicksEraseSilently();
    void cancelledConfigChangesNothing();
    void firmwareFolderPicker();
    void exitAsksAndCancelKeepsRunning_data();
    void exitAsksAndCancelKeepsRunning();
    void confirmedExitStopsEverything();
    void aboutFromButtonAndMenu();
    void contextMenuOnlyOnTitleBar();
    void dragMovesWindow();
    void minimiseAndTray();
};

void DialogsTest::eraseWarningOnTickOnly()
{
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    auto* clearBoot = w.findChild<QCheckBox*>(QStringLiteral("clearBoot"));

    watcher.queue(ModalWatcher::press("okBtn"));
    clearBoot->click();  // tick
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).className, QStringLiteral("MessageBoxDlg"));
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Tips"));
    QCOMPARE(watcher.seen.at(0).content, kWarnings);
    QVERIFY(!watcher.seen.at(0).cancelVisible);
    QVERIFY(clearBoot->isChecked());

    clearBoot->click();  // untick: no warning
    QCOMPARE(watcher.seen.size(), 1);
    QVERIFY(!clearBoot->isChecked());

    clearBoot->click();  // tick again, closed without OK: the tick stays
    QCOMPARE(watcher.seen.size(), 2);
    QVERIFY(clearBoot->isChecked());
}

void DialogsTest::chosenConfigTicksEraseSilently()
{
    TestWindow w;
    w.show();
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("factory.cfg"));
    {
        QFile f(config);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("cfg");
    }
    ModalWatcher watcher;
    watcher.queue(ModalWatcher::choose(config));
    button(w, "selectInitPath")->click();

    QCOMPARE(watcher.seen.size(), 1);  // the file dialog only, no warning
    QCOMPARE(watcher.seen.at(0).windowTitle, QStringLiteral("Select Configuration"));
    QCOMPARE(watcher.fileDialogDirectories.value(0), QStringLiteral("/"));
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("initFilePath"))->text(), config);
    QVERIFY(w.findChild<QCheckBox*>(QStringLiteral("clearBoot"))->isChecked());
}

void DialogsTest::cancelledConfigChangesNothing()
{
    TestWindow w;
    ModalWatcher watcher;
    watcher.queue(ModalWatcher::choose(QString()));
    button(w, "selectInitPath")->click();
    QCOMPARE(watcher.seen.size(), 1);
    QVERIFY(w.findChild<QLineEdit*>(QStringLiteral("initFilePath"))->text().isEmpty());
    QVERIFY(!w.findChild<QCheckBox*>(QStringLiteral("clearBoot"))->isChecked());
}

void DialogsTest::firmwareFolderPicker()
{
    TestWindow w;
    QTemporaryDir firmware;
    auto* field = w.findChild<QLineEdit*>(QStringLiteral("updateFilePath"));
    const QString before = field->text();

    ModalWatcher watcher;
    watcher.queue(ModalWatcher::choose(QString()));
    button(w, "selectPath")->click();
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).windowTitle, QStringLiteral("Select Firmware"));
    // It opens in the working directory.
    QCOMPARE(watcher.fileDialogDirectories.value(0), QDir::current().absolutePath());
    QCOMPARE(field->text(), before);

    watcher.queue(ModalWatcher::choose(firmware.path()));
    button(w, "selectPath")->click();
    QCOMPARE(watcher.seen.size(), 2);
    QCOMPARE(QDir(field->text()).canonicalPath(), QDir(firmware.path()).canonicalPath());
}

void DialogsTest::exitAsksAndCancelKeepsRunning_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("answer");
    QTest::newRow("exit button, cancel") << "exitBtn" << "cancelBtn";
    QTest::newRow("close button, cancel") << "closeBtn" << "cancelBtn";
    QTest::newRow("exit button, escape") << "exitBtn" << "";
}

void DialogsTest::exitAsksAndCancelKeepsRunning()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, answer);
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    if (answer.isEmpty()) {
        watcher.queue([](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); });
    } else {
        const QByteArray name = answer.toLatin1();
        watcher.queue([name](QWidget* d) {
            d->findChild<QPushButton*>(QLatin1String(name))->click();
        });
    }
    button(w, qPrintable(buttonName))->click();

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Exit"));
    QCOMPARE(watcher.seen.at(0).content, QStringLiteral("Do you want to exit the Brelvo Tool?"));
    QVERIFY(watcher.seen.at(0).cancelVisible);
    QCOMPARE(w.endCalls, 0);
    QVERIFY(w.isVisible());
    QVERIFY(w.server);
}

void DialogsTest::confirmedExitStopsEverything()
{
    TestWindow w;
    w.show();
    w.pollTimer.start();
    ModalWatcher watcher;
    watcher.queue(ModalWatcher::press("okBtn"));
    button(w, "exitBtn")->click();
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(w.endCalls, 1);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.pollTimer.isActive());
    QVERIFY(!w.server);  // stopped and gone before the end of the process
    // Nothing left to poll; a stray tick must not touch the missing server.
    w.call("onTimeOut");
}

void DialogsTest::aboutFromButtonAndMenu()
{
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    button(w, "aboutBtn")->click();
    w.aboutAction->trigger();
    QCOMPARE(watcher.seen.size(), 2);
    for (const SeenDialog& seen : watcher.seen) {
        QCOMPARE(seen.className, QStringLiteral("VersionInfo"));
        QCOMPARE(seen.title, QStringLiteral("About Brelvo Tool"));
    }

    // In the other language the same dialog follows it.
    watcher.queue(ModalWatcher::press("okBtn"));  // the tips page
    w.findChild<ComboBox*>(QStringLiteral("languageBox"))->setCurrentIndex(1);
    button(w, "aboutBtn")->click();
    QCOMPARE(watcher.seen.size(), 4);
    QCOMPARE(watcher.seen.at(3).title, QStringLiteral("关于 Brelvo Tool"));
}

void DialogsTest::contextMenuOnlyOnTitleBar()
{
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* top = w.findChild<QWidget*>(QStringLiteral("topWidget"));
    QCOMPARE(contextMenuAt(w, top), QStringList{"About Brelvo Tool"});
    // Rebuilt on every event: still one entry the second time.
    QCOMPARE(contextMenuAt(w, top), QStringList{"About Brelvo Tool"});
    QCOMPARE(w.trayMenu->parent(), top);

    for (const char* elsewhere : {"tableWidget", "updateFilePath", "exitBtn", "machineIp"})
        QVERIFY2(contextMenuAt(w, w.findChild<QWidget*>(QLatin1String(elsewhere))).isEmpty(),
                 elsewhere);
}

void DialogsTest::dragMovesWindow()
{
    TestWindow w;
    w.move(100, 100);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPoint start = w.pos();
    const QPoint grip = w.mapToGlobal(QPoint(300, 20));  // on the title bar row

    sendMouse(&w, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(w.dragging);
    sendMouse(&w, QEvent::MouseMove, grip + QPoint(30, 40), Qt::NoButton, Qt::LeftButton);
    QTRY_COMPARE(w.pos(), start + QPoint(30, 40));
    sendMouse(&w, QEvent::MouseMove, grip + QPoint(-10, 5), Qt::NoButton, Qt::LeftButton);
    // Positions are taken from the press, not accumulated.
    QTRY_COMPARE(w.pos(), start + QPoint(-10, 5));
    sendMouse(&w, QEvent::MouseButtonRelease, grip + QPoint(-10, 5), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!w.dragging);
    const QPoint released = w.pos();

    // After the release, or with only the right button held, nothing moves.
    sendMouse(&w, QEvent::MouseMove, grip + QPoint(50, 50), Qt::NoButton, Qt::LeftButton);
    sendMouse(&w, QEvent::MouseButtonPress, grip, Qt::RightButton, Qt::RightButton);
    QVERIFY(!w.dragging);
    sendMouse(&w, QEvent::MouseMove, grip + QPoint(70, 70), Qt::NoButton, Qt::RightButton);
    QCoreApplication::processEvents();
    QCOMPARE(w.pos(), released);
}

void DialogsTest::minimiseAndTray()
{
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    button(w, "minBtn")->click();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        QVERIFY(!w.isVisible());
        QVERIFY(w.trayIcon->isVisible());
    } else {
        // No tray to come back from: an ordinary minimise instead of hiding.
        QVERIFY(w.isVisible());
        QTRY_VERIFY(w.windowState() & Qt::WindowMinimized);
        w.showNormal();
    }

    // Restoring through the tray icon's signal, as the system would send it.
    w.hide();
    w.trayIcon->show();
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick,
                        QSystemTrayIcon::Unknown}) {
        emit w.trayIcon->activated(reason);
        QVERIFY(!w.isVisible());
        QVERIFY(w.trayIcon->isVisible());
    }
    emit w.trayIcon->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(w.isVisible());
    QVERIFY(!w.trayIcon->isVisible());
}

BRELVO_WINDOW_TEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
