#include "UiBench.h"

#include "BenchHome.h"
#include "app/ContentView.h"
#include "app/OvraApplication.h"
#include "app/StartupPipeline.h"
#include "common/BenchOutput.h"
#include "common/TreeGenerator.h"
#include "library/LibraryStore.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ovra::bench {
namespace {

// The child writes its reports to this descriptor, which the driver's pipe is
// placed on before the child's program starts.
constexpr int kReportFd = 3;
// A start that has not shown its collections by then is reported as failed.
constexpr int kChildTimeoutMs = 10 * 60 * 1000;

// The one clock both processes read: the driver's spawn and the child's frames
// are on the same time line.
qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void tell(const char* what, qint64 value)
{
    char line[96];
    const int n =
        std::snprintf(line, sizeof line, "%s %lld\n", what, static_cast<long long>(value));
    if (::write(kReportFd, line, size_t(n)) != n) {
        // The driver has gone; the child ends anyway.
    }
}

// Reports every frame of `window` once it is done: the outermost event during
// which one of its widgets painted has been handled (what a user sees once the
// backing store is flushed).
class FrameWatch {
public:
    struct Frame {
        bool showsContent = false; // the app's content view painted in it
        bool readyBefore = false;  // `isReady` held as its painting began
    };
    std::function<bool()> isReady;
    std::function<void(const Frame&)> onFrame;

    explicit FrameWatch(BenchApplication& app)
        : m_app(app)
    {
        // The receiver is looked at before it handles the event: a deferred
        // delete leaves nothing to look at after.
        m_app.beforeEvent = [this](QObject* receiver, QEvent* event) {
            ++m_depth;
            if (!m_window || event->type() != QEvent::Paint) return;
            const auto* widget = qobject_cast<QWidget*>(receiver);
            if (!widget || widget->window() != m_window) return;
            if (!m_painting) m_frame = {false, isReady && isReady()};
            m_painting = true;
            if (qobject_cast<const ContentView*>(widget)) m_frame.showsContent = true;
        };
        m_app.afterEvent = [this](QObject*, QEvent*) {
            --m_depth;
            if (!m_painting || m_depth != 0) return;
            m_painting = false;
            if (onFrame) onFrame(m_frame);
        };
    }
    ~FrameWatch()
    {
        m_app.beforeEvent = nullptr;
        m_app.afterEvent = nullptr;
    }

    void setWindow(QWidget* window) { m_window = window; }

private:
    BenchApplication& m_app;
    QWidget* m_window = nullptr;
    int m_depth = 0;
    bool m_painting = false;
    Frame m_frame;
};

bool allCollectionsLoaded(const LibraryStore& library)
{
    for (const SidebarItem& item : StartupPipeline::startupList())
        if (!library.collections().contains(item) || library.isLoading(item)) return false;
    return true;
}

struct ChildRun {
    bool ok = false;
    double firstWindowMs = -1;
    double contentMs = -1;
    double collectionsMs = -1;
    QHash<QString, qint64> counts; // each collection's total, by title
    // Where the time before the first frame went: each step's end, from the spawn.
    QHash<QString, double> steps;
};

// Starts this program as a child in `mode` and reads its reports, timing from
// just before the spawn.
ChildRun spawnChild(const QString& mode)
{
    ChildRun run;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], kReportFd);
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray modeArg = mode.toUtf8();
    char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>("startup-child"),
                    const_cast<char*>(modeArg.constData()), nullptr};

    const qint64 start = monotonicNs();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return run;
    }

    QByteArray received;
    char buffer[4096];
    const qint64 deadline = start + qint64(kChildTimeoutMs) * 1'000'000;
    bool timedOut = false;
    for (;;) {
        const qint64 left = (deadline - monotonicNs()) / 1'000'000;
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        received.append(buffer, n);
    }
    ::close(fds[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }

    for (const QByteArray& line : received.split('\n')) {
        const qsizetype space = line.lastIndexOf(' ');
        if (space < 0) continue;
        const QByteArray what = line.left(space);
        const qint64 value = line.mid(space + 1).toLongLong();
        if (what == "first_window")
            run.firstWindowMs = double(value - start) / 1e6;
        else if (what == "content")
            run.contentMs = double(value - start) / 1e6;
        else if (what == "collections")
            run.collectionsMs = double(value - start) / 1e6;
        else if (what.startsWith("count "))
            run.counts.insert(QString::fromUtf8(what.mid(6)), value);
        else if (what.startsWith("step "))
            run.steps.insert(QString::fromUtf8(what.mid(5)), double(value - start) / 1e6);
    }
    run.ok = !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0 && run.firstWindowMs >= 0 &&
             (mode == u"bare" || run.collectionsMs >= 0);
    if (!run.ok)
        std::fprintf(stderr, "startup: the %s start failed (%s, status %d): %s\n",
                     modeArg.constData(), timedOut ? "timed out" : "ended", status,
                     received.constData());
    return run;
}

