#include "UiBench.h"

#include "BenchHome.h"
#include "browser/CollectionView.h"
#include "browser/FileBrowser.h"
#include "browser/GalleryCard.h"
#include "browser/SearchView.h"
#include "common/BenchOutput.h"
#include "common/TreeGenerator.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "platform/UniformType.h"
#include "platform/metadata/MetadataIndex.h"
#include "ui/AppContext.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>
#include <memory>
#include <vector>

#include <unistd.h>

namespace ovra::bench {

namespace {

// OVRA_BENCH_STALLS=<ms>: every outermost event that kept the GUI thread
// longer than that is written to stderr with its receiver and its times on the
// monotonic clock, to be matched with `perf record -k CLOCK_MONOTONIC`.
double stallTraceThreshold()
{
    static const double threshold = [] {
        bool ok = false;
        const double ms = qEnvironmentVariable("OVRA_BENCH_STALLS").toDouble(&ok);
        return ok ? ms : -1.0;
    }();
    return threshold;
}

} // namespace

bool BenchApplication::notify(QObject* receiver, QEvent* event)
{
    const bool tracing =
        stallTraceThreshold() >= 0 && m_depth == 0 && QThread::currentThread() == thread();
    const double start = tracing ? clockMs(CLOCK_MONOTONIC) : 0;
    const double cpuStart = tracing ? threadCpuMs() : 0;
    const int type = event->type();
    // The receiver may be gone once its event is handled.
    const QByteArray receiverName = tracing ? QByteArray(receiver->metaObject()->className()) +
                                                  ' ' + receiver->objectName().toUtf8()
                                            : QByteArray();
    ++m_depth;
    if (beforeEvent) beforeEvent(receiver, event);
    // A receiver may delete itself while it handles its event (a deferred
    // delete does nothing else): the hook after it then sees no receiver.
    const QPointer<QObject> alive = afterEvent ? receiver : nullptr;
    const bool handled = QApplication::notify(receiver, event);
    if (afterEvent) afterEvent(alive.data(), event);
    --m_depth;
    if (tracing) {
        const double end = clockMs(CLOCK_MONOTONIC);
        if (end - start > stallTraceThreshold())
            std::fprintf(stderr, "stall %.3f %.3f %.1f ms event %d to %s (cpu %.1f ms)\n", start,
                         end, end - start, type, receiverName.constData(),
                         threadCpuMs() - cpuStart);
    }
    return handled;
}

namespace {

constexpr int kPictureCount = 64;

// Runs the event loop for a while, so thumbnails and queued work arrive.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// `count` picture files, each a hard link to one of a few real pictures, so
// that every card has a file of its own to make a thumbnail of.
QList<FileItem> pictureItems(const QString& folder, int count)
{
    QDir().mkpath(folder + QStringLiteral("/sources"));
    for (int i = 0; i < kPictureCount; ++i) {
        writePicture(folder + QStringLiteral("/sources/%1.png").arg(i), i, 480, 320);
    }
    const double now = double(QDateTime::currentSecsSinceEpoch());
    QList<FileItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString source = folder + QStringLiteral("/sources/%1.png").arg(i % kPictureCount);
        const QString path = folder + QStringLiteral("/IMG_%1.png").arg(i, 6, 10, QLatin1Char('0'));
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) !=
                0 &&
            !QFileInfo::exists(path)) {
            continue;
        }
        FileItem item;
        item.path = path;
        item.name = QFileInfo(path).fileName();
        item.size = QFileInfo(source).size();
        item.modified = now - 90.0 * i;
        item.category = FileCategory::images;
        item.contentType = UniformType::forMimeType(QStringLiteral("image/png"));
        item.pixelWidth = 480;
        item.pixelHeight = 320;
        items.push_back(item);
    }
    return items;
}

struct ScrollFigures {
    double fps = 0;
    double p99 = 0;
    double cpuP99 = 0;
    double cpuMax = 0;
    double maxFrame = 0;
    double maxStall = 0;
    double placeP99 = 0;   // moving and re-pointing the tiles
    double paintP99 = 0;   // painting the frame
    double betweenMax = 0; // the longest stretch of other work between two frames
    int frames = 0;
};

