// Message box results, captions and tips page; the about dialog's texts;
// catalogue resolution; transient translators; dragging the frameless dialogs.

#include "dialogs/MessageBoxDlg.h"
#include "dialogs/VersionInfo.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <functional>

namespace {

const QString kEnglish = ":/Resources/English.qm";
const QString kChinese = QString::fromUtf8(":/Resources/简体中文.qm");

const QStringList kEnglishTips = {
    "1.Make sure that your device and computer are in the same LAN and the computer can access "
    "the device.",
    "2.If it is a multi-network computer, please turn off other networks (If it is a laptop, "
    "please turn off the wireless network)",
    "3.Turn off the computer Anti-virus software and Firewall.",
    "4.Run Brelvo Tool with Administrator permission.",
    "IMPORTANT",
    ":Do not interrupt Power or Network during the update process.",
};

// What a test saw of a dialog while it was up.
struct Seen
{
    bool appeared = false;
    bool stayedOpen = false; // the closing action did not end it
    QString title;
    QString content;
    QString okText;
    QString cancelText;
    bool topFrameVisible = false;
    bool iconVisible = false;
    bool cancelVisible = false;
    bool okVisible = false;
    QImage icon;
    QSize size;
    QString translatedMeanwhile; // a catalogue look-up done while the box is open
};

enum class Close { Ok, Cancel, CloseButton, Escape };

template <typename T>
T* child(QWidget* dlg, const char* name)
{
    return dlg->findChild<T*>(QString::fromLatin1(name));
}

void close(QWidget* dlg, Close how)
{
    switch (how) {
    case Close::Ok:
        child<QPushButton>(dlg, "okBtn")->click();
        break;
    case Close::Cancel:
        child<QPushButton>(dlg, "cancelBtn")->click();
        break;
    case Close::CloseButton:
        child<QPushButton>(dlg, "closeBtn")->click();
        break;
    case Close::Escape:
        QTest::keyClick(dlg, Qt::Key_Escape);
        break;
    }
}

// Waits (from inside the modal loop that is about to start) for the next modal
// dialog, hands it to `action`, and ends it by force if it is still up two
// seconds later, so that a broken close never hangs the suite.
void onNextModal(std::function<void(QWidget*)> action, bool* stayedOpen = nullptr)
{
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    const QDeadlineTimer deadline(10000);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action, stayedOpen, deadline]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && !deadline.hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        if (!modal)
            return;
        QPointer<QWidget> guard(modal);
        action(modal);
        QTimer::singleShot(2000, qApp, [guard, stayedOpen]() {
            if (guard && guard->isVisible() && QApplication::activeModalWidget() == guard) {
                if (stayedOpen)
                    *stayedOpen = true;
                if (auto* dlg = qobject_cast<QDialog*>(guard.data()))
                    dlg->reject();
            }
        });
    });
    poll->start();
}

Seen observe(QWidget* dlg)
{
    Seen seen;
    seen.appeared = true;
    seen.title = child<QLabel>(dlg, "titleLab")->text();
    seen.content = child<QLabel>(dlg, "contentText")->text();
    seen.okText = child<QPushButton>(dlg, "okBtn")->text();
    seen.cancelText = child<QPushButton>(dlg, "cancelBtn")->text();
    seen.topFrameVisible = child<QFrame>(dlg, "topFrame")->isVisible();
    seen.iconVisible = child<QLabel>(dlg, "IconLab")->isVisible();
    seen.cancelVisible = child<QPushButton>(dlg, "cancelBtn")->isVisible();
    seen.okVisible = child<QPushButton>(dlg, "okBtn")->isVisible();
    seen.icon = child<QLabel>(dlg, "IconLab")->pixmap(Qt::ReturnByValue).toImage();
    seen.size = dlg->size();
    seen.translatedMeanwhile = QCoreApplication::translate("MessageBoxDlg", "PushButton.ok");
    return seen;
}

using BoxCall = int (*)(QWidget*, const QString&, const QString&, QString);

