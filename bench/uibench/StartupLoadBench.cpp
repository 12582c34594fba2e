#include "UiBench.h"

#include "BenchHome.h"
#include "ProcessSampler.h"
#include "app/OvraApplication.h"
#include "app/StartupPipeline.h"
#include "common/BenchOutput.h"
#include "common/TreeGenerator.h"
#include "duplicates/DuplicateFinder.h"
#include "library/LibraryStore.h"
#include "platform/content/ContentIndexer.h"
#include "services/TextIndex.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMainWindow>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>
#include <vector>

namespace ovra::bench {
namespace {

// The heartbeat's period: a beat that comes this much later than due is a stall.
constexpr int kBeatMs = 5;
// How often the app's state is looked at for the end of each part of the work.
constexpr int kPollMs = 200;

constexpr const char* kBench = "startup-load";

// The parts of the first start's background work, in the order they usually
// end, each timed from the app's creation to its end.
enum class Part { collections, pipeline, duplicates, textIndex, contentIndex };

const char* metricOf(Part part)
{
    switch (part) {
    case Part::collections: return "collections_ms";
    case Part::pipeline: return "pipeline_ms";
    case Part::duplicates: return "duplicate_scan_ms";
    case Part::textIndex: return "text_recognition_ms";
    case Part::contentIndex: return "content_index_ms";
    }
    return "";
}

// Follows the app's own objects on the GUI thread (property reads only) to
// tell when each part of the first indexing has ended.
class FirstIndexing : public QObject {
public:
    FirstIndexing(const AppContext& context, QMainWindow* window)
        : m_context(context)
        , m_window(window)
    {
        if (m_context.contentIndexer)
            connect(m_context.contentIndexer, &content::ContentIndexer::finished, this,
                    [this] { m_contentPasses++; });
    }

    // The parts that ended since the last call.
    std::vector<Part> poll()
    {
        findPipeline();
        std::vector<Part> ended;
        auto check = [&](Part part, bool done) {
            if (done && !m_ended.contains(part)) {
                m_ended.insert(part);
                ended.push_back(part);
            }
        };
        check(Part::collections, collectionsLoaded());
        check(Part::pipeline, m_pipelineFinished);
        check(Part::duplicates, m_pipelineFinished && duplicatesDone());
        check(Part::textIndex, m_pipelineFinished && textDone());
        check(Part::contentIndex, m_pipelineFinished && contentDone());
        return ended;
    }
    bool isComplete() const { return m_ended.size() == 5; }

    // What a progress line shows of the work still running.
    QString progress() const
    {
        QString out;
        if (auto* indexer = m_context.contentIndexer)
            out += QStringLiteral(", \"content_done\": %1, \"content_total\": %2")
                       .arg(indexer->done())
                       .arg(indexer->total());
        if (auto* text = m_context.textIndex)
            out += QStringLiteral(", \"text_done\": %1, \"text_total\": %2")
                       .arg(text->done())
                       .arg(text->total());
        QStringList ended;
        for (Part part : m_ended)
            ended << QString::fromLatin1(metricOf(part)).chopped(3);
        out += QStringLiteral(", \"ended\": \"%1\"").arg(ended.join(u' '));
        return out;
    }

private:
    void findPipeline()
    {
        if (m_pipeline) return;
        m_pipeline = m_window->findChild<StartupPipeline*>();
        if (m_pipeline)
            connect(m_pipeline, &StartupPipeline::finished, this,
                    [this] { m_pipelineFinished = true; });
    }

    bool collectionsLoaded() const
    {
        const LibraryStore* library = m_context.library;
        if (!library) return true;
        const QList<SidebarItem> items = StartupPipeline::startupList();
        return std::all_of(items.cbegin(), items.cend(), [library](const SidebarItem& item) {
            return library->collections().contains(item) && !library->isLoading(item);
        });
    }

    bool duplicatesDone() const
    {
        const auto* finder = qobject_cast<const DuplicateFinder*>(m_context.duplicates);
        return !finder || !finder->phase().isBusy();
    }

    bool textDone() const { return !m_context.textIndex || !m_context.textIndex->isIndexing(); }

    // The pipeline starts the first pass as its collections end; a pass asked
    // for while one ran follows it.
    bool contentDone() const
    {
        const content::ContentIndexer* indexer = m_context.contentIndexer;
        return !indexer || (m_contentPasses > 0 && !indexer->isRunning());
    }