// Scrolls from the top to the bottom, one step a frame, painting each frame
// as the window would. A watchdog timer on the GUI thread measures the
// longest time the event loop could not run.
ScrollFigures scrollThrough(FileBrowser& browser, int step, int maxFrames)
{
    QScrollBar* bar = browser.verticalScrollBar();
    bar->setValue(0);
    settle(300);
    const int range = bar->maximum();
    step = std::max(step, range / std::max(1, maxFrames));

    std::vector<double> frameTimes, placeTimes, paintTimes, cpuTimes;
    QElapsedTimer watch;
    double lastTick = 0, maxGap = 0;
    QTimer watchdog;
    watchdog.setInterval(1);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        const double now = watch.nsecsElapsed() / 1e6;
        maxGap = std::max(maxGap, now - lastTick);
        lastTick = now;
    });

    QEventLoop loop;
    QTimer driver;
    driver.setInterval(0);
    int value = 0;
    double lastEnd = -1, betweenMax = 0;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        const double start = watch.nsecsElapsed() / 1e6;
        const double cpuStart = threadCpuMs();
        if (lastEnd >= 0) betweenMax = std::max(betweenMax, start - lastEnd);
        value = std::min(range, value + step);
        bar->setValue(value);
        const double placed = watch.nsecsElapsed() / 1e6;
        browser.viewport()->repaint();
        const double end = watch.nsecsElapsed() / 1e6;
        frameTimes.push_back(end - start);
        cpuTimes.push_back(threadCpuMs() - cpuStart);
        placeTimes.push_back(placed - start);
        paintTimes.push_back(end - placed);
        lastEnd = watch.nsecsElapsed() / 1e6;
        if (value >= range) loop.quit();
    });
    watch.start();
    lastTick = 0;
    watchdog.start();
    driver.start();
    // The traced stalls that fall inside this stretch are the ones it reports.
    if (stallTraceThreshold() >= 0)
        std::fprintf(stderr, "scroll from %.3f\n", clockMs(CLOCK_MONOTONIC));
    loop.exec();
    if (stallTraceThreshold() >= 0)
        std::fprintf(stderr, "scroll to %.3f\n", clockMs(CLOCK_MONOTONIC));
    const double total = watch.nsecsElapsed() / 1e6;
    driver.stop();
    watchdog.stop();

    ScrollFigures figures;
    figures.frames = int(frameTimes.size());
    figures.fps = figures.frames / (total / 1000.0);
    figures.p99 = percentile(frameTimes, 0.99);
    figures.cpuP99 = percentile(cpuTimes, 0.99);
    figures.cpuMax = percentile(cpuTimes, 1.0);
    figures.maxFrame = percentile(frameTimes, 1.0);
    figures.maxStall = maxGap;
    figures.placeP99 = percentile(placeTimes, 0.99);
    figures.paintP99 = percentile(paintTimes, 0.99);
    figures.betweenMax = betweenMax;
    return figures;
}

// A collection as a large home holds it: every kind of file, a few folders,
// names that sort differently from their dates. The files need not exist: the
// sources of files that do not exist are read, and found missing, as any other.
QList<FileItem> collectionItems(const QString& folder, int count)
{
    static const FileCategory kCategories[] = {
        FileCategory::images,   FileCategory::images, FileCategory::documents,
        FileCategory::videos,   FileCategory::music,  FileCategory::code,
        FileCategory::archives, FileCategory::other,  FileCategory::images};
    static const char* kExtensions[] = {"jpg", "png", "pdf", "mp4", "mp3",
                                        "cpp", "zip", "bin", "heic"};
    const double now = double(QDateTime::currentSecsSinceEpoch());
    QList<FileItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int kind = int((i * 7919u) % 9u);
        FileItem item;
        item.category = i % 500 == 0 ? FileCategory::folders : kCategories[kind];
        // Names in another order than the dates, so each sort moves everything.
        item.name = QStringLiteral("%1 item %2.%3")
                        .arg(QChar(u'A' + (i * 31) % 26))
                        .arg((i * 104729) % count)
                        .arg(QLatin1String(kExtensions[kind]));
        if (item.category == FileCategory::folders) item.name = QStringLiteral("Folder %1").arg(i);
        item.path = folder + QLatin1Char('/') + item.name;
        item.size = qint64((i * 2654435761u) % 50'000'000u);
        item.modified = now - 60.0 * i;
        items.push_back(item);
    }
    return items;
}

// The longest time the GUI thread could not turn its event loop while `act`
// runs and until `done` holds, the browser painted after it.
struct Stall {
    double maxStallMs = 0;
    double maxStallCpuMs = 0; // the GUI thread's own work in its longest busy stretch
    double doneMs = 0;
};

