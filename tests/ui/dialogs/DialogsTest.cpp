// SPDX-License-Identifier: MIT
// The dialogs. The log window: markers and colours, one line per entry and a
// bound, following new lines unless the operator scrolled up, saving
// (directly and through the file picker) and opening the reports folder (the
// count of unseen warnings: through the window's Log button, BrelvoTest). The
// message box: which button closed it, its whole text shown as written, and
// the tips page; both take their texts from the catalogue installed in the
// application and never install or remove one themselves.
#include "dialogs/LogWindow.h"
#include "dialogs/MessageBoxDlg.h"
#include "UiTestSupport.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QUrl>

namespace {

using Tone = LogWindow::Tone;

QPlainTextEdit* view(LogWindow& log) { return log.findChild<QPlainTextEdit*>("logText"); }

// The text colour of line `n`; invalid for the view's own.
QColor lineColour(LogWindow& log, int n)
{
    const QTextCharFormat format = view(log)->document()->findBlockByNumber(n).begin().fragment().charFormat();
    return format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : QColor();
}

// Records the URLs QDesktopServices is asked to open, instead of opening them.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void markersAndColours_data()
    {
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<int>("tone");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QColor>("colour");
        const QString chinese = QString::fromUtf8(u8"简体中文.qm");
        QTest::newRow("info") << "English.qm" << int(Tone::Info) << "" << QColor();
        QTest::newRow("success") << "English.qm" << int(Tone::Success) << "" << QColor("#4cc38a");
        QTest::newRow("warning") << "English.qm" << int(Tone::Warning) << "[Warning] " << QColor("#f0c060");
        QTest::newRow("failure") << "English.qm" << int(Tone::Failure) << "[Failure] " << QColor("#ff6b6b");
        QTest::newRow("warning, Chinese") << chinese << int(Tone::Warning) << QString::fromUtf8(u8"[警告] ")
                                          << QColor("#f0c060");
        QTest::newRow("failure, Chinese") << chinese << int(Tone::Failure) << QString::fromUtf8(u8"[错误] ")
                                          << QColor("#ff6b6b");
    }

    // Time, the marker (warnings and failures only), the text; one colour per
    // tone. A closed log counts the marked lines as unseen.
    void markersAndColours()
    {
        QFETCH(QString, catalogue);
        QFETCH(int, tone);
        QFETCH(QString, marker);
        LogWindow log(nullptr);
        {
            ui_test::Catalogue installed(catalogue);
            const qint64 when = QDateTime(QDate(2026, 12, 7), QTime(9, 41, 5)).toMSecsSinceEpoch();
            log.addLine(when, QStringLiteral("first"), Tone::Info);
            log.addLine(when, QStringLiteral("10.0.0.23 asked for X"), Tone(tone));
        }
        QCOMPARE(log.text(), "2026-12-07 09:41:05  first\n2026-12-07 09:41:05  " + marker + "10.0.0.23 asked for X\n");
        QTEST(lineColour(log, 1), "colour");
        QCOMPARE(lineColour(log, 0), QColor());  // the colour does not leak into the next line
        QCOMPARE(log.unseen(), marker.isEmpty() ? 0 : 1);
    }

    // A text with line breaks stays one line; the log keeps only the newest lines.
    void oneLinePerEntryAndBounded()
    {
        LogWindow log(nullptr);
        log.addLine(0, QStringLiteral("two\nlines\r\nhere"), Tone::Info);
        QCOMPARE(log.lineCount(), 1);
        QVERIFY(log.text().endsWith(QStringLiteral("two lines  here\n")));
        for (int i = 1; i <= LogWindow::kMaxLines + 50; ++i)
            log.addLine(0, QStringLiteral("line %1").arg(i), Tone::Info);
        const QStringList lines = log.text().split('\n', Qt::SkipEmptyParts);
        QVERIFY(log.lineCount() == LogWindow::kMaxLines && lines.size() == LogWindow::kMaxLines);
        QVERIFY2(lines.first().endsWith(QStringLiteral("  line 51")), qPrintable(lines.first()));
        QVERIFY2(lines.last().endsWith(QStringLiteral("  line 5050")), qPrintable(lines.last()));
    }

