// SPDX-License-Identifier: MIT
#pragma once
// Fixtures the window's tests share.

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

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

// Runs `Test` the way the window runs: it writes "server.ini" into the
// current directory and keeps the user's settings in XDG_CONFIG_HOME (read
// once), so both go to folders of the test's own.
template <class Test>
int runInPrivateFolders(int argc, char** argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace ui_test
