// `ovra-uibench thumbnails`: the thumbnail loader on generated 12-megapixel
// JPEGs and short H.264 videos, beside ffmpegthumbnailer run one process per
// core on the same files, both at 256 px, several runs of each: one short run
// on a shared machine says more about the machine than about either tool.

#include "UiBench.h"

#include "BenchHome.h"
#include "ProcessSampler.h"

#include "common/BenchOutput.h"
#include "common/PeerProcesses.h"
#include "services/ThumbnailGenerator.h"
#include "services/Thumbnails.h"
#include "ui/ThumbnailView.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace ovra::bench {

namespace {

constexpr int kPeerSide = 256;
// The loader's sides are in points at two pixels a point: 128 points is the
// 256 px the peer makes, which the loader rounds up to its 160-point bucket, so
// ours are the larger pictures (320 px).
constexpr double kLoaderSide = 128;
constexpr int kColumns = 8;
constexpr int kPatienceMs = 300'000;

// Videos are drawn in our helper processes, which live on between runs: their
// time is ours as much as the app's own.
double ourCpuSeconds()
{
    const ProcessSampler::Reading now = ProcessSampler::read(false);
    return now.appCpuSeconds + now.helpersCpuSeconds;
}

// Varied pictures, so the encoder and the decoder see content rather than flat
// colour: gradients, shapes and noise.
void writePhoto(const QString& path, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(4000, 3000, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 3000);
    sky.setColorAt(0, QColor::fromHsv(int(random.bounded(360)), 120, 230));
    sky.setColorAt(1, QColor::fromHsv(int(random.bounded(360)), 200, 90));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 60; ++i) {
        const QPointF centre(random.bounded(4000), random.bounded(3000));
        QRadialGradient blob(centre, 50 + random.bounded(600));
        blob.setColorAt(0, QColor::fromHsv(int(random.bounded(360)), 200, 250, 220));
        blob.setColorAt(1, QColor::fromHsv(int(random.bounded(360)), 180, 60, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(blob);
        painter.drawEllipse(centre, 700, 700);
    }
    painter.end();
    // Grain, as a camera leaves it, row by row.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(random.bounded(17)) - 8;
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + n, 0, 255), std::clamp(qGreen(p) + n, 0, 255),
                           std::clamp(qBlue(p) + n, 0, 255));
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(88);
    writer.write(image);
}

bool hasCommand(const QString& name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

struct OurRun {
    double seconds = 0;
    double cores = 0;
    double maxStallMs = 0;
    // What the GUI thread itself spent: beside the longest stall, it tells
    // work on the GUI thread from waiting for a core on a busy machine.
    double guiCpuMs = 0;
    // The most GUI-thread CPU time between two beats.
    double maxGuiBusyMs = 0;
    double firstPaintMs = 0;
    int failed = 0;
};

void printLine(const char* kind, const char* tool, int files, double seconds, double cores,
               int failed, double load, const OurRun* ours = nullptr)
{
    std::printf("{\"bench\": \"thumbnails\", \"kind\": \"%s\", \"tool\": \"%s\", \"files\": %d, "
                "\"seconds\": %.3f, \"per_second\": %.2f, \"cores\": %.2f, "
                "\"cpu_ms_per_file\": %.1f",
                kind, tool, files, seconds, files / seconds, cores, cores * seconds * 1000 / files);
    if (ours)
        std::printf(
            ", \"max_gui_stall_ms\": %.1f, \"max_gui_busy_ms\": %.1f, \"gui_cpu_ms\": %.1f, "
            "\"first_paint_ms\": %.1f",
            ours->maxStallMs, ours->maxGuiBusyMs, ours->guiCpuMs, ours->firstPaintMs);
    std::printf(", \"failed\": %d, \"load\": %.1f}\n", failed, load);
    std::fflush(stdout);
}

// Tells when every view has drawn its picture: a paint that begins once the
// picture is there draws it.
class PaintedPictures : public QObject {
public:
    explicit PaintedPictures(std::function<void()> allPainted)
        : m_allPainted(std::move(allPainted))
    {
    }

    void watch(ThumbnailView* view)
    {
        view->installEventFilter(this);
        m_waiting.insert(view);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint) return false;
        auto* view = static_cast<ThumbnailView*>(watched);
        if (view->shownThumbnail() && m_waiting.remove(view) && m_waiting.isEmpty()) m_allPainted();
        return false;
    }

private:
    std::function<void()> m_allPainted;
    QSet<ThumbnailView*> m_waiting;
};