double median(std::vector<double> values)
{
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double maximum(const std::vector<double>& values)
{
    return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

void emptyFolder(const QString& path)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
}

// The Ovra window as main() makes it.
int runAppChild(BenchApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("Ovra"));
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Logo")));
    FrameWatch frames(app);
    OvraApplication ovra;
    tell("step made", monotonicNs());
    LibraryStore& library = *ovra.context().library;

    bool firstShown = false, contentShown = false, collectionsShown = false;
    frames.isReady = [&] { return allCollectionsLoaded(library); };
    frames.onFrame = [&](const FrameWatch::Frame& frame) {
        if (!firstShown) tell("first_window", monotonicNs());
        firstShown = true;
        if (frame.showsContent && !contentShown) tell("content", monotonicNs());
        contentShown = contentShown || frame.showsContent;
        if (collectionsShown || !frame.readyBefore || !contentShown) return;
        collectionsShown = true;
        tell("collections", monotonicNs());
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    };
    // Made after the app's objects, gone before them: the connections go first.
    QObject watching;
    bool counted = false;
    const auto whenLoaded = [&] {
        if (counted || !allCollectionsLoaded(library)) return;
        counted = true;
        // Taken now: a reload after the index caught up may change them later.
        for (const SidebarItem& item : StartupPipeline::startupList())
            tell(("count " + item.title().toStdString()).c_str(),
                 library.collections().value(item).totalCount);
        // The screens repaint what changed; a frame is asked for in case nothing did.
        if (QWidget* window = ovra.showWindow()) window->update();
    };
    QObject::connect(&library, &LibraryStore::collectionsChanged, &watching, whenLoaded);
    QObject::connect(&library, &LibraryStore::loadingChanged, &watching, whenLoaded);
    frames.setWindow(ovra.showWindow());
    tell("step shown", monotonicNs());
    // Quitting saves what the index holds, as closing the window would.
    const int code = app.exec();
    frames.setWindow(nullptr);
    return code;
}

// A plain window of the app's size: what a start costs with none of the app.
int runBareChild(BenchApplication& app)
{
    FrameWatch frames(app);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(OvraApplication::kWindowWidth, OvraApplication::kWindowHeight);
    frames.setWindow(&window);
    tell("step made", monotonicNs());
    bool shown = false;
    frames.onFrame = [&](const FrameWatch::Frame&) {
        if (shown) return;
        shown = true;
        tell("first_window", monotonicNs());
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    };
    window.show();
    tell("step shown", monotonicNs());
    return app.exec();
}

struct Series {
    std::vector<double> firstWindow;
    std::vector<double> content;
    std::vector<double> collections;
    QHash<QString, qint64> counts;
    QHash<QString, std::vector<double>> steps;
    int failed = 0;

    void add(const ChildRun& run)
    {
        if (!run.ok) {
            ++failed;
            return;
        }
        firstWindow.push_back(run.firstWindowMs);
        if (run.contentMs >= 0) content.push_back(run.contentMs);
        if (run.collectionsMs >= 0) collections.push_back(run.collectionsMs);
        counts = run.counts;
        for (auto it = run.steps.cbegin(); it != run.steps.cend(); ++it)
            steps[it.key()].push_back(it.value());
    }
};

void reportSeries(const Series& series, const QString& label)
{
    report("startup", QStringLiteral("first_window_ms_median[%1]").arg(label),
           median(series.firstWindow), "ms");
    report("startup", QStringLiteral("first_window_ms_max[%1]").arg(label),
           maximum(series.firstWindow), "ms");
    if (!series.content.empty())
        report("startup", QStringLiteral("content_ms_median[%1]").arg(label),
               median(series.content), "ms");
    if (!series.collections.empty()) {
        report("startup", QStringLiteral("collections_ms_median[%1]").arg(label),
               median(series.collections), "ms");
        report("startup", QStringLiteral("collections_ms_max[%1]").arg(label),
               maximum(series.collections), "ms");
    }
    for (const char* step : {"application", "made", "shown"})
        if (const auto it = series.steps.find(QString::fromLatin1(step)); it != series.steps.end())
            report("startup", QStringLiteral("%1_ms_median[%2]").arg(QLatin1String(step), label),
                   median(*it), "ms");
    if (series.failed > 0)
        report("startup", QStringLiteral("failed_runs[%1]").arg(label), series.failed, "runs");
}

} // namespace