Stall measureStall(FileBrowser& browser, const std::function<void()>& act,
                   const std::function<bool()>& done)
{
    QElapsedTimer watch;
    double lastTick = 0, maxGap = 0, lastCpu = threadCpuMs(), maxCpuGap = 0;
    QTimer watchdog;
    watchdog.setTimerType(Qt::PreciseTimer);
    watchdog.setInterval(1);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        const double now = watch.nsecsElapsed() / 1e6;
        const double cpu = threadCpuMs();
        maxGap = std::max(maxGap, now - lastTick);
        maxCpuGap = std::max(maxCpuGap, cpu - lastCpu);
        lastTick = now;
        lastCpu = cpu;
    });
    watch.start();
    watchdog.start();
    // The change comes from the event loop, as a click on a menu would.
    bool acted = false;
    QTimer::singleShot(0, [&] {
        act();
        acted = true;
    });
    double doneAt = -1;
    waitUntil(
        [&] {
            if (doneAt < 0 && acted && done()) {
                browser.viewport()->update();
                doneAt = watch.nsecsElapsed() / 1e6;
            }
            // A little longer, so the paint that follows counts too.
            return doneAt >= 0 && watch.nsecsElapsed() / 1e6 > doneAt + 100;
        },
        120000);
    const double last = watch.nsecsElapsed() / 1e6;
    maxGap = std::max(maxGap, last - lastTick);
    return {maxGap, maxCpuGap, doneAt};
}

} // namespace

int runOpenBench(BenchApplication&, const Arguments& args)
{
    const int count = int(args.integer(QStringLiteral("--items"), 150000));
    BenchHome home;
    const QList<FileItem> items = collectionItems(home.home() + QStringLiteral("/Files"), count);
    report("open", QStringLiteral("items"), double(items.size()), "files");

    // In the app the index's first walk has read the type database long
    // before a collection opens; here nothing else would.
    UniformType::forFileName(u"warm.jpg");

    AppState state;
    AppContext context;
    context.state = &state;
    FileBrowser browser(context);
    browser.resize(1000, 800);
    browser.setTitle(QStringLiteral("Everything"));
    browser.show();
    settle(300);

    const auto current = [&] { return browser.isContentCurrent(); };
    BrowserInput input;
    input.items = items;
    input.totalCount = items.size();
    input.showsKindFilter = true;
    const Stall open = measureStall(
        browser, [&] { browser.setInput(input); }, current);
    report("open", QStringLiteral("open_max_stall_ms"), open.maxStallMs, "ms");
    report("open", QStringLiteral("open_max_stall_cpu_ms"), open.maxStallCpuMs, "ms");
    report("open", QStringLiteral("open_ms"), open.doneMs, "ms");
    report("open", QStringLiteral("shown"), double(browser.content().shown.size()), "files");

    double filterStall = 0, filterCpu = 0, filterMs = 0;
    const std::vector<std::function<void()>> filters{[&] { state.setKindFilter(FileCategory::images); },
                                                     [&] { state.setSizeFilter(SizeFilter::mb10); },
                                                     [&] { state.setDateFilter(DateFilter::month); },
                                                     [&] { state.setKindFilter(std::nullopt); },
                                                     [&] { state.setSizeFilter(SizeFilter::any); },
                                                     [&] { state.setDateFilter(DateFilter::any); }};
    for (const auto& change : filters) {
        const Stall stall = measureStall(browser, change, current);
        if (qEnvironmentVariableIsSet("OVRA_BENCH_VERBOSE"))
            std::printf("filter stall %.1f ms, shown after %.1f ms\n", stall.maxStallMs,
                        stall.doneMs);
        filterStall = std::max(filterStall, stall.maxStallMs);
        filterCpu = std::max(filterCpu, stall.maxStallCpuMs);
        filterMs = std::max(filterMs, stall.doneMs);
    }
    report("open", QStringLiteral("filter_max_stall_ms"), filterStall, "ms");
    report("open", QStringLiteral("filter_max_stall_cpu_ms"), filterCpu, "ms");
    report("open", QStringLiteral("filter_ms_max"), filterMs, "ms");

    double sortStall = 0, sortCpu = 0, sortMs = 0;
    for (SortKey key :
         {SortKey::name, SortKey::size, SortKey::kind, SortKey::name, SortKey::date}) {
        const Stall stall = measureStall(
            browser, [&] { state.setSort(key); }, current);
        sortStall = std::max(sortStall, stall.maxStallMs);
        sortCpu = std::max(sortCpu, stall.maxStallCpuMs);
        sortMs = std::max(sortMs, stall.doneMs);
    }
    report("open", QStringLiteral("sort_max_stall_ms"), sortStall, "ms");
    report("open", QStringLiteral("sort_max_stall_cpu_ms"), sortCpu, "ms");
    report("open", QStringLiteral("sort_ms_max"), sortMs, "ms");
    return 0;
}