// The files as the app shows them: a window of thumbnail views, each asking
// for its picture when it is first painted and drawing it once it arrives, so
// the GUI thread does the work of every delivery.
OurRun runOurs(Thumbnails& thumbnails, const QStringList& files, FileCategory category)
{
    OurRun run;
    QWidget window;
    auto* grid = new QGridLayout(&window);
    grid->setSpacing(4);
    std::vector<ThumbnailView*> views;
    for (qsizetype i = 0; i < files.size(); ++i) {
        auto* view = new ThumbnailView(thumbnails, &window);
        FileItem item;
        item.path = files[i];
        item.category = category;
        view->setItem(item);
        view->setFixedSize(int(kLoaderSide), int(kLoaderSide));
        view->setCornerRadius(8);
        grid->addWidget(view, int(i / kColumns), int(i % kColumns));
        views.push_back(view);
    }

    // The GUI thread's heartbeat: the longest gap between beats is its longest stall.
    QElapsedTimer beat;
    QTimer heart;
    heart.setTimerType(Qt::PreciseTimer);
    heart.setInterval(2);
    double maxGap = 0;
    double lastCpu = cpuSeconds(RUSAGE_THREAD);
    QObject::connect(&heart, &QTimer::timeout, [&] {
        maxGap = std::max(maxGap, beat.nsecsElapsed() / 1e6);
        beat.restart();
        const double cpu = cpuSeconds(RUSAGE_THREAD);
        run.maxGuiBusyMs = std::max(run.maxGuiBusyMs, (cpu - lastCpu) * 1000);
        lastCpu = cpu;
    });
    QEventLoop loop;
    PaintedPictures painted([&] { loop.quit(); });
    for (ThumbnailView* view : views)
        painted.watch(view);
    // A view still without its picture by then counts as failed.
    QTimer::singleShot(kPatienceMs, &loop, &QEventLoop::quit);
    const double cpuBefore = ourCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    // The first paint lays out and draws every placeholder, as opening a
    // folder does; it is timed apart from the deliveries that follow it.
    window.show();
    QCoreApplication::processEvents();
    run.firstPaintMs = wall.nsecsElapsed() / 1e6;
    const double guiBefore = cpuSeconds(RUSAGE_THREAD);
    lastCpu = guiBefore;
    beat.start();
    heart.start();
    loop.exec();
    run.seconds = wall.nsecsElapsed() / 1e9;
    run.cores = (ourCpuSeconds() - cpuBefore) / run.seconds;
    run.guiCpuMs = (cpuSeconds(RUSAGE_THREAD) - guiBefore) * 1000;
    heart.stop();
    // The gap includes the beat's own interval.
    run.maxStallMs = std::max(0.0, maxGap - heart.interval());
    for (ThumbnailView* view : views) {
        const std::optional<Thumbnail> shown = view->shownThumbnail();
        if (!shown || shown->isIcon || shown->image.isNull()) ++run.failed;
    }
    return run;
}

// The longest beat gap with nothing to do: on a shared machine the scheduler
// alone stalls a thread, and a stall under load means little beside it.
double idleStallMs(int ms)
{
    QElapsedTimer beat;
    QTimer heart;
    heart.setTimerType(Qt::PreciseTimer);
    heart.setInterval(2);
    double maxGap = 0;
    QObject::connect(&heart, &QTimer::timeout, [&] {
        maxGap = std::max(maxGap, beat.nsecsElapsed() / 1e6);
        beat.restart();
    });
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    beat.start();
    heart.start();
    loop.exec();
    return std::max(0.0, maxGap - heart.interval());
}

