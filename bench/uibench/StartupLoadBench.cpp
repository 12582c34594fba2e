#include "UiBench.h"

#include "BenchHome.h"
#include "app/OvraApplication.h"
#include "mdbench/BenchOutput.h"
#include "mdbench/TreeGenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMainWindow>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <ctime>

#include <sys/resource.h>

namespace ovra::bench {
namespace {

// The heartbeat's period: a beat that comes this much later than due is a stall.
constexpr int kBeatMs = 5;

double peakResidentMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

} // namespace

// The app as a user starts it the first time on a large home: nothing indexed,
// the window shown at once, then indexing, words-inside-documents and text
// recognition running behind it. How soon the window paints, how long the GUI
// thread ever stops answering, how much of the machine the app takes and how
// much memory it holds.
int runStartupLoadBench(BenchApplication& app, const QStringList& args)
{
    const long files = option(args, QStringLiteral("--files"), QStringLiteral("1000000")).toLong();
    const int seconds = option(args, QStringLiteral("--seconds"), QStringLiteral("60")).toInt();
    QString dir = option(args, QStringLiteral("--dir"));
    if (!dir.isEmpty()) dir = QFileInfo(dir).absoluteFilePath();
    // A fresh scratch folder for the settings and caches: nothing is indexed yet.
    BenchHome home(dir);
    // A folder that already holds files is a tree made by an earlier run.
    if (QDir(home.home()).isEmpty()) {
        Stopwatch generating;
        generateTree(home.home(), files);
        report("startup-load", QStringLiteral("generate_ms"), generating.elapsedMs(), "ms");
    }
    QApplication::setApplicationName(QStringLiteral("Ovra"));

    QElapsedTimer clock;
    clock.start();
    const double cpuStart = clockMs(CLOCK_PROCESS_CPUTIME_ID);
    // The first frame is done when the outermost event during which the
    // window's widgets painted has been handled.
    double firstPaint = -1;
    QWidget* window = nullptr;
    int depth = 0;
    bool painting = false;
    app.beforeEvent = [&](QObject*, QEvent*) { ++depth; };
    app.afterEvent = [&](QObject* receiver, QEvent* event) {
        --depth;
        if (firstPaint >= 0 || !window) return;
        const auto* widget = qobject_cast<QWidget*>(receiver);
        if (event->type() == QEvent::Paint && widget && widget->window() == window) painting = true;
        if (painting && depth == 0) firstPaint = double(clock.nsecsElapsed()) / 1e6;
    };

    // Made here and destroyed at the end of this function, as main does.
    OvraApplication ovra;
    window = ovra.showWindow();

    // Stalls count from the end of the first frame, which first_paint_ms covers.
    double lastBeat = -1;
    double maxStall = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        if (firstPaint < 0) return;
        if (lastBeat >= 0) maxStall = std::max(maxStall, now - lastBeat - kBeatMs);
        lastBeat = now;
    });
    heartbeat.start(kBeatMs);

    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    heartbeat.stop();
    const double wall = double(clock.nsecsElapsed()) / 1e6;
    const double cpu = clockMs(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    app.beforeEvent = nullptr;
    app.afterEvent = nullptr;

    report("startup-load", QStringLiteral("first_paint_ms"), firstPaint, "ms");
    report("startup-load", QStringLiteral("max_stall_ms"), maxStall, "ms");
    report("startup-load", QStringLiteral("cores_used"), cpu / wall, "cores");
    report("startup-load", QStringLiteral("peak_rss_mb"), peakResidentMb(), "MB");
    std::fflush(stdout);
    return 0;
}

} // namespace ovra::bench