int runStartupChild(BenchApplication& app, const Arguments& args)
{
    // The app's own helper processes must not hold the driver's pipe open.
    ::fcntl(kReportFd, F_SETFD, FD_CLOEXEC);
    // The program loaded and its QApplication made: the same in both modes.
    tell("step application", monotonicNs());
    return args.word(0) == u"bare" ? runBareChild(app) : runAppChild(app);
}

// The app started as a process, from the spawn to its first painted frame and
// to the frame that shows all nine start-up collections, beside a bare Qt
// window started by the same program; with the index's saved tables emptied
// before each start, and then with the tables the previous start saved.
int runStartupBench(BenchApplication&, const Arguments& args)
{
    const long files = args.integer(QStringLiteral("--files"), 100000);
    const int runs = std::max(1, int(args.integer(QStringLiteral("--runs"), 5)));
    // A start without a saved index walks and reads the whole home: minutes for
    // a million files, so it may be run fewer times.
    const int coldRuns =
        std::clamp(int(args.integer(QStringLiteral("--cold-runs"), runs)), 1, runs);
    QString dir = args.text(QStringLiteral("--home"));
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: ovra-uibench startup --home DIR [--files N] [--runs N] "
                             "[--cold-runs N]\n");
        return 2;
    }
    dir = QFileInfo(dir).absoluteFilePath();
    // The children inherit HOME and the XDG folders pointed into scratch space.
    BenchHome home(dir);
    if (QDir(home.home()).isEmpty()) {
        Stopwatch generating;
        generateTree(home.home(), files);
        report("startup", QStringLiteral("generate_ms"), generating.elapsedMs(), "ms");
    }
    // Only the app's own caches go between starts without a saved index: the
    // media framework's and the fonts' caches stay, as on any used computer.
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/Ovra");
    // The app finds its helper beside its program; the children are this program.
    if (!qEnvironmentVariableIsSet("OVRA_EXTRACT")) qputenv("OVRA_EXTRACT", OVRA_EXTRACT_PROGRAM);

    // Each start with a saved index is paired with a bare one, so both see the
    // same load on a shared machine.
    Series bare, cold, warm;
    for (int i = 0; i < coldRuns; ++i) {
        bare.add(spawnChild(QStringLiteral("bare")));
        emptyFolder(cache);
        cold.add(spawnChild(QStringLiteral("app")));
    }
    // The last start without a saved index saved its tables as it quit.
    for (int i = 0; i < runs; ++i) {
        bare.add(spawnChild(QStringLiteral("bare")));
        warm.add(spawnChild(QStringLiteral("app")));
    }

    report("startup", QStringLiteral("runs[saved index]"), runs, "runs");
    report("startup", QStringLiteral("runs[no saved index]"), coldRuns, "runs");
    reportSeries(bare, QStringLiteral("bare window"));
    reportSeries(cold, QStringLiteral("no saved index"));
    reportSeries(warm, QStringLiteral("saved index"));
    std::vector<double> app = cold.firstWindow;
    app.insert(app.end(), warm.firstWindow.begin(), warm.firstWindow.end());
    const double bareMedian = median(bare.firstWindow);
    if (bareMedian > 0 && !app.empty())
        report("startup", QStringLiteral("first_window_ratio"), median(app) / bareMedian, "ratio");
    for (auto it = warm.counts.cbegin(); it != warm.counts.cend(); ++it)
        report("startup", QStringLiteral("collection_total[%1]").arg(it.key()), double(it.value()),
               "files");
    // A saved index must answer as a walk of the same unchanged home does.
    if (!cold.counts.isEmpty() && !warm.counts.isEmpty())
        report("startup", QStringLiteral("saved_answers_agree"), cold.counts == warm.counts ? 1 : 0,
               "flag");
    return cold.failed + warm.failed + bare.failed > 0 ? 1 : 0;
}

} // namespace ovra::bench