    // New lines scroll into sight until the operator scrolls up to read;
    // back at the end, the view follows again. What an open log shows is seen;
    // showing it again clears what came while it was closed.
    void followsUnlessScrolledUp()
    {
        LogWindow log(nullptr);
        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        QScrollBar* bar = view(log)->verticalScrollBar();
        const auto add = [&](int n) {
            for (int i = 0; i < n; ++i)
                log.addLine(0, QStringLiteral("line %1").arg(i), Tone::Info);
            QApplication::processEvents();
        };
        add(300);
        QVERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        bar->setValue(10);  // as a drag of the operator's would
        add(50);
        QCOMPARE(bar->value(), 10);
        bar->setValue(bar->maximum());
        add(1);
        QCOMPARE(bar->value(), bar->maximum());
        log.addLine(0, QStringLiteral("seen as it comes"), Tone::Failure);
        log.hide();
        log.addLine(0, QStringLiteral("came while closed"), Tone::Warning);
        QCOMPARE(log.unseen(), 1);
        log.show();
        QCOMPARE(log.unseen(), 0);
    }

    void saveTo_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("saved");
        QTest::newRow("new file") << "log.txt" << true;
        QTest::newRow("replaces a file") << "existing.txt" << true;
        QTest::newRow("through the picker") << "picked.txt" << true;
        QTest::newRow("folder missing") << "no/such/folder/log.txt" << false;
        QTest::newRow("a folder") << "adir" << false;
    }

    // UTF-8 text, every line as shown; a failed save names why and leaves
    // what was there. "Save as..." opens its picker in the reports folder.
    void saveTo()
    {
        QFETCH(QString, name);
        QFETCH(bool, saved);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("adir")));
        QFile existing(dir.filePath(QStringLiteral("existing.txt")));
        QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("old contents, longer than the log\n") > 0 && existing.flush());

        LogWindow log(nullptr);
        log.setReportsFolder(dir.path());
        log.addLine(0, QString::fromUtf8(u8"10.0.0.23 请求升级型号 EV\\u202eIL\\x1b[31m"), Tone::Warning);
        log.addLine(0, QStringLiteral("done"), Tone::Success);
        const QString path = dir.filePath(name);
        if (name == QLatin1String("picked.txt")) {
            ui_test::ModalWatcher watcher;
            QStringList opened;
            watcher.pick(path, &opened);
            log.findChild<QPushButton*>("saveAsBtn")->click();
            QCOMPARE(opened, QStringList{dir.path()});
        } else {
            QCOMPARE(log.saveTo(path).isEmpty(), saved);
        }
        QFile file(path);
        QVERIFY(!saved || file.open(QIODevice::ReadOnly));
        if (saved)
            QCOMPARE(QString::fromUtf8(file.readAll()), log.text());
    }

    // The current report's folder when there is one, else the default one
    // under XDG_DATA_HOME, made when missing.
    void openReportsFolder()
    {
        UrlCatcher catcher;
        LogWindow log(nullptr);
        auto* button = log.findChild<QPushButton*>("reportsBtn");
        const QString defaultFolder = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/brelvo-tool/reports");
        QVERIFY(!QFileInfo::exists(defaultFolder));
        button->click();
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(defaultFolder)});
        QVERIFY(QFileInfo(defaultFolder).isDir());
        QTemporaryDir current;
        log.setReportsFolder(current.path());
        button->click();
        QCOMPARE(catcher.opened.value(1), QUrl::fromLocalFile(current.path()));
    }

    void boxResult_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("expected");
        for (const char* kind : {"information", "question", "warning", "interrupting"}) {
            const bool safe = QByteArray(kind) == "interrupting";
            QTest::addRow("%s OK", kind) << kind << "okBtn" << int(QMessageBox::Ok);
            QTest::addRow("%s Escape", kind) << kind << "Escape" << int(QMessageBox::Cancel);
            QTest::addRow("%s Enter", kind) << kind << "Enter" << int(safe ? QMessageBox::Cancel : QMessageBox::Ok);
            QTest::addRow("%s close", kind) << kind << "closeBtn" << int(QMessageBox::Cancel);
            if (QByteArray(kind) != "warning")
                QTest::addRow("%s Cancel", kind) << kind << "cancelBtn" << int(QMessageBox::Cancel);
        }
    }

    // A message wraps to more lines than the form's height holds, and may
    // carry paths and names from outside: all of it shown, never as markup.
    // Enter presses the button drawn as the default; in a question that
    // would interrupt devices, that is Cancel.
    void boxResult()
    {
        QFETCH(QString, kind);
        QFETCH(QString, how);
        const auto call = [&kind](const QString& c) {
            if (kind == "information" || kind == "warning")
                return (kind == "warning" ? MessageBoxDlg::warning : MessageBoxDlg::information)(nullptr, "Stop Update", c);
            return MessageBoxDlg::question(nullptr, "Stop Update", c,
                                           kind == "question" ? MessageBoxDlg::Default::Ok : MessageBoxDlg::Default::Cancel);
        };
        const QString content = QStringLiteral("<b>/srv/fw</b> &amp; <img src=x>\n")
            + QString("1.A warning long enough to wrap over several lines of the box.\n\n").repeated(4);
        ui_test::Catalogue english(QStringLiteral("English.qm"));
        ui_test::LanguageChanges changes;
        ui_test::ModalWatcher watcher;
        bool cancelShown = false, fits = false, plain = false;
        QString ok, drawnDefault;
        watcher.queue([&](QWidget* dlg) {
            auto* text = dlg->findChild<QLabel*>("contentText");
            cancelShown = dlg->findChild<QPushButton*>("cancelBtn")->isVisible();
            fits = text->height() >= text->heightForWidth(text->width());
            plain = text->textFormat() == Qt::PlainText;
            ok = dlg->findChild<QPushButton*>("okBtn")->text();
            drawnDefault = ui_test::drawnDefault(dlg);
            if (how == "Escape" || how == "Enter")
                QTest::keyClick(dlg, how == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
            else
                dlg->findChild<QPushButton*>(how)->click();
        });
        QTEST(call(content), "expected");
        QVERIFY2(watcher.seen.size() == 1 && watcher.seen.at(0).closed, "the box stayed open");
        QVERIFY2(fits, "the message is clipped");
        QCOMPARE(cancelShown, kind != "warning");
        QVERIFY(plain && watcher.seen.at(0).content == content);
        QCOMPARE(ok, QString("OK"));
        QCOMPARE(drawnDefault, QString(kind == "interrupting" ? "cancelBtn" : "okBtn"));
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
        int from = watcher.seen.at(0).content.indexOf(QLatin1String("Title.readBefore"));
        for (int tip = 1; tip <= 6 && from >= 0; ++tip)
            from = watcher.seen.at(0).content.indexOf(QStringLiteral("TipContent.content%1").arg(tip), from);
        QVERIFY2(from >= 0, qPrintable(QStringLiteral("a tip missing or out of order in: ") + watcher.seen.at(0).content));
        QCOMPARE(changes.count, 0);
        const QString page = MessageBoxDlg::tipsPage({"one %2 %7", "two"}, "50%1");
        QVERIFY2(page.contains(QLatin1String("one %2 %7")) && page.contains(QLatin1String("50%1")), qPrintable(page));
    }
};

int main(int argc, char** argv)
{
    return ui_test::runInPrivateFolders<DialogsTest>(argc, argv);
}
#include "DialogsTest.moc"