    const AppContext& m_context;
    QMainWindow* m_window;
    StartupPipeline* m_pipeline = nullptr;
    bool m_pipelineFinished = false;
    int m_contentPasses = 0;
    std::set<Part> m_ended;
};

void reportProgress(double atS, const ProcessSampler::Reading& now,
                    const ProcessSampler::Reading& before, double intervalS,
                    const FirstIndexing& indexing)
{
    std::printf("{\"bench\": \"%s\", \"metric\": \"progress\", \"at_s\": %.0f, \"rss_mb\": %.0f, "
                "\"helpers_rss_mb\": %.0f, \"helpers_pss_mb\": %.0f, \"helpers\": %d, "
                "\"app_cores\": %.2f, "
                "\"helpers_cores\": %.2f%s, \"load\": %.1f}\n",
                kBench, atS, now.appRssMb, now.helpersRssMb, now.helpersPssMb, now.helpers,
                (now.appCpuSeconds - before.appCpuSeconds) / intervalS,
                (now.helpersCpuSeconds - before.helpersCpuSeconds) / intervalS,
                indexing.progress().toUtf8().constData(), loadAverage());
    std::fflush(stdout);
}

} // namespace

// The app as a user starts it the first time on a large home: nothing indexed,
// the window shown at once, then indexing, words-inside-documents, text
// recognition and the duplicate scan running behind it, until all of them have
// ended. How soon the window paints, how long the GUI thread ever stops
// answering, when each part of the work ends, how much of the machine the app
// and its helpers take and how much memory they hold.
int runStartupLoadBench(BenchApplication& app, const Arguments& args)
{
    const long files = args.integer(QStringLiteral("--files"), 1000000);
    // A fixed length, as the first-minute figures were taken; else until the end.
    const int seconds = int(args.integer(QStringLiteral("--seconds"), 0));
    const int maxSeconds = int(args.integer(QStringLiteral("--max-seconds"), 3600));
    const int everySeconds = int(args.integer(QStringLiteral("--every"), 30));
    QString dir = args.text(QStringLiteral("--dir"));
    if (!dir.isEmpty()) dir = QFileInfo(dir).absoluteFilePath();
    // A fresh scratch folder for the settings and caches: nothing is indexed yet.
    BenchHome home(dir);
    // A folder that already holds files is a tree made by an earlier run.
    if (QDir(home.home()).isEmpty()) {
        Stopwatch generating;
        generateTree(home.home(), files);
        report(kBench, QStringLiteral("generate_ms"), generating.elapsedMs(), "ms");
    }
    QApplication::setApplicationName(QStringLiteral("Ovra"));
    report(kBench, QStringLiteral("load_average"), loadAverage(), "load");

    ProcessSampler sampler;
    QElapsedTimer clock;
    clock.start();
    const ProcessSampler::Reading start = ProcessSampler::read(false);
    auto elapsedMs = [&] { return double(clock.nsecsElapsed()) / 1e6; };
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
        if (painting && depth == 0) {
            firstPaint = elapsedMs();
            report(kBench, QStringLiteral("first_paint_ms"), firstPaint, "ms");
        }
    };

    // Made here and destroyed at the end of this function, as main does.
    OvraApplication ovra;
    QMainWindow* mainWindow = ovra.showWindow();
    window = mainWindow;

    // Stalls count from the end of the first frame, which first_paint_ms covers.
    double lastBeat = -1;
    double maxStall = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double now = elapsedMs();
        if (firstPaint < 0) return;
        if (lastBeat >= 0) maxStall = std::max(maxStall, now - lastBeat - kBeatMs);
        lastBeat = now;
    });
    heartbeat.start(kBeatMs);

    QEventLoop loop;
    FirstIndexing indexing(ovra.context(), mainWindow);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (Part part : indexing.poll())
            report(kBench, QString::fromLatin1(metricOf(part)), elapsedMs(), "ms");
        if (seconds == 0 && indexing.isComplete()) {
            report(kBench, QStringLiteral("complete_ms"), elapsedMs(), "ms");
            loop.quit();
        }
    });
    poll.start(kPollMs);
    ProcessSampler::Reading lastProgress = start;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        const ProcessSampler::Reading now = sampler.last();
        reportProgress(elapsedMs() / 1000, now, lastProgress, everySeconds, indexing);
        lastProgress = now;
    });
    progress.start(everySeconds * 1000);
    QTimer::singleShot((seconds > 0 ? seconds : maxSeconds) * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    heartbeat.stop();
    poll.stop();
    progress.stop();
    const double wall = elapsedMs() / 1000;
    const ProcessSampler::Reading end = ProcessSampler::read();
    app.beforeEvent = nullptr;
    app.afterEvent = nullptr;

    if (seconds == 0 && !indexing.isComplete())
        report(kBench, QStringLiteral("incomplete_after_ms"), wall * 1000, "ms");
    const double appCores =
        (end.appCpuSeconds - start.appCpuSeconds - sampler.ownCpuSeconds()) / wall;
    const double helperCores = (end.helpersCpuSeconds - start.helpersCpuSeconds) / wall;
    report(kBench, QStringLiteral("max_stall_ms"), maxStall, "ms");
    report(kBench, QStringLiteral("cores_used"), appCores, "cores");
    report(kBench, QStringLiteral("helpers_cores_used"), helperCores, "cores");
    report(kBench, QStringLiteral("share_of_cores"),
           (appCores + helperCores) / std::max(1, QThread::idealThreadCount()), "fraction");
    report(kBench, QStringLiteral("peak_rss_mb"), ProcessSampler::appPeakRssMb(), "MB");
    report(kBench, QStringLiteral("helpers_peak_rss_mb"),
           std::max(sampler.helpersPeakRssMb(), end.helpersRssMb), "MB");
    report(kBench, QStringLiteral("helpers_peak_pss_mb"),
           std::max(sampler.helpersPeakPssMb(), end.helpersPssMb), "MB");
    report(kBench, QStringLiteral("load_average"), loadAverage(), "load");
    return 0;
}

} // namespace ovra::bench
