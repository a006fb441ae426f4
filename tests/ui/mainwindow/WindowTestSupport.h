#pragma once
// Shared pieces of the main window tests: a window whose inner state the
// tests may read, a watcher that answers modal dialogs from the event loop
// (never by sleeping), and a private working folder for "server.ini".

#include "mainwindow/Brelvo.h"
#include "server/UpdateServer.h"

#include <QAbstractButton>
#include <QAction>
#include <QHostAddress>
#include <QLayout>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

class TestWindow : public Brelvo
{
public:
    TestWindow() { endProcess = [this] { ++endCalls; }; }
    explicit TestWindow(const QString& translationsFolder) : Brelvo(translationsFolder, nullptr)
    {
        endProcess = [this] { ++endCalls; };
    }

    using Brelvo::applyLanguage;
    using Brelvo::endProcess;
    using Brelvo::loadLanguageList;
    using Brelvo::setInputsEnabled;
    using Brelvo::showJobs;

    using Brelvo::aboutAction;
    using Brelvo::columnCount;
    using Brelvo::dragging;
    using Brelvo::pollTimer;
    using Brelvo::rowCount;
    using Brelvo::running;
    using Brelvo::server;
    using Brelvo::startButtonKey;
    using Brelvo::texts;
    using Brelvo::translationFiles;
    using Brelvo::translationPath;
    using Brelvo::trayIcon;
    using Brelvo::trayMenu;

    // Private slots are reached the way a connection would reach them.
    void call(const char* slot) { QMetaObject::invokeMethod(this, slot, Qt::DirectConnection); }

    int endCalls = 0;
};

// What a modal dialog showed when the watcher met it.
struct SeenDialog
{
    QString className;
    QString objectName;
    QString windowTitle;
    QString title;    // titleLab / TitleLab
    QString content;  // contentText
    bool cancelVisible = false;
};

// Polls for the application's modal widget and answers it with the next
// queued action (by default: reject). Every dialog met is recorded.
class ModalWatcher : public QObject
{
public:
    using Action = std::function<void(QWidget*)>;

    ModalWatcher()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    void queue(Action action) { actions.push_back(std::move(action)); }

    static Action press(const char* buttonName)
    {
        return [buttonName](QWidget* w) {
            if (auto* b = w->findChild<QAbstractButton*>(QLatin1String(buttonName))) {
                b->click();
                return;
            }
            if (auto* d = qobject_cast<QDialog*>(w))
                d->reject();
        };
    }
    static Action reject()
    {
        return [](QWidget* w) {
            if (auto* d = qobject_cast<QDialog*>(w))
                d->reject();
            else
                w->close();
        };
    }
    // Answers a file dialog with `path` (an empty path cancels).
    static Action choose(const QString& path)
    {
        return [path](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d) {
                w->close();
                return;
            }
            if (path.isEmpty()) {
                d->reject();
                return;
            }
            d->selectFile(path);
            QMetaObject::invokeMethod(d, "accept", Qt::DirectConnection);
        };
    }

    QList<SeenDialog> seen;
    QStringList fileDialogDirectories;

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == handling)
            return;
        handling = w;
        SeenDialog s;
        s.className = QString::fromLatin1(w->metaObject()->className());
        s.objectName = w->objectName();
        s.windowTitle = w->windowTitle();
        for (const char* name : {"titleLab", "TitleLab"})
            if (auto* l = w->findChild<QLabel*>(QLatin1String(name)))
                s.title = l->text();
        if (auto* l = w->findChild<QLabel*>(QStringLiteral("contentText")))
            s.content = l->text();
        if (auto* b = w->findChild<QWidget*>(QStringLiteral("cancelBtn")))
            s.cancelVisible = b->isVisibleTo(w);
        if (auto* fd = qobject_cast<QFileDialog*>(w))
            fileDialogDirectories << fd->directory().absolutePath();
        seen << s;
        Action a = actions.empty() ? reject() : actions.front();
        if (!actions.empty())
            actions.pop_front();
        QPointer<QWidget> guard(w);
        a(w);
        // The same widget may come back later (a second showing at the same
        // address): forget it once it has gone.
        QTimer::singleShot(0, this, [this, guard] {
            if (!guard || !guard->isVisible())
                handling = nullptr;
        });
    }

    QTimer timer;
    std::deque<Action> actions;
    QPointer<QWidget> handling;
};

// Every test runs with its own working folder, since the window writes
// "server.ini" into the current directory.
class WorkingFolder
{
public:
    WorkingFolder() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~WorkingFolder() { QDir::setCurrent(previous); }
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    QString previous;
};

// The offscreen platform unless the caller chose one.
inline void useOffscreenPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

#define BRELVO_WINDOW_TEST_MAIN(TestClass)                                                         \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        useOffscreenPlatform();                                                                    \
        QApplication app(argc, argv);                                                              \
        WorkingFolder folder;                                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
