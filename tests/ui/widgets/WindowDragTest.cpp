// SPDX-License-Identifier: MIT
// Moving a frameless window with the mouse: only the left button held on
// the window itself carries it, and only while it is held.
#include "widgets/WindowDrag.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QWidget>

namespace {

// Sends what the platform would for the cursor at `global` over `target`.
void mouse(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, target->mapFromGlobal(global), global, button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class WindowDragTest : public QObject
{
    Q_OBJECT

private slots:
    void followsTheLeftButtonOnly_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("onChild");
        QTest::addColumn<bool>("moves");
        QTest::newRow("left on the window") << int(Qt::LeftButton) << false << true;
        QTest::newRow("right on the window") << int(Qt::RightButton) << false << false;
        QTest::newRow("left on a button") << int(Qt::LeftButton) << true << false;
    }

    void followsTheLeftButtonOnly()
    {
        QFETCH(int, button);
        QFETCH(bool, onChild);
        QFETCH(bool, moves);
        const auto which = Qt::MouseButton(button);
        QWidget window(nullptr, Qt::FramelessWindowHint);
        window.setGeometry(100, 100, 300, 200);
        auto* child = new QPushButton("x", &window);
        child->setGeometry(10, 10, 80, 30);
        new WindowDrag(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QWidget* target = onChild ? static_cast<QWidget*>(child) : &window;
        const QPoint start = window.frameGeometry().topLeft();
        const QPoint grab = target->mapToGlobal(QPoint(20, 15));
        mouse(target, QEvent::MouseButtonPress, grab, which, which);
        mouse(target, QEvent::MouseMove, grab + QPoint(30, 20), Qt::NoButton, which);
        QCOMPARE(window.frameGeometry().topLeft(), moves ? start + QPoint(30, 20) : start);

        // Let go: later moves leave it where it is.
        mouse(target, QEvent::MouseButtonRelease, grab + QPoint(30, 20), which, Qt::NoButton);
        const QPoint dropped = window.frameGeometry().topLeft();
        mouse(&window, QEvent::MouseMove, grab + QPoint(90, 90), Qt::NoButton, Qt::NoButton);
        QCOMPARE(window.frameGeometry().topLeft(), dropped);
    }
};

QTEST_MAIN(WindowDragTest)
#include "WindowDragTest.moc"