int runScrollBench(BenchApplication&, const Arguments& args)
{
    const int count = int(args.integer(QStringLiteral("--items"), 50000));
    const int step = int(args.integer(QStringLiteral("--step"), 120));
    const int maxFrames = int(args.integer(QStringLiteral("--max-frames"), 4000));
    BenchHome home;
    Stopwatch making;
    const QList<FileItem> items = pictureItems(home.home() + QStringLiteral("/Pictures"), count);
    report("scroll", QStringLiteral("items"), double(items.size()), "files");
    report("scroll", QStringLiteral("make_files_ms"), making.elapsedMs(), "ms");

    AppState state;
    AppContext context;
    context.state = &state;
    FileBrowser browser(context);
    browser.resize(1000, 800);
    browser.setTitle(QStringLiteral("Images"));
    BrowserInput input;
    input.items = items;
    input.totalCount = items.size();
    Stopwatch opening;
    browser.setInput(input);
    browser.show();
    browser.refreshNow();
    waitUntil([&] { return browser.isContentCurrent(); }, 120000);
    browser.viewport()->repaint();
    report("scroll", QStringLiteral("open_ms"), opening.elapsedMs(), "ms");

    for (ViewMode mode : {ViewMode::grid, ViewMode::list}) {
        state.setViewMode(mode);
        browser.refreshNow();
        // The scroll is timed over the list as the new mode shows it: a model
        // still being made for it would land in the middle of the scrolling.
        waitUntil([&] { return browser.isContentCurrent(); }, 120000);
        // The shadows and frames of the first cards are drawn once per size.
        settle(200);
        const ScrollFigures figures = scrollThrough(browser, step, maxFrames);
        const char* name = mode == ViewMode::grid ? "scroll_cards" : "scroll_rows";
        report(name, QStringLiteral("frames"), figures.frames, "frames");
        report(name, QStringLiteral("scroll_fps"), figures.fps, "fps");
        report(name, QStringLiteral("frame_p99_ms"), figures.p99, "ms");
        report(name, QStringLiteral("frame_max_ms"), figures.maxFrame, "ms");
        report(name, QStringLiteral("frame_cpu_p99_ms"), figures.cpuP99, "ms");
        report(name, QStringLiteral("frame_cpu_max_ms"), figures.cpuMax, "ms");
        report(name, QStringLiteral("place_p99_ms"), figures.placeP99, "ms");
        report(name, QStringLiteral("paint_p99_ms"), figures.paintP99, "ms");
        report(name, QStringLiteral("between_frames_max_ms"), figures.betweenMax, "ms");
        report(name, QStringLiteral("max_stall_ms"), figures.maxStall, "ms");
        report(name, QStringLiteral("tiles_made"), browser.madeTileCount(), "widgets");
    }
    return 0;
}

