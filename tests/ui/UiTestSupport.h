// SPDX-License-Identifier: MIT
#pragma once
// Fixtures the window's tests share.

#include "ExpectedText.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <deque>
#include <functional>

namespace ui_test {

// Counts the language changes the application announces.
class LanguageChanges : public QObject
{
public:
    LanguageChanges() { qApp->installEventFilter(this); }
    ~LanguageChanges() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        count += watched == qApp && event->type() == QEvent::LanguageChange;
        return false;
    }
};

// One of the bundled catalogues, installed for as long as it lives.
class Catalogue
{
public:
    explicit Catalogue(const QString& file)
    {
        QVERIFY(translator_.load(QStringLiteral(":/Resources/") + file));
        QCoreApplication::installTranslator(&translator_);
    }
    ~Catalogue() { QCoreApplication::removeTranslator(&translator_); }

private:
    QTranslator translator_;
};

// Answers each modal dialog met with the next queued action (by default a
// reject) and records its class, title and content, and whether the action
// closed it (one left open is rejected, so that the test goes on).
class ModalWatcher : public QObject
{
public:
    using Action = std::function<void(QWidget*)>;
    struct Seen {
        QString className, title, content;
        bool closed;
    };

    ModalWatcher()
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !w->isVisible())
                return;
            const auto label = [w](const char* name) {
                auto* l = w->findChild<QLabel*>(QLatin1String(name));
                return l ? l->text() : QString();
            };
            Action a = [](QWidget* d) { qobject_cast<QDialog*>(d)->reject(); };
            if (!actions_.empty())
                a = actions_.front(), actions_.pop_front();
            seen << Seen{QString::fromLatin1(w->metaObject()->className()), label("titleLab"), label("contentText"),
                         false};
            a(w);
            seen.last().closed = !w->isVisible();
            if (w->isVisible())
                qobject_cast<QDialog*>(w)->reject();
        });
        timer_.start(10);
    }
    void queue(Action a) { actions_.push_back(std::move(a)); }
    // A file picker: notes the folder it opened in, then takes `choice` ("" cancels).
    void pick(const QString& choice, QStringList* opened = nullptr)
    {
        queue([choice, opened](QWidget* d) {
            auto* picker = qobject_cast<QFileDialog*>(d);
            if (opened)
                *opened << (picker ? picker->directory().absolutePath() : QStringLiteral("no file dialog"));
            if (choice.isEmpty())
                return void(qobject_cast<QDialog*>(d)->reject());
            // Typed, as selectFile() skips a focused name field.
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(choice);
            QMetaObject::invokeMethod(d, "accept");
        });
    }
    QList<Seen> seen;

private:
    QTimer timer_;
    std::deque<Action> actions_;
};

// `actual` against the expected-output file `path` (testkit's ExpectedText.h).
inline void compareExpected(const QString& path, const QString& actual)
{
    const std::string diff = brelvo_test::expectedFileDiff(path.toStdString(), actual.toStdString());
    QVERIFY2(diff.empty(), diff.c_str());
}

// The texts `texts` gives for each of `rows` under the English, then the
// Chinese catalogue, against the expected-output file `path`: the row's
// name, then each text on a line of its own. No text may show a key, a
// placeholder or a control character, whatever the file says.
inline void compareInBothLanguages(const QString& path, const QStringList& rows,
                                   const std::function<QStringList(int)>& texts)
{
    QStringList shown[2];
    for (int i = 0; i < 2; ++i) {
        Catalogue catalogue(i ? QString::fromUtf8(u8"简体中文.qm") : QStringLiteral("English.qm"));
        for (int r = 0; r < rows.size(); ++r) {
            for (const QString& text : texts(r))
                QVERIFY2(!text.contains(QRegularExpression(QStringLiteral(
                             "\\b(Log|Finding|Remedy)\\.[a-zA-Z]|%\\d|[\\x00-\\x1f\\x{202e}\\x{fffd}]"))),
                         qPrintable(text));
            shown[i] << texts(r).join(QStringLiteral("\n    "));
        }
    }
    QString out;
    for (int r = 0; r < rows.size(); ++r)
        out += rows[r] + QStringLiteral("\n  ") + shown[0][r] + QStringLiteral("\n  ") + shown[1][r] + QLatin1Char('\n');
    compareExpected(path, out);
}

// The names of a box's visible buttons drawn in the blue of the default one.
inline QString drawnDefault(QWidget* box)
{
    QString names;
    for (auto* button : box->findChildren<QPushButton*>()) {
        const QColor ground = button->grab().toImage().pixelColor(4, button->height() / 2);
        if (button->isVisible() && ground.blue() > 150 && ground.blue() > 2 * ground.red())
            names += button->objectName();
    }
    return names;
}

// Runs `Test` the way the window runs: it writes "server.ini" into the
// current directory, keeps the user's settings in XDG_CONFIG_HOME (read
// once) and its reports in XDG_DATA_HOME, so all go to folders of the
// test's own.
template <class Test>
int runInPrivateFolders(int argc, char** argv)
{
    QTemporaryDir config, data;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QApplication app(argc, argv);
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace ui_test
