// SPDX-License-Identifier: MIT
// The message box: which button closed it, its whole text shown as written,
// and the tips page; both take their texts from the catalogue installed in
// the application and never install or remove one themselves.
#include "dialogs/MessageBoxDlg.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <memory>

namespace {

struct Seen { bool closed = false, cancelShown = false, fits = false, plain = false; QString ok, content; };

// From inside the modal loop about to start: notes what the next modal dialog
// shows, then closes it by `how` (a button's name, or "" for Escape). One that
// stays up is rejected so that the suite goes on.
void closeNextModal(const QString& how, Seen* seen)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, how, seen] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        poll->deleteLater();
        poll->stop();
        auto* text = dlg->findChild<QLabel*>("contentText");
        *seen = {false, dlg->findChild<QPushButton*>("cancelBtn")->isVisible(),
                 text->height() >= text->heightForWidth(text->width()), text->textFormat() == Qt::PlainText,
                 dlg->findChild<QPushButton*>("okBtn")->text(), text->text()};
        if (how.isEmpty())
            QTest::keyClick(dlg, Qt::Key_Escape);
        else
            dlg->findChild<QPushButton*>(how)->click();
        seen->closed = !dlg->isVisible();
        if (!seen->closed)
            dlg->reject();
    });
    poll->start(5);
}


} // namespace

class MessageBoxDlgTest : public QObject
{
    Q_OBJECT

private slots:
    void boxResult_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("expected");
        for (const char* kind : {"information", "question", "warning"}) {
            QTest::addRow("%s OK", kind) << kind << "okBtn" << int(QMessageBox::Ok);
            QTest::addRow("%s Escape", kind) << kind << "" << int(QMessageBox::Cancel);
            QTest::addRow("%s close", kind) << kind << "closeBtn" << int(QMessageBox::Cancel);
            if (QByteArray(kind) != "warning")
                QTest::addRow("%s Cancel", kind) << kind << "cancelBtn" << int(QMessageBox::Cancel);
        }
    }

    // A message wraps to more lines than the form's height holds, and may
    // carry paths and names from outside: all of it shown, never as markup.
    void boxResult()
    {
        QFETCH(QString, kind);
        QFETCH(QString, how);
        const auto call = kind == "information" ? &MessageBoxDlg::information
                          : kind == "question"  ? &MessageBoxDlg::question
                                                : &MessageBoxDlg::warning;
        const QString content = QStringLiteral("<b>/srv/fw</b> &amp; <img src=x>\n")
            + QString("1.A warning long enough to wrap over several lines of the box.\n\n").repeated(4);
        QTranslator english;
        QVERIFY(english.load(QStringLiteral(":/Resources/English.qm")));
        QCoreApplication::installTranslator(&english);
        ui_test::LanguageChanges changes;
        Seen seen;
        closeNextModal(how, &seen);
        const int result = call(nullptr, "Stop Update", content);
        const int changed = changes.count;
        QCoreApplication::removeTranslator(&english);
        QTEST(result, "expected");
        QVERIFY2(seen.closed, "the box stayed open");
        QVERIFY2(seen.fits, "the message is clipped");
        QCOMPARE(seen.cancelShown, kind != "warning");
        QVERIFY(seen.plain && seen.content == content);
        QCOMPARE(seen.ok, QString("OK"));
        QCOMPARE(changed, 0);
    }

    // Without a catalogue the keys show, each tip in its place; a tip's own
    // "%n" is shown as written, not filled in again.
    void tipsPage()
    {
        ui_test::LanguageChanges changes;
        Seen seen;
        closeNextModal("okBtn", &seen);
        MessageBoxDlg::showStartTips(nullptr);
        QVERIFY2(seen.closed, "the tips stayed open");
        QCOMPARE(seen.ok, QStringLiteral("PushButton.ok"));
        int from = 0;
        for (const char* part : {"Title.readBefore", "TipContent.content1", "TipContent.content2",
                                 "TipContent.content3", "TipContent.content4", "TipContent.content5",
                                 "TipContent.content6"}) {
            from = seen.content.indexOf(QLatin1String(part), from);
            QVERIFY2(from >= 0, part);
        }
        QCOMPARE(changes.count, 0);
        const QString page = MessageBoxDlg::tipsPage({"one %2 %7", "two"}, "50%1");
        QVERIFY2(page.contains(QLatin1String("one %2 %7")) && page.contains(QLatin1String("50%1")), qPrintable(page));
    }
};

QTEST_MAIN(MessageBoxDlgTest)
#include "MessageBoxDlgTest.moc"
