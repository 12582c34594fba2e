#include "UiBench.h"

#include "BenchHome.h"
#include "app/OvraApplication.h"
#include "app/QuitOnSignals.h"
#include "common/BenchOutput.h"
#include "common/TreeGenerator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ovra::bench {
namespace {

// A quit that has not ended by then is reported as hung and killed.
constexpr int kHangGuardMs = 5 * 60 * 1000;

double nowMs()
{
    return clockMs(CLOCK_MONOTONIC);
}

// The moment of a quit and what the app is made to be doing then.
struct Moment {
    QString label;
    int afterMs;
    bool emptyIndexes;  // no saved tables: the first indexing of the home
    bool emptyContents; // no content database: every document is read again
};

void removeCaches(const Moment& moment)
{
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/Ovra");
    if (moment.emptyIndexes) {
        QDir(cache).removeRecursively();
        QDir(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Ovra")).removeRecursively();
    }
    if (moment.emptyContents) {
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(cache + QStringLiteral("/content-index.sqlite") + QLatin1String(suffix));
    }
}

// Starts the app as main() does, sends SIGTERM after the moment's delay and
// times from the signal to the process's end; -1 when it hung or failed.
double quitTime(const Moment& moment)
{
    removeCaches(moment);
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>("quit-child"),
                    nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.constData(), nullptr, nullptr, argv, environ) != 0) return -1;
    ::usleep(useconds_t(moment.afterMs) * 1000);
    const double signalled = nowMs();
    ::kill(pid, SIGTERM);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return -1;
        if (nowMs() - signalled > kHangGuardMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        ::usleep(2000);
    }
    const double took = nowMs() - signalled;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1;
}

} // namespace

int runQuitChild(BenchApplication& app, const Arguments&)
{
    QApplication::setApplicationName(QStringLiteral("Ovra"));
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Logo")));
    OvraApplication ovra;
    QuitOnSignals quitOnSignals;
    ovra.showWindow();
    return app.exec();
}

// The app quit by SIGTERM at several moments of its work on a large home: its
// first indexing, a start from saved tables with every document's words read
// again, and later, when recognition, thumbnails and the duplicate scan run.
int runQuitBench(BenchApplication&, const Arguments& args)
{
    const long files = args.integer(QStringLiteral("--files"), 200000);
    const int runs = std::max(1, int(args.integer(QStringLiteral("--runs"), 3)));
    QString dir = args.text(QStringLiteral("--home"));
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: ovra-uibench quit --home DIR [--files N] [--runs N]\n");
        return 2;
    }
    dir = QFileInfo(dir).absoluteFilePath();
    BenchHome home(dir);
    if (QDir(home.home()).isEmpty()) {
        Stopwatch generating;
        generateTree(home.home(), files);
        report("quit", QStringLiteral("generate_ms"), generating.elapsedMs(), "ms");
    }
    const Moment moments[] = {
        {QStringLiteral("first indexing, 1 s"), 1000, true, false},
        {QStringLiteral("first indexing, 4 s"), 4000, true, false},
        {QStringLiteral("first indexing, 10 s"), 10000, true, false},
        // Leaves saved tables for the starts below.
        {QStringLiteral("first indexing, 90 s"), 90000, true, false},
        {QStringLiteral("saved index, contents read again, 3 s"), 3000, false, true},
        {QStringLiteral("saved index, contents read again, 8 s"), 8000, false, true},
        {QStringLiteral("saved index, 20 s"), 20000, false, false},
    };
    int failed = 0;
    for (const Moment& moment : moments) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            const double ms = quitTime(moment);
            if (ms < 0)
                ++failed;
            else
                times.push_back(ms);
            report("quit", QStringLiteral("load_average[%1 #%2]").arg(moment.label).arg(i),
                   loadAverage(), "load");
        }
        if (times.empty()) continue;
        std::sort(times.begin(), times.end());
        report("quit", QStringLiteral("quit_ms_median[%1]").arg(moment.label),
               times[times.size() / 2], "ms");
        report("quit", QStringLiteral("quit_ms_max[%1]").arg(moment.label), times.back(), "ms");
    }
    if (failed > 0) report("quit", QStringLiteral("failed_quits"), failed, "runs");
    return failed > 0 ? 1 : 0;
}

} // namespace ovra::bench