BoxCall boxCall(const QString& kind)
{
    if (kind == "information")
        return &MessageBoxDlg::information;
    if (kind == "question")
        return &MessageBoxDlg::question;
    return &MessageBoxDlg::warning;
}

QString iconPath(const QString& kind)
{
    return ":/Resources/ico_" + kind + ".png";
}

int runBox(const QString& kind, const QString& title, const QString& content,
           const QString& languageFile, Close how, Seen* seen)
{
    onNextModal(
        [seen, how](QWidget* dlg) {
            *seen = observe(dlg);
            close(dlg, how);
        },
        &seen->stayedOpen);
    return boxCall(kind)(nullptr, title, content, languageFile);
}

void runTips(const QString& languageFile, Close how, Seen* seen)
{
    onNextModal(
        [seen, how](QWidget* dlg) {
            *seen = observe(dlg);
            close(dlg, how);
        },
        &seen->stayedOpen);
    MessageBoxDlg::showStartTips(nullptr, languageFile);
}

// Positions of `parts` in `text`, which must appear in this order.
bool inOrder(const QString& text, const QStringList& parts, QString* missing)
{
    int from = 0;
    for (const QString& part : parts) {
        const int at = text.indexOf(part, from);
        if (at < 0) {
            *missing = part;
            return false;
        }
        from = at + part.size();
    }
    return true;
}

QString rendered(const QString& richText)
{
    QTextDocument doc;
    doc.setHtml(richText);
    return doc.toPlainText();
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(w->mapFromGlobal(global)), QPointF(global), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

} // namespace

Q_DECLARE_METATYPE(Close)

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void boxResult_data();
    void boxResult();
    void boxShowsCallersTextAndIcon_data();
    void boxShowsCallersTextAndIcon();

    void tipsTemplateIsBuiltFromItsPieces();
    void tipsPageFillsEachTextOnce();
    void tipsPageInEnglish();
    void tipsPageLayout_data();
    void tipsPageLayout();

    void catalogueResolution_data();
    void catalogueResolution();
    void noTranslatorStaysInstalled();

    void aboutTexts_data();
    void aboutTexts();
    void aboutCloses_data();
    void aboutCloses();

    void dragging_data();
    void dragging();

private:
    QTemporaryDir scratch;
    QString chineseCopy; // the Chinese catalogue copied outside the resources
    QString notACatalogue;
};

void DialogsTest::initTestCase()
{
    QVERIFY(QFile::exists(kEnglish));
    QVERIFY(QFile::exists(kChinese));
    QVERIFY(scratch.isValid());

    // No ".qm" suffix: were the path treated as a catalogue name it would be
    // looked for as ":/Resources/<path>.qm" and not found.
    chineseCopy = scratch.filePath("catalogue-copy");
    QVERIFY(QFile::copy(kChinese, chineseCopy));
    notACatalogue = scratch.filePath("garbage.qm");
    QFile junk(notACatalogue);
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a translation catalogue\n");
    junk.close();
}

void DialogsTest::boxResult_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Close>("how");
    QTest::addColumn<int>("expected");

    for (const char* kind : {"information", "question", "warning"}) {
        const QString k = kind;
        QTest::addRow("%s OK", kind) << k << Close::Ok << int(QMessageBox::Ok);
        QTest::addRow("%s Escape", kind) << k << Close::Escape << int(QMessageBox::Cancel);
        QTest::addRow("%s close button", kind)
            << k << Close::CloseButton << int(QMessageBox::Cancel);
        if (k != "warning")
            QTest::addRow("%s Cancel", kind) << k << Close::Cancel << int(QMessageBox::Cancel);
    }
}

void DialogsTest::boxResult()
{
    QFETCH(QString, kind);
    QFETCH(Close, how);
    QFETCH(int, expected);

    Seen seen;
    const int result = runBox(kind, "Title", "Content", kEnglish, how, &seen);
    QVERIFY(seen.appeared);
    QVERIFY2(!seen.stayedOpen, "the dialog did not close");
    QCOMPARE(result, expected);
}