int runSearchBench(BenchApplication& app, const Arguments& args)
{
    const long files = args.integer(QStringLiteral("--files"), 1000000);
    QString dir = args.text(QStringLiteral("--dir"));
    if (!dir.isEmpty()) dir = QFileInfo(dir).absoluteFilePath();
    BenchHome home(dir);
    // A folder that already holds files is a tree made by an earlier run.
    if (QDir(home.home()).isEmpty()) {
        Stopwatch generating;
        generateTree(home.home(), files);
        report("search", QStringLiteral("generate_ms"), generating.elapsedMs(), "ms");
    }

    md::MetadataIndex::Options options;
    options.cacheDir =
        args.text(QStringLiteral("--cache"), home.scratch() + QStringLiteral("/cache"));
    md::MetadataIndex index(options);
    LibraryStore library(index);
    AppState state;
    AppContext context;
    context.state = &state;
    context.library = &library;
    context.index = &index;

    // The first search walks the scopes into the table; the measured ones come
    // after. A table read from the last run answers at once and is brought up
    // to date behind it, looking at every file again: the measured searches
    // wait for that too, which publishes the caught-up table.
    const bool fromSavedTables =
        QFileInfo::exists(options.cacheDir + QStringLiteral("/metadata-index.tables"));
    std::atomic_bool caughtUp = false;
    const auto changes = index.addChangeHandler([&caughtUp] { caughtUp = true; });
    Stopwatch indexing;
    library.search(QStringLiteral("warm"));
    waitUntil([&] { return !library.isSearching(); }, 30 * 60 * 1000);
    report("search", QStringLiteral("index_ms"), indexing.elapsedMs(), "ms");
    if (fromSavedTables) {
        waitUntil([&] { return caughtUp.load(); }, 10 * 60 * 1000);
        report("search", QStringLiteral("caught_up_ms"), indexing.elapsedMs(), "ms");
    }
    index.removeChangeHandler(changes);

    SearchView view(context);
    view.resize(1000, 800);
    view.show();
    settle(200);

    const QStringList queries{QStringLiteral("pdfs from last week"),
                              QStringLiteral("screenshots"),
                              QStringLiteral("invoice"),
                              QStringLiteral("png"),
                              QStringLiteral("music over 5 mb"),
                              QStringLiteral("report 2024")};
    std::vector<double> times;
    for (const QString& query : queries) {
        QElapsedTimer clock;
        double debounced = -1, answered = -1, painted = -1;
        // The GUI thread's own time too: on a busy machine the wall time is
        // mostly waiting for a core.
        double debouncedCpu = 0, answeredCpu = 0, paintedCpu = 0;
        bool placed = false;
        auto heard = QObject::connect(&library, &LibraryStore::searchChanged, [&] {
            if (library.isSearching() && debounced < 0) {
                debounced = clock.nsecsElapsed() / 1e6;
                debouncedCpu = threadCpuMs();
            } else if (!library.isSearching() && debounced >= 0 && answered < 0) {
                answered = clock.nsecsElapsed() / 1e6;
                answeredCpu = threadCpuMs();
            }
        });
        auto tiles = QObject::connect(view.browser(), &FileBrowser::tilesPlaced, [&] {
            // The browser computes its model off the GUI thread: the tiles
            // count once they show the model of this answer.
            if (view.isCurrent() && !library.isSearching() && view.browser()->isContentCurrent())
                placed = true;
        });
        app.afterEvent = [&](QObject* receiver, QEvent* event) {
            if (placed && painted < 0 && receiver == &view &&
                event->type() == QEvent::UpdateRequest) {
                painted = clock.nsecsElapsed() / 1e6;
                paintedCpu = threadCpuMs();
            }
        };
        clock.start();
        state.setSearchText(query); // the keystroke that completes the text
        const bool done = waitUntil([&] { return painted >= 0; }, 120000);
        app.afterEvent = nullptr;
        QObject::disconnect(heard);
        QObject::disconnect(tiles);
        if (!done || debounced < 0) {
            report("search", QStringLiteral("timed_out[%1]").arg(query), 1, "flag");
            continue;
        }
        const double after = painted - debounced;
        times.push_back(after);
        report("search", QStringLiteral("search_to_screen_ms[%1]").arg(query), after, "ms");
        report("search", QStringLiteral("keystroke_to_screen_ms[%1]").arg(query), painted, "ms");
        // Of which the store's query, and then the screen's filtering, layout and paint.
        report("search", QStringLiteral("store_ms[%1]").arg(query), answered - debounced, "ms");
        report("search", QStringLiteral("screen_ms[%1]").arg(query), painted - answered, "ms");
        report("search", QStringLiteral("screen_gui_cpu_ms[%1]").arg(query),
               paintedCpu - answeredCpu, "ms");
        report("search", QStringLiteral("search_gui_cpu_ms[%1]").arg(query),
               paintedCpu - debouncedCpu, "ms");
        report("search", QStringLiteral("results[%1]").arg(query),
               double(view.browser()->content().shown.size()), "files");
        state.setSearchText(QString());
        settle(50);
    }
    report("search", QStringLiteral("search_to_screen_ms"), percentile(times, 0.5), "ms");
    report("search", QStringLiteral("search_to_screen_ms_max"), percentile(times, 1.0), "ms");
    return 0;
}

