// Message box results and size, tips page, about texts; no translator stays installed.

#include "dialogs/MessageBoxDlg.h"
#include "dialogs/VersionInfo.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

struct Seen { bool closed = false, cancelShown = false, textFits = false; QString ok, content, lookedUpMeanwhile; };

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
                 text->height() >= text->heightForWidth(text->width()), dlg->findChild<QPushButton*>("okBtn")->text(),
                 text->text(), QCoreApplication::translate("MessageBoxDlg", "PushButton.ok")};
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

class DialogsTest : public QObject
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

    void boxResult()
    {
        QFETCH(QString, kind);
        QFETCH(QString, how);
        const auto call = kind == "information" ? &MessageBoxDlg::information
                          : kind == "question"  ? &MessageBoxDlg::question
                                                : &MessageBoxDlg::warning;
        // Wraps to more lines than the form's height holds.
        const QString content = QString("1.A warning long enough to wrap over several lines of the box.\n\n").repeated(4);
        Seen seen;
        closeNextModal(how, &seen);
        QTEST(call(nullptr, "Stop Update", content, "English"), "expected");
        QVERIFY2(seen.closed, "the box stayed open");
        QVERIFY2(seen.textFits, "the message is clipped");
        QCOMPARE(seen.cancelShown, kind != "warning");
        QCOMPARE(seen.content, content);
        QCOMPARE(seen.ok, QString("OK"));
        QCOMPARE(seen.lookedUpMeanwhile, QString("PushButton.ok"));
    }

    void tipsPage_data()
    {
        QTest::addColumn<QString>("languageFile");
        QTest::addColumn<QString>("ok");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("English") << "English" << "OK"
            << QStringList{"Before You Start", "1.Make sure", "2.If it is a multi-network",
                           "3.Turn off", "4.Run Brelvo", "5.", "IMPORTANT", ":Do not interrupt"};
        QTest::newRow("missing catalogue") << "/nonexistent/English.qm" << "PushButton.ok"
            << QStringList{"Title.readBefore", "TipContent.content1", "TipContent.content2",
                           "TipContent.content3", "TipContent.content4", "TipContent.content5",
                           "TipContent.content6"};
    }

    void tipsPage()
    {
        QFETCH(QString, languageFile);
        QFETCH(QStringList, parts);
        Seen seen;
        closeNextModal("okBtn", &seen);
        MessageBoxDlg::showStartTips(nullptr, languageFile);
        QVERIFY2(seen.closed, "the tips stayed open");
        QTEST(seen.ok, "ok");
        int from = 0;
        for (const QString& part : parts) {
            from = seen.content.indexOf(part, from);
            QVERIFY2(from >= 0, qPrintable("missing or out of order: " + part));
        }
    }

    void aboutTexts_data()
    {
        QTest::addColumn<QString>("languageFile");
        QTest::addColumn<QStringList>("texts"); // title, version, copyright, OK
        QTest::newRow("English") << ":/Resources/English.qm"
            << QStringList{"About Brelvo Tool", "Brelvo Tool V2.0.0", "", "OK"};
        QTest::newRow("missing file") << "/nonexistent/English.qm" << QStringList{"", "", "", ""};
    }

    void aboutTexts()
    {
        QFETCH(QString, languageFile);
        VersionInfo about(languageFile);
        const QStringList shown{about.findChild<QLabel*>("TitleLab")->text(), about.findChild<QLabel*>("version")->text(),
                                about.findChild<QLabel*>("copyRight")->text(), about.findChild<QPushButton*>("ok")->text()};
        QTEST(shown, "texts");
        QCOMPARE(qApp->translate("VersionInfo", "PushButton.ok"), QString("PushButton.ok"));
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