struct PeerRun {
    double seconds = 0;
    double cores = 0;
    int failed = 0;
};

// ffmpegthumbnailer, one process per core, each file into a folder of this run's own.
PeerRun runPeer(const QStringList& files, const QString& outFolder, int cores)
{
    QDir().mkpath(outFolder);
    const double childBefore = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    PeerRun run;
    run.failed = runParallel(int(files.size()), cores, [&](int i) {
        const std::string out = (outFolder + QStringLiteral("/%1.png").arg(i)).toStdString();
        return spawnAndWait({"ffmpegthumbnailer", "-i", files.at(i).toStdString(), "-o", out, "-s",
                             std::to_string(kPeerSide)}) == 0;
    });
    run.seconds = wall.nsecsElapsed() / 1e9;
    run.cores = (cpuSeconds(RUSAGE_CHILDREN) - childBefore) / run.seconds;
    return run;
}

// Ours with a cold cache every time: no picture kept in memory by an earlier
// run, none in the shared cache on disk.
OurRun runOursCold(const QString& cacheFolder, const QStringList& files, FileCategory category)
{
    QDir(cacheFolder + QStringLiteral("/thumbnails")).removeRecursively();
    Thumbnails thumbnails(std::make_shared<DesktopThumbnailGenerator>(),
                          [](const FileIconFacts&, int) { return QImage(); });
    return runOurs(thumbnails, files, category);
}

void reportSpread(const char* kind, const char* metric, std::vector<double> values,
                  const char* unit)
{
    if (values.empty()) return;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    const struct {
        const char* name;
        double value;
    } lines[] = {{"median", median}, {"min", values.front()}, {"max", values.back()}};
    for (const auto& line : lines)
        std::printf("{\"bench\": \"thumbnails\", \"kind\": \"%s\", \"metric\": \"%s %s\", "
                    "\"value\": %.3f, \"unit\": \"%s\", \"runs\": %zu, \"load\": %.1f}\n",
                    kind, metric, line.name, line.value, unit, n, loadAverage());
    std::fflush(stdout);
}

// Several runs of each tool over the same files, ours and the peer's in turn
// (each run's first tool swapping with the next), so a change in the
// machine's load falls on both; the ratios are taken run by run.
void compareRuns(const char* kind, const QStringList& files, FileCategory category, int runs,
                 bool hasPeer, const QString& scratch, int cores)
{
    std::vector<double> ours, peers, throughput, coresRatio;
    for (int r = 0; r < runs; ++r) {
        OurRun mine;
        PeerRun peer;
        auto runMine = [&] {
            const double load = loadAverage();
            mine = runOursCold(scratch + QStringLiteral("/cache"), files, category);
            printLine(kind, "ovra", int(files.size()), mine.seconds, mine.cores, mine.failed, load,
                      &mine);
        };
        auto runTheirs = [&] {
            const double load = loadAverage();
            peer = runPeer(files, scratch + QStringLiteral("/peer/%1-%2").arg(kind).arg(r), cores);
            printLine(kind, "ffmpegthumbnailer", int(files.size()), peer.seconds, peer.cores,
                      peer.failed, load);
        };
        if (!hasPeer || r % 2 == 0) {
            runMine();
            if (hasPeer) runTheirs();
        } else {
            runTheirs();
            runMine();
        }
        ours.push_back(files.size() / mine.seconds);
        if (!hasPeer) continue;
        peers.push_back(files.size() / peer.seconds);
        throughput.push_back(peer.seconds / mine.seconds);
        coresRatio.push_back(mine.cores / peer.cores);
        std::printf(
            "{\"bench\": \"thumbnails\", \"kind\": \"%s\", \"tool\": \"ratio\", \"run\": %d, "
            "\"throughput_ratio\": %.2f, \"cores_ratio\": %.2f}\n",
            kind, r + 1, throughput.back(), coresRatio.back());
        std::fflush(stdout);
    }
    reportSpread(kind, "ovra per_second", ours, "files/s");
    reportSpread(kind, "ffmpegthumbnailer per_second", peers, "files/s");
    reportSpread(kind, "throughput_ratio", throughput, "x");
    reportSpread(kind, "cores_ratio", coresRatio, "x");
}

} // namespace