void DialogsTest::boxShowsCallersTextAndIcon_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("withCancel");
    QTest::newRow("information") << "information" << true;
    QTest::newRow("question") << "question" << true;
    QTest::newRow("warning") << "warning" << false;
}

void DialogsTest::boxShowsCallersTextAndIcon()
{
    QFETCH(QString, kind);
    QFETCH(bool, withCancel);

    const QString title = "Stop Update";
    const QString content = "1.first\n\n2.second\n\n3.third\n\n";
    Seen seen;
    runBox(kind, title, content, kEnglish, Close::Escape, &seen);
    QVERIFY(seen.appeared);
    QCOMPARE(seen.title, title);
    QCOMPARE(seen.content, content);
    QVERIFY(!seen.content.contains("Before You Start"));
    QVERIFY(seen.topFrameVisible);
    QVERIFY(seen.iconVisible);
    QVERIFY(seen.okVisible);
    QCOMPARE(seen.cancelVisible, withCancel);
    QCOMPARE(seen.okText, QString("OK"));
    QCOMPARE(seen.cancelText, QString("Cancel"));

    // Compared as pixmaps hold them (premultiplied), not as the files store them.
    const QImage expectedIcon = QPixmap(iconPath(kind)).toImage();
    QVERIFY(!expectedIcon.isNull());
    QVERIFY(!seen.icon.isNull());
    QCOMPARE(seen.icon, expectedIcon);
    for (const char* other : {"information", "question", "warning"}) {
        if (kind != other)
            QVERIFY(seen.icon != QPixmap(iconPath(other)).toImage());
    }
}

void DialogsTest::tipsTemplateIsBuiltFromItsPieces()
{
    const QString tabs11(11, '\t'), tabs15(15, '\t'), tabs20(20, '\t'), tabs4(4, '\t');
    const QString expected =
        QString("<div style='text-align:center;'><a style='font-size:20px;'>%7</a></div><br/><br/>")
        + tabs11 + "<a style='font-size:16px;'>%1<br/><br/>%2<br/><br/>" + tabs15
        + "%3<br/><br/>%4<br/><br/>5.</a>" + tabs20
        + "<b style='font-size:16px;color:#FF0000'>%5</b>" + tabs4 + "    " + tabs11
        + "<c style='font-size:16px;'>%6</c>";

    const QString page = MessageBoxDlg::tipsTemplate();
    QCOMPARE(page.size(), 306);
    QCOMPARE(page, expected);
    QCOMPARE(page.count('\t'), 11 + 15 + 20 + 4 + 11);
    for (int n = 1; n <= 7; ++n)
        QCOMPARE(page.count(QString("%%1").arg(n)), 1);
}

void DialogsTest::tipsPageFillsEachTextOnce()
{
    // A catalogue text that contains a marker is shown as written.
    const QString page = MessageBoxDlg::tipsPage(
        {"one %2", "two", "three %7", "four", "five", "six 100%"}, "heading %1");
    QString missing;
    QVERIFY2(inOrder(page, {"heading %1", "one %2", "two", "three %7", "four", "5.", "five",
                            "six 100%"},
                     &missing),
             qPrintable(missing));
    QVERIFY(!page.contains("%3") && !page.contains("%4") && !page.contains("%5")
            && !page.contains("%6"));

    // Missing tips stay empty rather than showing a marker.
    const QString shortPage = MessageBoxDlg::tipsPage({"only"}, "H");
    for (int n = 1; n <= 7; ++n)
        QVERIFY(!shortPage.contains(QString("%%1").arg(n)));
    QVERIFY(shortPage.contains("only"));
}

