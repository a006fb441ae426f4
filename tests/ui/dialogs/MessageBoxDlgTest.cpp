// SPDX-License-Identifier: MIT
// The message box: which button closed it, its whole text shown as written,
// and the tips page; both take their texts from the catalogue installed in
// the application and never install or remove one themselves.
#include "dialogs/MessageBoxDlg.h"
#include "UiTestSupport.h"

#include <QMessageBox>
#include <QPushButton>

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
        ui_test::Catalogue english(QStringLiteral("English.qm"));
        ui_test::LanguageChanges changes;
        ui_test::ModalWatcher watcher;
        bool cancelShown = false, fits = false, plain = false;
        QString ok;
        watcher.queue([&](QWidget* dlg) {
            auto* text = dlg->findChild<QLabel*>("contentText");
            cancelShown = dlg->findChild<QPushButton*>("cancelBtn")->isVisible();
            fits = text->height() >= text->heightForWidth(text->width());
            plain = text->textFormat() == Qt::PlainText;
            ok = dlg->findChild<QPushButton*>("okBtn")->text();
            if (how.isEmpty())
                QTest::keyClick(dlg, Qt::Key_Escape);
            else
                dlg->findChild<QPushButton*>(how)->click();
        });
        QTEST(call(nullptr, "Stop Update", content), "expected");
        QVERIFY2(watcher.seen.size() == 1 && watcher.seen.at(0).closed, "the box stayed open");
        QVERIFY2(fits, "the message is clipped");
        QCOMPARE(cancelShown, kind != "warning");
        QVERIFY(plain && watcher.seen.at(0).content == content);
        QCOMPARE(ok, QString("OK"));
        QCOMPARE(changes.count, 0);
    }

    // Without a catalogue the keys show, each tip in its place; a tip's own
    // "%n" is shown as written, not filled in again.
    void tipsPage()
    {
        ui_test::LanguageChanges changes;
        ui_test::ModalWatcher watcher;
        QString ok;
        watcher.queue([&](QWidget* dlg) {
            ok = dlg->findChild<QPushButton*>("okBtn")->text();
            dlg->findChild<QPushButton*>("okBtn")->click();
        });
        MessageBoxDlg::showStartTips(nullptr);
        QVERIFY2(watcher.seen.size() == 1 && watcher.seen.at(0).closed, "the tips stayed open");
        QCOMPARE(ok, QStringLiteral("PushButton.ok"));
        int from = 0;
        for (const char* part : {"Title.readBefore", "TipContent.content1", "TipContent.content2",
                                 "TipContent.content3", "TipContent.content4", "TipContent.content5",
                                 "TipContent.content6"}) {
            from = watcher.seen.at(0).content.indexOf(QLatin1String(part), from);
            QVERIFY2(from >= 0, part);
        }
        QCOMPARE(changes.count, 0);
        const QString page = MessageBoxDlg::tipsPage({"one %2 %7", "two"}, "50%1");
        QVERIFY2(page.contains(QLatin1String("one %2 %7")) && page.contains(QLatin1String("50%1")), qPrintable(page));
    }
};

QTEST_MAIN(MessageBoxDlgTest)
#include "MessageBoxDlgTest.moc"
