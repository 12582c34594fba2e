// ovra-uibench open-folder: a folder of many entries opened from its sidebar
// row in the real window, timed until its listing is painted, with the longest
// time the GUI thread could not turn its event loop; `ls -f` over the same
// folder in the same run for scale.

#include "UiBench.h"

#include "BenchHome.h"
#include "app/ContentView.h"
#include "app/OvraApplication.h"
#include "app/SidebarRow.h"
#include "app/StartupPipeline.h"
#include "browser/DetailView.h"
#include "browser/FileBrowser.h"
#include "browser/FolderView.h"
#include "common/BenchOutput.h"
#include "library/AppState.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMainWindow>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace ovra::bench {

namespace {

constexpr const char* kBench = "open-folder";
constexpr int kStartupTimeoutMs = 120000;
constexpr int kOpenTimeoutMs = 30000;
// The stall watch goes on this long after the folder is on screen, while its
// thumbnails and counts come in.
constexpr int kAfterMs = 1000;

void makeEntries(const QString& folder, int count)
{
    QDir().mkpath(folder);
    static const char* const kExtensions[] = {"txt", "png", "jpg", "pdf",
                                              "mp3", "zip", "md",  "mov"};
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/entry_%1.%2")
                                          .arg(i, 6, 10, QLatin1Char('0'))
                                          .arg(QLatin1String(kExtensions[i % 8]));
        const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) ::close(fd);
    }
}

double lsMs(const QString& folder)
{
    QElapsedTimer clock;
    clock.start();
    QProcess ls;
    ls.start(QStringLiteral("ls"), {QStringLiteral("-f"), folder});
    ls.waitForFinished(-1);
    ls.readAllStandardOutput();
    return clock.nsecsElapsed() / 1e6;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

int runOpenFolderBench(BenchApplication& app, const Arguments& args)
{
    const int count = int(args.integer(QStringLiteral("--items"), 20000));
    BenchHome home;
    const QString folder = home.home() + QStringLiteral("/Big Folder");
    makeEntries(folder, count);

    OvraApplication ovra;
    ovra.context().state->setPinned({folder});
    QMainWindow* window = ovra.showWindow();
    // The content is built after the window's first frame.
    ContentView* content = nullptr;
    if (!waitFor([&] { return (content = qobject_cast<ContentView*>(window->centralWidget())); },
                 kStartupTimeoutMs)) {
        std::fprintf(stderr, "the window's content was never built\n");
        return 1;
    }
    bool started = false;
    QObject::connect(content->pipeline(), &StartupPipeline::finished, [&] { started = true; });
    if (!waitFor([&] { return started; }, kStartupTimeoutMs)) {
        std::fprintf(stderr, "start-up loading did not finish\n");
        return 1;
    }
    waitFor([] { return false; }, 500);

    SidebarRow* row = nullptr;
    for (SidebarRow* candidate : window->findChildren<SidebarRow*>()) {
        const Location* location = candidate->entry().as<Location>();
        if (location && location->path == folder) row = candidate;
    }
    if (!row) {
        std::fprintf(stderr, "no sidebar row for the folder\n");
        return 1;
    }

    const double ls = lsMs(folder);

    QElapsedTimer watch;
    watch.start();
    double lastTick = 0, maxGap = 0;
    QTimer watchdog;
    watchdog.setTimerType(Qt::PreciseTimer);
    watchdog.setInterval(1);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        const double now = watch.nsecsElapsed() / 1e6;
        maxGap = std::max(maxGap, now - lastTick);
        lastTick = now;
    });

    QPointer<FolderView> view;
    bool listed = false;
    double onScreen = -1;
    app.afterEvent = [&](QObject* receiver, QEvent* event) {
        if (onScreen >= 0 || !listed || !view || event->type() != QEvent::Paint) return;
        if (receiver == view->browser()->viewport()) onScreen = watch.nsecsElapsed() / 1e6;
    };
    DetailView* detail = content->detailView();

    watchdog.start();
    lastTick = watch.nsecsElapsed() / 1e6;
    const double clickedAt = lastTick;
    row->click();
    const bool shown = waitFor(
        [&] {
            if (!view) {
                view = qobject_cast<FolderView*>(detail->screen());
                if (view)
                    QObject::connect(view, &FolderView::listed,
                                     [&] { listed = view->items().size() == count; });
            }
            return onScreen >= 0;
        },
        kOpenTimeoutMs);
    if (!shown) {
        std::fprintf(stderr, "the folder did not show\n");
        return 1;
    }
    waitFor([] { return false; }, kAfterMs);
    watchdog.stop();
    app.afterEvent = nullptr;

    report(kBench, QStringLiteral("items"), count, "entries");
    report(kBench, QStringLiteral("folder_to_screen_ms"), onScreen - clickedAt, "ms");
    report(kBench, QStringLiteral("max_stall_ms"), maxGap, "ms");
    report(kBench, QStringLiteral("ls_f_ms"), ls, "ms");
    return 0;
}

} // namespace ovra::bench