int runShowCommand(BenchApplication&, const Arguments& args)
{
    const QString out =
        QFileInfo(args.text(QStringLiteral("--out"), QStringLiteral("uibench-shots")))
            .absoluteFilePath();
    QDir().mkpath(out);
    BenchHome home;
    const QString pictures = home.home() + QStringLiteral("/Pictures");
    QDir().mkpath(pictures + QStringLiteral("/Trips"));
    QDir().mkpath(home.home() + QStringLiteral("/Documents"));
    const QStringList names{
        "beach-sunset",  "harbour",
        "mountain-lake", "city-lights",
        "forest-path",   "desert-dunes",
        "old-town",      "river-bend",
        "snow-peak",     "garden",
        "lighthouse",    "meadow",
        "canyon",        "bridge-at-dawn",
        "market-day",    "a-very-long-picture-name-from-the-camera-roll-exported-twice"};
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < names.size(); ++i) {
        const QString path = pictures + QLatin1Char('/') + names[i] + QStringLiteral(".png");
        writePicture(path, i * 7 + 3);
        // Most from the past days, a few from months ago.
        const qint64 when = now - (i < 12 ? qint64(i) * 7 * 3600 : qint64(i) * 20 * 86400);
        const QDateTime time = QDateTime::fromSecsSinceEpoch(when);
        QFile file(path);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(time, QFileDevice::FileModificationTime);
    }

    md::MetadataIndex index;
    LibraryStore library(index);
    AppState state;
    AppContext context;
    context.state = &state;
    context.library = &library;
    context.index = &index;

    const auto grab = [&](QWidget& widget, const QString& name) {
        settle(1500); // thumbnails arrive
        widget.grab().save(out + QLatin1Char('/') + name);
        std::printf("%s\n", qPrintable(out + QLatin1Char('/') + name));
    };

    const SidebarItem images = SidebarItem::category(FileCategory::images);
    {
        CollectionView collection(context, images);
        collection.resize(1040, 760);
        collection.show();
        waitUntil(
            [&] { return library.collections().contains(images) && !library.isLoading(images); },
            60000);
        grab(collection, QStringLiteral("cards.png"));
        const QList<FileItem>& shown = collection.browser()->content().navigation;
        if (!shown.isEmpty()) {
            if (auto* card =
                    qobject_cast<GalleryCard*>(collection.browser()->tileWidget(shown[0].path))) {
                card->setHovering(true, false);
                grab(collection, QStringLiteral("card-hovered.png"));
                card->setHovering(false, false);
            }
        }
        if (shown.size() > 1) state.select(shown[1], {});
        state.setViewMode(ViewMode::list);
        grab(collection, QStringLiteral("rows.png"));
        state.setViewMode(ViewMode::grid);
        state.setCardSize(CardSize::small);
        grab(collection, QStringLiteral("cards-small.png"));
        state.setCardSize(CardSize::medium);
        state.setSelectedFiles({});
    }
    {
        // Folders ahead of the files, in a list capped by its query.
        FileBrowser browser(context);
        browser.resize(1040, 760);
        browser.setTitle(QStringLiteral("Pictures"));
        browser.setOnBack([] {});
        BrowserInput input;
        for (const QString& name : {QStringLiteral("Trips"), QStringLiteral("../Documents")}) {
            if (auto folder =
                    FileItem::fromPath(QDir::cleanPath(pictures + QLatin1Char('/') + name))) {
                input.items.push_back(*folder);
            }
        }
        input.items += library.collections().value(images).items;
        input.totalCount = 4000;
        browser.setInput(input);
        browser.show();
        browser.refreshNow();
        waitUntil([&] { return browser.isContentCurrent(); }, 60000);
        browser.verticalScrollBar()->setValue(browser.verticalScrollBar()->maximum());
        grab(browser, QStringLiteral("folders-and-cap.png"));
        browser.verticalScrollBar()->setValue(0);
        grab(browser, QStringLiteral("folders.png"));
    }
    {
        state.setSearchText(QStringLiteral("pngs from this week"));
        SearchView search(context);
        search.resize(1040, 760);
        search.show();
        waitUntil([&] { return search.isCurrent() && !library.isSearching(); }, 60000);
        grab(search, QStringLiteral("search.png"));
    }
    {
        state.setSearchText(QStringLiteral("zebra crossing"));
        SearchView search(context);
        search.resize(1040, 760);
        search.show();
        waitUntil([&] { return search.isCurrent() && !library.isSearching(); }, 60000);
        grab(search, QStringLiteral("search-empty.png"));
    }
    return 0;
}

} // namespace ovra::bench
