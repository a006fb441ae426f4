// SPDX-License-Identifier: MIT
// The styled combo box: the style sheet makes its list's rows taller than
// the list first placed them; they must not overlap.
#include "widgets/ComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QTest>

class ComboBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void popupRowsDoNotOverlap()
    {
        QFile sheet(":/Resources/style.qss");
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        ComboBox box;
        box.addItems({"English", "Chinese"});
        box.show();
        box.showPopup();
        const QRect first = box.view()->visualRect(box.model()->index(0, 0));
        QCOMPARE(box.view()->visualRect(box.model()->index(1, 0)).top(), first.height());
        QVERIFY(first.height() >= 28);
    }
};

QTEST_MAIN(ComboBoxTest)
#include "ComboBoxTest.moc"
