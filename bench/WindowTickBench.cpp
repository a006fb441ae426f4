// SPDX-License-Identifier: MIT
// Cost of one window tick: the device table with 100 rows is brought up to
// date from 100 job snapshots covering every status (0..15 and an unknown
// code; the statuses move on by one each tick, so every status cell changes
// every time), then the events that tick posted are delivered (the repaint
// of what changed included). Offscreen Qt, no network.
//
// Three ways side by side, in alternating blocks of ticks:
//   new          the catalogue installed once; a tick looks texts up in it
//   old-resource the former look-up: per row a transient catalogue loaded
//                from the built-in resources, installed around one tr(),
//                each install and removal announcing a language change to
//                every widget
//   old-disk     the same with the catalogue read from a translations
//                folder on disk
// The former look-ups live only here (BenchWindow), not in the product.
//
//   QT_QPA_PLATFORM=offscreen BUILD/bench/brelvo-bench-window-tick [ticks] [way]
//
// A way named as second argument runs that way alone (for a profiler).
// Prints per way, in ms per tick: the median of the table update alone, the
// median and 90th percentile of the whole tick (update and posted events,
// wall clock), and the thread's processor time per tick (per block of ten
// ticks; it leaves out waiting for a core on a busy machine). The goal is a median tick of at
// most 2 ms for "new". Exit code 0; 1 when the window could not be set up,
// 2 for an unknown way.

#include "job/JobSnapshot.h"
#include "mainwindow/Brelvo.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

enum class Way { New, OldResource, OldDisk };

class BenchWindow : public Brelvo
{
public:
    explicit BenchWindow(const QString& translations)
        : Brelvo(translations, nullptr)
        , diskCatalogue_(translations + QStringLiteral("/English.qm"))
    {
        setEndProcess([] {});
    }
    using Brelvo::showJobs;

    Way way = Way::New;

    QString statusText(int code) const override
    {
        if (way == Way::New)
            return Brelvo::statusText(code);
        QTranslator translator;
        translator.load(way == Way::OldDisk ? diskCatalogue_ : QStringLiteral(":/Resources/English.qm"));
        QCoreApplication::installTranslator(&translator);
        const QString text = Brelvo::statusText(code);
        QCoreApplication::removeTranslator(&translator);
        return text;
    }

protected:
    // The former window had no texts to redo on a language change; the
    // change still travelled through every widget (QWidget::event does that).
    void changeEvent(QEvent* event) override
    {
        if (way != Way::New && event->type() == QEvent::LanguageChange) {
            QWidget::changeEvent(event);
            return;
        }
        Brelvo::changeEvent(event);
    }

private:
    QString diskCatalogue_;
};

std::vector<brelvo::JobSnapshot> jobsForTick(int tick)
{
    static const int kStatuses[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 99};
    constexpr int kCount = sizeof kStatuses / sizeof kStatuses[0];
    std::vector<brelvo::JobSnapshot> jobs(100);
    for (int i = 0; i < 100; ++i) {
        brelvo::JobSnapshot& s = jobs[static_cast<size_t>(i)];
        s.id = static_cast<uint64_t>(i + 1);
        s.status = kStatuses[(i + tick) % kCount];
        s.progress = (i * 7 + tick) % 101;
        s.finished = s.status >= 7 && s.status != 8;
        s.lentAddress = htonl(0x0AD50700u + static_cast<uint32_t>(i + 2));
    }
    return jobs;
}

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// This thread's processor time in ms: on a machine shared with other work
// it does not count the time spent waiting for a core.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    // Remembered settings of the user (another language, say) stay out of it.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    // The window writes "server.ini" into the working directory.
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    QDir(work.path()).mkdir(QStringLiteral("translations"));
    const QString translations = work.filePath(QStringLiteral("translations"));
    if (!QFile::copy(QStringLiteral(":/Resources/English.qm"), translations + QStringLiteral("/English.qm"))) {
        std::fprintf(stderr, "brelvo-bench-window-tick: cannot write %s/English.qm\n", qPrintable(translations));
        return 1;
    }

    BenchWindow window(translations);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "brelvo-bench-window-tick: the window was not shown (QT_QPA_PLATFORM=offscreen?)\n");
        return 1;
    }
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("tableWidget"));

    const Way ways[] = {Way::New, Way::OldResource, Way::OldDisk};
    const char* names[] = {"new", "old-resource", "old-disk"};
    std::vector<double> update[3], whole[3], cpu[3];
    int tick = 0;
    // One tick: the table brought up to date, then the events it posted
    // delivered (language changes, the repaint of what changed).
    const auto run = [&](int w, bool keep) {
        window.way = ways[w];
        const std::vector<brelvo::JobSnapshot> jobs = jobsForTick(tick++);
        const Clock::time_point t0 = Clock::now();
        window.showJobs(jobs);
        const double u = msSince(t0);
        QCoreApplication::sendPostedEvents();
        const double all = msSince(t0);
        if (keep) {
            update[w].push_back(u);
            whole[w].push_back(all);
        }
    };
    std::vector<int> chosen;
    for (int w = 0; w < 3; ++w)
        if (only.isEmpty() || only == QLatin1String(names[w]))
            chosen.push_back(w);
    if (chosen.empty()) {
        std::fprintf(stderr, "brelvo-bench-window-tick: unknown way '%s' (new, old-resource, old-disk)\n",
                     qPrintable(only));
        return 2;
    }
    for (int w : chosen) {  // warm up: rows, bars, their places (a timer lays them out), caches
        for (int i = 0; i < 10; ++i) {
            run(w, false);
            QCoreApplication::processEvents();
        }
    }
    // Processor time is read per block of ticks: reading it costs a system
    // call, which would weigh on a single tick.
    constexpr int kBlock = 10;
    while (static_cast<int>(whole[chosen.back()].size()) < ticks) {
        for (int w : chosen) {
            const double c0 = cpuMs();
            for (int i = 0; i < kBlock; ++i)
                run(w, true);
            cpu[w].push_back((cpuMs() - c0) / kBlock);
        }
    }

    if (!table || table->rowCount() != 100) {
        std::fprintf(stderr, "brelvo-bench-window-tick: the table has %d rows, not 100\n",
                     table ? table->rowCount() : -1);
        return 1;
    }
    std::printf("window tick, 100 rows, %d ticks per way (ms per tick)\n", ticks);
    std::printf("%-13s %11s %11s %11s %11s %11s\n", "way", "update p50", "tick p50", "tick p90", "cpu p50",
                "cpu p90");
    for (int w : chosen)
        std::printf("%-13s %11.3f %11.3f %11.3f %11.3f %11.3f\n", names[w], percentile(update[w], 0.5),
                    percentile(whole[w], 0.5), percentile(whole[w], 0.9), percentile(cpu[w], 0.5),
                    percentile(cpu[w], 0.9));
    if (!whole[0].empty())
        std::printf("goal: new tick p50 <= 2 ms: %s\n", percentile(whole[0], 0.5) <= 2.0 ? "met" : "NOT met");
    return 0;
}
