#pragma once
// Shared pieces of the main window tests: a window whose inner state the
// tests may read and a watcher that answers modal dialogs from the event loop.

#include "mainwindow/Brelvo.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/SWTableWidget.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>

class TestWindow : public Brelvo
{
public:
    explicit TestWindow(const QString& folder = QStringLiteral("/nonexistent/translations"))
        : Brelvo(folder, nullptr)
    {
        endProcess = [this] { ++endCalls; };
    }
    using Brelvo::pollTimer;
    using Brelvo::running;
    using Brelvo::server;
    using Brelvo::setInputsEnabled;
    using Brelvo::showJobs;
    using Brelvo::startButtonKey;
    using Brelvo::texts;
    using Brelvo::trayIcon;

    template <class T = QWidget> T* get(const char* name) { return findChild<T*>(QLatin1String(name)); }
    QString text(const char* name) { return get<QObject>(name)->property("text").toString(); }
    // Whether all seven run inputs are enabled (or all disabled).
    bool inputsEnabled(bool on)
    {
        int same = 0;
        for (const char* name : {"ipList", "bootCheck", "clearBoot", "selectPath", "initFilePath", "updateFilePath",
                                 "selectInitPath"})
            same += get(name)->isEnabled() == on;
        return same == 7;
    }
    int endCalls = 0;
};

// Answers each modal dialog met with the next queued action (by default a
// reject) and records its class, title and content.
class ModalWatcher : public QObject
{
public:
    using Action = std::function<void(QWidget*)>;
    struct Seen { QString className, title, content; };

    ModalWatcher()
    {
        connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start(10);
    }
    void queue(Action a) { actions.push_back(std::move(a)); }
    static Action press(const char* name)
    {
        return [name](QWidget* w) { w->findChild<QPushButton*>(QLatin1String(name))->click(); };
    }
    QList<Seen> seen;

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible())
            return;
        const auto label = [w](const char* name) {
            auto* l = w->findChild<QLabel*>(QLatin1String(name));
            return l ? l->text() : QString();
        };
        seen << Seen{QString::fromLatin1(w->metaObject()->className()), label("titleLab"), label("contentText")};
        Action a = [](QWidget* d) { qobject_cast<QDialog*>(d)->reject(); };
        if (!actions.empty())
            a = actions.front(), actions.pop_front();
        a(w);  // closes it, so the next poll does not meet it again
    }
    QTimer timer;
    std::deque<Action> actions;
};

// The window writes "server.ini" into the current directory.
#define BRELVO_WINDOW_TEST_MAIN(TestClass)                                                         \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        QTemporaryDir folder;                                                                      \
        QDir::setCurrent(folder.path());                                                           \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