int runThumbnailBench(BenchApplication&, const Arguments& args)
{
    const int photos = int(args.integer(QStringLiteral("--photos"), 200));
    const int videos = int(args.integer(QStringLiteral("--videos"), 40));
    const int runs = std::max(1, int(args.integer(QStringLiteral("--runs"), 5)));
    const int cores = std::max(1, QThread::idealThreadCount());
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ovra-thumbbench-XXXXXX"));
    if (!dir.isValid()) return 1;
    // A shared thumbnail cache of our own, emptied before each of our runs.
    qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());

    Stopwatch generating;
    // Files made by an earlier run into the same --dir are used again: making
    // them takes longer than measuring them.
    const QString filesDir = args.text(QStringLiteral("--dir"), dir.path());
    QDir().mkpath(filesDir);
    auto made = [](const QString& path, const std::function<bool(const QString&)>& make) {
        if (QFileInfo::exists(path)) return true;
        const QString part = path + QStringLiteral(".part");
        return make(part) && QFile::rename(part, path);
    };
    QStringList photoFiles;
    for (int i = 0; i < photos; ++i)
        photoFiles << filesDir + QStringLiteral("/photo-%1.jpg").arg(i);
    runParallel(photos, cores, [&](int i) {
        return made(photoFiles[i], [i](const QString& part) {
            writePhoto(part, quint32(1000 + i));
            return true;
        });
    });
    QStringList videoFiles;
    if (hasCommand(QStringLiteral("ffmpeg"))) {
        static const char* sources[] = {"testsrc2", "mandelbrot", "smptehdbars",
                                        "life",     "rgbtestsrc", "cellauto"};
        for (int i = 0; i < videos; ++i)
            videoFiles << filesDir + QStringLiteral("/video-%1.mp4").arg(i);
        const int failed = runParallel(videos, cores, [&](int i) {
            return made(videoFiles[i], [i](const QString& part) {
                const std::string source =
                    std::string(sources[i % std::size(sources)]) + "=size=1280x720:rate=30";
                return spawnAndWait({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i", source, "-t",
                                     "4", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-threads", "1",
                                     "-f", "mp4", part.toStdString()}) == 0;
            });
        });
        if (failed > 0) std::fprintf(stderr, "%d videos could not be made\n", failed);
    } else {
        std::fprintf(stderr, "no ffmpeg command: videos are not measured\n");
    }

    const bool hasPeer = hasCommand(QStringLiteral("ffmpegthumbnailer"));
    if (!hasPeer) std::fprintf(stderr, "no ffmpegthumbnailer: the peer is not measured\n");

    std::printf("{\"bench\": \"thumbnails\", \"metric\": \"generate_ms\", \"value\": %.0f, "
                "\"unit\": \"ms\"}\n",
                generating.elapsedMs());
    std::printf("{\"bench\": \"thumbnails\", \"metric\": \"idle_max_gui_stall_ms\", "
                "\"value\": %.1f, \"load\": %.1f}\n",
                idleStallMs(3000), loadAverage());
    std::fflush(stdout);

    compareRuns("photo", photoFiles, FileCategory::images, runs, hasPeer, dir.path(), cores);
    if (!videoFiles.isEmpty())
        compareRuns("video", videoFiles, FileCategory::videos, runs, hasPeer, dir.path(), cores);
    return 0;
}

} // namespace ovra::bench
