// The four forms (main window, message box, about dialog, log window) against committed
// dumps of their widget trees: names, classes, geometry, sizes, policies,
// layout spacing and margins, texts and own style sheets. The dumps were taken
// of the forms as first written, so any change to a form shows up here as a
// line that differs. Geometry depends on the fonts: the dumps were taken with
// the fonts scripts/install-deps installs.
//
// BRELVO_WRITE_FORM_REFERENCES=1 rewrites the reference files instead of
// comparing (after an intended change to a form; review the diff).
#include "WidgetTreeDump.h"

#include "dialogs/LogWindow.h"
#include "dialogs/MessageBoxDlg.h"
#include "dialogs/VersionInfo.h"
#include "mainwindow/Brelvo.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <functional>
#include <memory>

namespace {

QString referencePath(const QString& name)
{
    return QStringLiteral(BRELVO_FORM_REFERENCES "/") + name + QStringLiteral(".txt");
}

// Shown offscreen, so the layouts have placed everything as on a screen.
QString dumpShown(QWidget* form)
{
    form->show();
    if (!QTest::qWaitForWindowExposed(form))
        return QStringLiteral("not exposed");
    QApplication::processEvents();
    return dumpWidgetTree(form);
}

// Index of the first line where two dumps differ, with both lines.
QString firstDifference(const QString& expected, const QString& actual)
{
    const QStringList e = expected.split(QLatin1Char('\n')), a = actual.split(QLatin1Char('\n'));
    for (int i = 0; i < qMax(e.size(), a.size()); ++i) {
        const QString el = i < e.size() ? e.at(i) : QStringLiteral("<end>");
        const QString al = i < a.size() ? a.at(i) : QStringLiteral("<end>");
        if (el != al)
            return QStringLiteral("line %1\n  expected: %2\n  actual:   %3").arg(i + 1).arg(el, al);
    }
    return QString();
}

} // namespace

class FormTreeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile sheet(QStringLiteral(":/Resources/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }

    void form_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("main window") << "Brelvo";
        QTest::newRow("message box") << "MessageBox";
        QTest::newRow("about dialog") << "AboutForm";
        QTest::newRow("log window") << "LogWindow";
    }

    void form()
    {
        QFETCH(QString, name);
        QString dump;
        if (name == QLatin1String("Brelvo")) {
            Brelvo window;
            // The local addresses differ per machine and size the address box.
            auto* addresses = window.findChild<QComboBox*>(QStringLiteral("ipList"));
            QVERIFY(addresses);
            addresses->clear();
            addresses->addItem(QStringLiteral("192.0.2.10"));
            dump = dumpShown(&window);
        } else if (name == QLatin1String("MessageBox")) {
            MessageBoxDlg box(nullptr);
            dump = dumpShown(&box);
        } else if (name == QLatin1String("LogWindow")) {
            QTranslator english;
            QVERIFY(english.load(QStringLiteral(":/Resources/English.qm")));
            QCoreApplication::installTranslator(&english);
            LogWindow log(nullptr);
            dump = dumpShown(&log);
            QCoreApplication::removeTranslator(&english);
        } else {
            QTranslator english;
            QVERIFY(english.load(QStringLiteral(":/Resources/English.qm")));
            QCoreApplication::installTranslator(&english);
            VersionInfo about;
            dump = dumpShown(&about);
        }

        QFile file(referencePath(name));
        if (qEnvironmentVariableIntValue("BRELVO_WRITE_FORM_REFERENCES") == 1) {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(dump.toUtf8());
            QSKIP("reference written");
        }
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QString expected = QString::fromUtf8(file.readAll());
        QVERIFY2(dump == expected, qPrintable(name + QStringLiteral(": ") + firstDifference(expected, dump)));
    }
};

// The window writes "server.ini" into the current directory, and reads the
// user's settings (which could choose another language): both go to folders
// of the test's own.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    FormTreeTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "FormTreeTest.moc"