void DialogsTest::tipsPageInEnglish()
{
    Seen seen;
    runTips("English", Close::Ok, &seen);
    QVERIFY(seen.appeared);
    QVERIFY2(!seen.stayedOpen, "OK did not end the tips");

    QStringList parts = {"Before You Start"};
    parts << kEnglishTips.mid(0, 4) << "5."
          << "<b style='font-size:16px;color:#FF0000'>IMPORTANT</b>" << kEnglishTips.at(5);
    QString missing;
    QVERIFY2(inOrder(seen.content, parts, &missing), qPrintable(missing));
    QVERIFY(seen.content.contains("<div style='text-align:center;'><a style='font-size:20px;'>"
                                  "Before You Start</a></div>"));

    const QString text = rendered(seen.content);
    QStringList renderedParts = {"Before You Start"};
    renderedParts << kEnglishTips.mid(0, 4) << "5." << "IMPORTANT" << kEnglishTips.at(5);
    QVERIFY2(inOrder(text, renderedParts, &missing), qPrintable(missing));
    QCOMPARE(seen.okText, QString("OK"));
}

void DialogsTest::tipsPageLayout_data()
{
    QTest::addColumn<Close>("how");
    QTest::newRow("OK") << Close::Ok;
    QTest::newRow("Escape") << Close::Escape;
}

void DialogsTest::tipsPageLayout()
{
    QFETCH(Close, how);
    Seen seen;
    runTips(kEnglish, how, &seen);
    QVERIFY(seen.appeared);
    QVERIFY2(!seen.stayedOpen, "the tips did not close");
    QVERIFY(!seen.topFrameVisible);
    QVERIFY(!seen.iconVisible);
    QVERIFY(!seen.cancelVisible);
    QVERIFY(seen.okVisible);
    QCOMPARE(seen.size, QSize(400, 500));
}

void DialogsTest::catalogueResolution_data()
{
    QTest::addColumn<QString>("languageFile");
    QTest::addColumn<QString>("ok");
    QTest::addColumn<QString>("cancel");
    QTest::addColumn<QString>("heading");

    const QString zhOk = QString::fromUtf8("确定");
    const QString zhCancel = QString::fromUtf8("取消");
    const QString zhHeading = QString::fromUtf8("运行程序前确认");

    QTest::newRow("bare name English") << "English" << "OK" << "Cancel" << "Before You Start";
    QTest::newRow("resource path English") << kEnglish << "OK" << "Cancel" << "Before You Start";
    QTest::newRow("bare Chinese name") << QString::fromUtf8("简体中文") << zhOk << zhCancel
                                       << zhHeading;
    QTest::newRow("resource path Chinese") << kChinese << zhOk << zhCancel << zhHeading;
    QTest::newRow("existing file used as is") << chineseCopy << zhOk << zhCancel << zhHeading;
    // ":/Resources/English.qm.qm" does not exist; the loader's own search,
    // which drops trailing ".xx" parts, then finds ":/Resources/English.qm".
    QTest::newRow("bare name with suffix") << "English.qm" << "OK" << "Cancel"
                                           << "Before You Start";
    QTest::newRow("unknown language") << "Deutsch" << "PushButton.ok" << "PushButton.cancel"
                                      << "Title.readBefore";
    QTest::newRow("missing path") << "/nonexistent/dir/English.qm" << "PushButton.ok"
                                  << "PushButton.cancel" << "Title.readBefore";
    QTest::newRow("empty name") << "" << "PushButton.ok" << "PushButton.cancel"
                                << "Title.readBefore";
    QTest::newRow("not a catalogue") << notACatalogue << "PushButton.ok" << "PushButton.cancel"
                                     << "Title.readBefore";
}

void DialogsTest::catalogueResolution()
{
    QFETCH(QString, languageFile);
    QFETCH(QString, ok);
    QFETCH(QString, cancel);
    QFETCH(QString, heading);

    Seen box;
    QCOMPARE(runBox("question", "t", "c", languageFile, Close::Escape, &box),
             int(QMessageBox::Cancel));
    QCOMPARE(box.okText, ok);
    QCOMPARE(box.cancelText, cancel);

    Seen tips;
    runTips(languageFile, Close::Escape, &tips);
    QVERIFY(tips.appeared);
    QCOMPARE(tips.okText, ok);
    QVERIFY2(tips.content.contains(heading), qPrintable(tips.content));
    if (ok == "PushButton.ok") {
        QString missing;
        QVERIFY2(inOrder(tips.content,
                         {"Title.readBefore", "TipContent.content1", "TipContent.content2",
                          "TipContent.content3", "TipContent.content4", "TipContent.content5",
                          "TipContent.content6"},
                         &missing),
                 qPrintable(missing));
    }
}

