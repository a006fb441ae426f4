// Message box results and size, tips page, about texts. The dialogs take
// their texts from the catalogue installed in the application and never
// install or remove one themselves.

#include "dialogs/MessageBoxDlg.h"
#include "dialogs/VersionInfo.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <memory>

namespace {

struct Seen { bool closed = false, cancelShown = false, textFits = false; QString ok, content; };

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
                 text->text()};
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

// Installs the named built-in catalogue ("" for none) for one case, and
// counts the language changes the application announces meanwhile.
class Catalogue : public QObject
{
public:
    explicit Catalogue(const QString& name)
    {
        if (!name.isEmpty()) {
            translator.reset(new QTranslator);
            QVERIFY(translator->load(":/Resources/" + name + ".qm"));
            QCoreApplication::installTranslator(translator.get());
        }
        qApp->installEventFilter(this);
    }
    ~Catalogue() override { qApp->removeEventFilter(this); }
    int changes = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == qApp && event->type() == QEvent::LanguageChange)
            ++changes;
        return false;
    }

private:
    std::unique_ptr<QTranslator> translator;
};

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
        Catalogue catalogue("English");
        Seen seen;
        closeNextModal(how, &seen);
        QTEST(call(nullptr, "Stop Update", content), "expected");
        QVERIFY2(seen.closed, "the box stayed open");
        QVERIFY2(seen.textFits, "the message is clipped");
        QCOMPARE(seen.cancelShown, kind != "warning");
        QCOMPARE(seen.content, content);
        QCOMPARE(seen.ok, QString("OK"));
        QCOMPARE(catalogue.changes, 0);
    }

    // A message may carry paths and names from outside: shown as written,
    // never taken for markup.
    void boxShowsMarkupAsWritten()
    {
        const QString content = QStringLiteral("<b>/srv/fw</b> &amp; <img src=x>\nsecond line");
        Catalogue catalogue("English");
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            poll->stop();
            poll->deleteLater();
            auto* text = dlg->findChild<QLabel*>("contentText");
            shown = text->text();
            format = text->textFormat();
            dlg->findChild<QPushButton*>("okBtn")->click();
        });
        poll->start(5);
        MessageBoxDlg::warning(nullptr, "Cannot Start", content);
        QCOMPARE(shown, content);
        QCOMPARE(format, Qt::PlainText);
    }

    void tipsPage_data()
    {
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<QString>("ok");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("English") << "English" << "OK"
            << QStringList{"Before You Start", "1.Make sure", "2.If it is a multi-network",
                           "3.Turn off", "4.Run Brelvo", "5.", "IMPORTANT", ":Do not interrupt"};
        QTest::newRow("Chinese") << QString::fromUtf8(u8"简体中文") << QString::fromUtf8(u8"确定")
            << QStringList{QString::fromUtf8(u8"运行程序前确认"), "5."};
        QTest::newRow("no catalogue") << "" << "PushButton.ok"
            << QStringList{"Title.readBefore", "TipContent.content1", "TipContent.content2",
                           "TipContent.content3", "TipContent.content4", "TipContent.content5",
                           "TipContent.content6"};
    }

    void tipsPage()
    {
        QFETCH(QString, catalogue);
        QFETCH(QStringList, parts);
        Catalogue installed(catalogue);
        Seen seen;
        closeNextModal("okBtn", &seen);
        MessageBoxDlg::showStartTips(nullptr);
        QVERIFY2(seen.closed, "the tips stayed open");
        QTEST(seen.ok, "ok");
        int from = 0;
        for (const QString& part : parts) {
            from = seen.content.indexOf(part, from);
            QVERIFY2(from >= 0, qPrintable("missing or out of order: " + part));
        }
        QCOMPARE(installed.changes, 0);
    }

    void aboutTexts_data()
    {
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<QStringList>("texts"); // title, version, copyright, OK
        QTest::newRow("English") << "English" << QStringList{"About Brelvo Tool", "Brelvo Tool V2.0.0", "", "OK"};
        QTest::newRow("Chinese") << QString::fromUtf8(u8"简体中文")
            << QStringList{QString::fromUtf8(u8"关于 Brelvo Tool"), "Brelvo Tool V2.0.0", "",
                           QString::fromUtf8(u8"确定")};
        QTest::newRow("no catalogue") << ""
            << QStringList{"Title.aboutTool", "Label.version", "Label.copyRight", "PushButton.ok"};
    }

    void aboutTexts()
    {
        QFETCH(QString, catalogue);
        Catalogue installed(catalogue);
        VersionInfo about;
        const QStringList shown{about.findChild<QLabel*>("TitleLab")->text(), about.findChild<QLabel*>("version")->text(),
                                about.findChild<QLabel*>("copyRight")->text(), about.findChild<QPushButton*>("ok")->text()};
        QTEST(shown, "texts");
        QCOMPARE(installed.changes, 0);
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
