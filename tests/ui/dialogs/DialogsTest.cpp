// Message box results, tips page, catalogues and translators, about texts, dragging.

#include "dialogs/MessageBoxDlg.h"
#include "dialogs/VersionInfo.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString kEnglish = ":/Resources/English.qm";

struct Seen { bool closed = false, cancelShown = false; QString ok, content, lookedUpMeanwhile; };

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
        poll->stop();
        poll->deleteLater();
        seen->ok = dlg->findChild<QPushButton*>("okBtn")->text();
        seen->cancelShown = dlg->findChild<QPushButton*>("cancelBtn")->isVisible();
        seen->content = dlg->findChild<QLabel*>("contentText")->text();
        seen->lookedUpMeanwhile = QCoreApplication::translate("MessageBoxDlg", "PushButton.ok");
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
        Seen seen;
        closeNextModal(how, &seen);
        QTEST(call(nullptr, "Stop Update", "1.first\n\n2.second", "English"), "expected");
        QVERIFY2(seen.closed, "the box stayed open");
        QCOMPARE(seen.cancelShown, kind != "warning");
        QCOMPARE(seen.content, QString("1.first\n\n2.second"));
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
            const int at = seen.content.indexOf(part, from);
            QVERIFY2(at >= 0, qPrintable("missing or out of order: " + part));
            from = at + part.size();
        }
    }

    void aboutTexts_data()
    {
        QTest::addColumn<QString>("languageFile");
        QTest::addColumn<QStringList>("texts"); // title, version, copyright, OK
        QTest::newRow("English") << kEnglish
            << QStringList{"About Brelvo Tool", "Brelvo Tool V2.0.0", "", "OK"};
        QTest::newRow("missing file") << "/nonexistent/English.qm" << QStringList{"", "", "", ""};
    }

    void aboutTexts()
    {
        QFETCH(QString, languageFile);
        VersionInfo about(languageFile);
        const QStringList shown{about.findChild<QLabel*>("TitleLab")->text(),
                                about.findChild<QLabel*>("version")->text(),
                                about.findChild<QLabel*>("copyRight")->text(),
                                about.findChild<QPushButton*>("ok")->text()};
        QTEST(shown, "texts");
        QCOMPARE(qApp->translate("VersionInfo", "PushButton.ok"), QString("PushButton.ok"));
    }

    void dragging_data()
    {
        QTest::addColumn<bool>("about");
        QTest::addColumn<int>("pressed");
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("moves");
        const int left = Qt::LeftButton, right = Qt::RightButton;
        for (bool about : {false, true}) {
            const char* name = about ? "about" : "box";
            QTest::addRow("%s left drag", name) << about << left << left << true;
            QTest::addRow("%s right drag", name) << about << right << right << false;
            QTest::addRow("%s no button held", name) << about << left << 0 << false;
        }
    }

    void dragging()
    {
        QFETCH(bool, about);
        QFETCH(int, pressed);
        QFETCH(int, held);
        QScopedPointer<QDialog> dlg(about ? static_cast<QDialog*>(new VersionInfo(kEnglish))
                                          : new MessageBoxDlg(nullptr, "English"));
        dlg->setMouseTracking(true); // else moves with no button held never arrive
        dlg->move(200, 150);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.data()));
        const QPoint start = dlg->pos(), press = start + QPoint(30, 12), travel(37, -21);
        const auto send = [&dlg](QEvent::Type type, QPoint at, int button, int buttons) {
            QMouseEvent event(type, dlg->mapFromGlobal(at), at, Qt::MouseButton(button),
                              Qt::MouseButtons(buttons), Qt::NoModifier);
            QApplication::sendEvent(dlg.data(), &event);
        };
        send(QEvent::MouseButtonPress, press, pressed, pressed);
        // Two steps: the dialog follows the whole travel, not just the last step.
        send(QEvent::MouseMove, press + travel / 2, Qt::NoButton, held);
        send(QEvent::MouseMove, press + travel, Qt::NoButton, held);
        QTest::qWait(20);
        QFETCH(bool, moves);
        QCOMPARE(dlg->pos(), moves ? start + travel : start);
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