void DialogsTest::noTranslatorStaysInstalled()
{
    Seen seen;
    runBox("information", "t", "c", kEnglish, Close::Ok, &seen);
    QCOMPARE(seen.okText, QString("OK"));
    // Gone already while the box was open, not only once it closed.
    QCOMPARE(seen.translatedMeanwhile, QString("PushButton.ok"));
    QCOMPARE(QCoreApplication::translate("MessageBoxDlg", "PushButton.ok"),
             QString("PushButton.ok"));

    Seen tips;
    runTips("English", Close::Ok, &tips);
    QCOMPARE(tips.translatedMeanwhile, QString("PushButton.ok"));
    QCOMPARE(QCoreApplication::translate("MessageBoxDlg", "Title.readBefore"),
             QString("Title.readBefore"));

    {
        VersionInfo about(kEnglish);
        QCOMPARE(about.findChild<QPushButton*>("ok")->text(), QString("OK"));
        QCOMPARE(QCoreApplication::translate("VersionInfo", "PushButton.ok"),
                 QString("PushButton.ok"));
    }
    QCOMPARE(QCoreApplication::translate("VersionInfo", "Title.aboutTool"),
             QString("Title.aboutTool"));
}

void DialogsTest::aboutTexts_data()
{
    QTest::addColumn<QString>("languageFile");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("ok");

    QTest::newRow("English") << kEnglish << "About Brelvo Tool" << "Brelvo Tool V2.0.0" << "OK";
    QTest::newRow("Chinese") << kChinese << QString::fromUtf8("关于 Brelvo Tool")
                             << "Brelvo Tool V2.0.0" << QString::fromUtf8("确定");
    QTest::newRow("copied catalogue") << chineseCopy << QString::fromUtf8("关于 Brelvo Tool")
                                      << "Brelvo Tool V2.0.0" << QString::fromUtf8("确定");
    // Unlike the message box, a bare name is not looked for in the resources.
    QTest::newRow("bare name") << "English" << "" << "" << "";
    QTest::newRow("missing file") << "/nonexistent/English.qm" << "" << "" << "";
    QTest::newRow("empty path") << "" << "" << "" << "";
    QTest::newRow("not a catalogue") << notACatalogue << "Title.aboutTool" << "Label.version"
                                     << "PushButton.ok";
}

void DialogsTest::aboutTexts()
{
    QFETCH(QString, languageFile);
    QFETCH(QString, title);
    QFETCH(QString, version);
    QFETCH(QString, ok);

    VersionInfo about(languageFile);
    QCOMPARE(about.objectName(), QString("AboutForm"));
    QCOMPARE(about.findChild<QLabel*>("TitleLab")->text(), title);
    QCOMPARE(about.findChild<QLabel*>("version")->text(), version);
    QCOMPARE(about.findChild<QPushButton*>("ok")->text(), ok);
    const QString copyRight = about.findChild<QLabel*>("copyRight")->text();
    if (languageFile == notACatalogue)
        QCOMPARE(copyRight, QString("Label.copyRight"));
    else
        QCOMPARE(copyRight, QString(""));
    const QPixmap logo = about.findChild<QLabel*>("logo")->pixmap(Qt::ReturnByValue);
    QVERIFY(!logo.isNull());
    QCOMPARE(logo.size(), QSize(32, 32));
    QVERIFY(about.windowFlags().testFlag(Qt::FramelessWindowHint));
}

void DialogsTest::aboutCloses_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("OK") << "ok";
    QTest::newRow("close button") << "closeBtn";
    QTest::newRow("Escape") << "";
}

void DialogsTest::aboutCloses()
{
    QFETCH(QString, button);
    VersionInfo about(kEnglish);
    bool appeared = false;
    bool stayedOpen = false;
    onNextModal(
        [&appeared, button](QWidget* dlg) {
            appeared = true;
            if (button.isEmpty())
                QTest::keyClick(dlg, Qt::Key_Escape);
            else
                dlg->findChild<QPushButton*>(button)->click();
        },
        &stayedOpen);
    about.exec();
    QVERIFY(appeared);
    QVERIFY2(!stayedOpen, "the about dialog did not close");
    QVERIFY(!about.isVisible());
}

void DialogsTest::dragging_data()
{
    QTest::addColumn<bool>("about"); // VersionInfo, else the message box
    QTest::addColumn<int>("pressButton");
    QTest::addColumn<int>("moveButtons");
    QTest::addColumn<bool>("releaseFirst");
    QTest::addColumn<QPoint>("travel");
    QTest::addColumn<bool>("moves");

    for (bool about : {false, true}) {
        const char* name = about ? "about" : "message box";
        QTest::addRow("%s: left drag", name)
            << about << int(Qt::LeftButton) << int(Qt::LeftButton) << false << QPoint(37, -21)
            << true;
        QTest::addRow("%s: drag to the upper left", name)
            << about << int(Qt::LeftButton) << int(Qt::LeftButton) << false << QPoint(-90, -60)
            << true;
        QTest::addRow("%s: move without a held button", name)
            << about << int(Qt::LeftButton) << int(Qt::NoButton) << false << QPoint(37, 21)
            << false;
        QTest::addRow("%s: left release lost, right held", name)
            << about << int(Qt::LeftButton) << int(Qt::RightButton) << false << QPoint(37, 21)
            << false;
        QTest::addRow("%s: right-button drag", name)
            << about << int(Qt::RightButton) << int(Qt::RightButton) << false << QPoint(37, 21)
            << false;
        QTest::addRow("%s: left held after release", name)
            << about << int(Qt::LeftButton) << int(Qt::LeftButton) << true << QPoint(37, 21)
            << false;
    }
}

void DialogsTest::dragging()
{
    QFETCH(bool, about);
    QFETCH(int, pressButton);
    QFETCH(int, moveButtons);
    QFETCH(bool, releaseFirst);
    QFETCH(QPoint, travel);
    QFETCH(bool, moves);

    QScopedPointer<QDialog> dlg(about ? static_cast<QDialog*>(new VersionInfo(kEnglish))
                                      : new MessageBoxDlg(nullptr, "English"));
    // Without tracking, moves with no button held would never reach the
    // dialog, and the no-button rows would pass whatever it did with them.
    dlg->setMouseTracking(true);
    dlg->move(200, 150);
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.data()));
    const QPoint start = dlg->pos();

    const QPoint press = start + QPoint(30, 12);
    const auto pressed = Qt::MouseButton(pressButton);
    sendMouse(dlg.data(), QEvent::MouseButtonPress, press, pressed, pressed);
    if (releaseFirst)
        sendMouse(dlg.data(), QEvent::MouseButtonRelease, press, pressed, Qt::NoButton);
    // Two steps: the dialog follows the cursor's whole travel, not the last step.
    sendMouse(dlg.data(), QEvent::MouseMove, press + travel / 2, Qt::NoButton,
              Qt::MouseButtons(moveButtons));
    sendMouse(dlg.data(), QEvent::MouseMove, press + travel, Qt::NoButton,
              Qt::MouseButtons(moveButtons));

    if (moves)
        QTRY_COMPARE(dlg->pos(), start + travel);
    else {
        QTest::qWait(20);
        QCOMPARE(dlg->pos(), start);
    }

    // After the release further moves with the button held do nothing.
    sendMouse(dlg.data(), QEvent::MouseButtonRelease, press + travel, pressed, Qt::NoButton);
    const QPoint settled = dlg->pos();
    sendMouse(dlg.data(), QEvent::MouseMove, press + travel + QPoint(50, 50), Qt::NoButton,
              Qt::LeftButton);
    QTest::qWait(20);
    QCOMPARE(dlg->pos(), settled);
}

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
