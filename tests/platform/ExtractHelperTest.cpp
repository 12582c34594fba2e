#include "platform/UserFile.h"
#include "support/ChildProcesses.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include "platform/FileTime.h"
#include "platform/content/ContentIndex.h"
#include "platform/content/ExtractHelper.h"
#include "platform/content/ExtractProtocol.h"
#include "platform/metadata/IndexWalker.h"
#include "platform/metadata/TableFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <future>
#include <set>
#include <thread>

using namespace ovra;
using namespace ovra::content;

namespace {

std::vector<FileStamp> stampsOf(const QStringList& paths)
{
    std::vector<FileStamp> stamps;
    for (const QString& path : paths) {
        struct stat st {};
        ::stat(path.toUtf8().constData(), &st);
        stamps.push_back({path, st.st_size, fileTimeSeconds(st.st_mtim)});
    }
    return stamps;
}

// Makes the helpers started while it lives crash on, or spin forever on, the
// files of the given names.
class HostileHelpers {
public:
    HostileHelpers(const char* crashOn, const char* spinOn)
    {
        qputenv(protocol::kCrashOnEnv, crashOn);
        qputenv(protocol::kSpinOnEnv, spinOn);
    }
    ~HostileHelpers()
    {
        qunsetenv(protocol::kCrashOnEnv);
        qunsetenv(protocol::kSpinOnEnv);
    }
};

// Starves processes of the processor: a thread of ours keeps one processor
// busy, and each process starved runs there alone beside it, at idle priority.
class Starver {
public:
    Starver()
    {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        ::sched_getaffinity(0, sizeof allowed, &allowed);
        int processor = 0;
        while (processor < CPU_SETSIZE - 1 && !CPU_ISSET(processor, &allowed))
            ++processor;
        CPU_ZERO(&m_one);
        CPU_SET(processor, &m_one);
        m_hog = std::thread([this] {
            // At normal priority, whatever the thread that made it runs at.
            const sched_param normal{};
            m_onProcessor = ::sched_setaffinity(0, sizeof m_one, &m_one) == 0 &&
                                    ::sched_setscheduler(0, SCHED_OTHER, &normal) == 0
                                ? Taken::Yes
                                : Taken::No;
            while (m_isHogging.load(std::memory_order_relaxed)) {
            }
        });
    }
    ~Starver()
    {
        m_isHogging = false;
        m_hog.join();
    }

    // Whether the processor is taken, once the thread has tried.
    bool isReady() const
    {
        return test::eventually([this] { return m_onProcessor != Taken::NotYet; }) &&
               m_onProcessor == Taken::Yes;
    }
    bool starve(pid_t pid) const
    {
        const sched_param none{};
        return ::sched_setaffinity(pid, sizeof m_one, &m_one) == 0 &&
               ::sched_setscheduler(pid, SCHED_IDLE, &none) == 0;
    }

private:
    cpu_set_t m_one;
    std::atomic_bool m_isHogging{true};
    enum class Taken { NotYet, Yes, No };
    std::atomic<Taken> m_onProcessor{Taken::NotYet};
    std::thread m_hog;
};

class ExtractHelperTest : public ::testing::Test {
protected:
    // A deadline of zero is the app's own; the short ones are for files that
    // must overrun it. A deadline counts the helper's working time, so a busy
    // machine does not cut a file short, while a helper that spins there gets
    // little processor and takes long to spend even a short one.
    ContentIndex::Options options(std::chrono::milliseconds deadline = {}) const
    {
        ContentIndex::Options o;
        o.threads = 1; // one helper, so the files after a bad one show its restart
        o.usesHelpers = true;
        o.helperProgram = QStringLiteral(OVRA_EXTRACT_PROGRAM);
        o.helperDeadline = deadline;
        return o;
    }

    static ExtractHelper::Options helperOptions(std::chrono::milliseconds deadline = {})
    {
        ExtractHelper::Options o;
        o.program = QStringLiteral(OVRA_EXTRACT_PROGRAM);
        o.deadline = deadline;
        return o;
    }

    const md::Extra* extraOf(const md::Table& table, const QString& path) const
    {
        const std::uint32_t entry = table.find(path.toStdString());
        return entry == md::kNone ? nullptr : table.extra(table.entries[entry]);
    }

    test::TestHome m_home;
};

} // namespace

TEST_F(ExtractHelperTest, CrashingAndEndlessFilesAreRejectedOnceAndThePassFinishes)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QStringList files = {
        m_home.writeFile(QStringLiteral("crash.txt"), "banana crash"),
        m_home.writeFile(QStringLiteral("good-1.txt"), "banana bread"),
        m_home.writeFile(QStringLiteral("endless.txt"), "banana endless"),
        m_home.writeFile(QStringLiteral("good-2.txt"), "banana split"),
    };
    ContentIndex index(options(std::chrono::seconds(1)));
    ASSERT_TRUE(index.isOpen());
    {
        const HostileHelpers hostile("crash.txt", "endless.txt");
        const ContentIndex::UpdateResult result = index.update(stampsOf(files));
        EXPECT_TRUE(result.succeeded);
        EXPECT_EQ(result.read, 4u);
        EXPECT_EQ(result.rejected, 2u);
        EXPECT_EQ(result.helperRestarts, 2u);
        EXPECT_EQ(index.matchingPaths(u"banana", false), QSet<QString>({files[1], files[3]}));

        // Recorded as rejected: not tried again while the files stay as they are.
        const ContentIndex::UpdateResult again = index.update(stampsOf(files));
        EXPECT_EQ(again.read, 0u);
        EXPECT_EQ(again.unchanged, 4u);
    }
    // Once it changes, a rejected file is read again (by helpers that no longer
    // crash on it: the running ones keep the environment they started with).
    m_home.writeFile(QStringLiteral("crash.txt"), "banana mended at last");
    ContentIndex later(options());
    const ContentIndex::UpdateResult changed = later.update(stampsOf(files));
    EXPECT_EQ(changed.read, 1u);
    EXPECT_EQ(changed.rejected, 0u);
    EXPECT_TRUE(later.matchingPaths(u"mended", false).contains(files[0]));
}

TEST_F(ExtractHelperTest, CancellingDoesNotWaitForAStuckFile)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QStringList files = {m_home.writeFile(QStringLiteral("endless.txt"), "kiwi")};
    ContentIndex index(options(std::chrono::minutes(10)));
    ContentIndex::UpdateResult result;
    {
        const HostileHelpers hostile("", "endless.txt");
        std::atomic_bool cancelled{false};
        std::thread update([&] { result = index.update(stampsOf(files), &cancelled); });
        // Cancelled once a helper is at work on the file, not before it began.
        EXPECT_TRUE(
            test::eventually([] { return !test::childProcesses("ovra-extract").isEmpty(); }));
        QElapsedTimer timer;
        timer.start();
        cancelled = true;
        update.join();
        // Far less than the file's ten minutes, however busy the machine.
        EXPECT_LT(timer.elapsed(), test::kPatience.count());
    }
    EXPECT_TRUE(result.wasCancelled);
    EXPECT_EQ(result.rejected, 0u);
    // The file cut short is not recorded, so the next update reads it.
    const ContentIndex::UpdateResult next = index.update(stampsOf(files));
    EXPECT_EQ(next.read, 1u);
    EXPECT_EQ(index.matchingPaths(u"kiwi", false), QSet<QString>({files[0]}));
}

TEST_F(ExtractHelperTest, APageThatStallsTheParserIsCutOffAtTheDeadline)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    // One page whose content stream holds millions of text operators: seconds
    // inside the PDF library, where no budget of ours is checked.
    const QString stall = m_home.path(QStringLiteral("stall.pdf"));
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(OVRA_TEST_CORPUS "/pdf/stall-one-page-6M-operators"), stall));
    const QString fine = m_home.writeFile(QStringLiteral("fine.txt"), "plum");
    ContentIndex index(options(std::chrono::milliseconds(1000)));
    const ContentIndex::UpdateResult result = index.update(stampsOf({stall, fine}));
    EXPECT_EQ(result.read, 2u);
    // Rejected: cut off, where reading on would have taken it in.
    EXPECT_EQ(result.rejected, 1u);
    EXPECT_EQ(index.matchingPaths(u"plum", false), QSet<QString>({fine}));
}

namespace {

// How long a process has waited, runnable, for a processor.
std::chrono::nanoseconds queuedTimeOf(pid_t pid)
{
    QFile schedstat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (!schedstat.open(QIODevice::ReadOnly)) return {};
    const QList<QByteArray> fields = schedstat.readAll().split(' ');
    return std::chrono::nanoseconds(fields.size() > 1 ? fields[1].toLongLong() : 0);
}

} // namespace

// A helper that a busy machine gives no processor is not one that stalls: its
// file is answered however long it waited for a processor, where a deadline on
// the wall clock would record the file as rejected until it changes.
TEST_F(ExtractHelperTest, AHelperStarvedOfTheProcessorIsNotCutOff)
{
    constexpr std::chrono::milliseconds kDeadline{300};
    ExtractHelper helper(helperOptions(kDeadline));
    const QString first = m_home.writeFile(QStringLiteral("first.txt"), "fig");
    ASSERT_EQ(helper.extract(first, TextFormat::Plain).outcome, ExtractedText::Outcome::Text);
    const QStringList children = test::childProcesses("ovra-extract");
    ASSERT_EQ(children.size(), 1);
    const pid_t pid = children.front().toInt();

    // Idle priority, on one processor that a thread of ours keeps busy.
    const Starver starver;
    ASSERT_TRUE(starver.isReady());
    ASSERT_TRUE(starver.starve(pid));

    // The file must keep the helper waiting for a processor longer than its
    // deadline. A starved helper is woken once for every pipe's worth of its
    // reply, and beside other busy programs each wake-up may wait minutes: the
    // file is only as large as it takes, so a busy machine does not make the
    // test outlast its limit.
    constexpr qsizetype kLargest = 4 * 1024 * 1024;
    for (qsizetype size = 64 * 1024;; size *= 2) {
        ASSERT_LE(size, kLargest) << "the helper was never kept waiting";
        const std::chrono::nanoseconds queuedBefore = queuedTimeOf(pid);
        const QString large =
            m_home.writeFile(QStringLiteral("large-%1.txt").arg(size), QByteArray(size, 'w'));
        const ExtractedText text = helper.extract(large, TextFormat::Plain);
        EXPECT_EQ(text.outcome, ExtractedText::Outcome::Text);
        EXPECT_EQ(text.text.size(), size);
        EXPECT_EQ(helper.restarts(), 0);
        if (queuedTimeOf(pid) - queuedBefore > kDeadline) break;
    }
}

namespace {

// The clock the deadlines below are counted on, which the test moves.
ExtractHelper::Clock::duration drivenTime{0};
ExtractHelper::Clock::time_point drivenNow()
{
    return ExtractHelper::Clock::time_point(drivenTime);
}

std::chrono::nanoseconds processorTimeOf(pid_t pid)
{
    clockid_t clock{};
    timespec spent{};
    if (::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &spent) != 0) return {};
    return std::chrono::seconds(spent.tv_sec) + std::chrono::nanoseconds(spent.tv_nsec);
}

// How long this process has waited, runnable, for a processor, read with
// async-signal-safe calls only (for a forked child).
long long ownQueuedNs()
{
    const int fd = ::open("/proc/self/schedstat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[96];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    ssize_t i = 0;
    while (i < n && text[i] != ' ')
        ++i;
    long long value = 0;
    for (++i; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

// A process of the test's that stands in for a helper: `work` runs in a child
// forked for it (async-signal-safe calls only), which is killed with this.
class StandIn {
public:
    explicit StandIn(const std::function<void()>& work)
        : m_pid(::fork())
    {
        if (m_pid == 0) {
            work();
            ::_exit(0);
        }
    }
    ~StandIn()
    {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid;
};

} // namespace

// A file's deadline counts the helper's working time: its processor time, and
// the time it waits on something else. Time it waited for a processor, or for
// the app to read the reply it wrote, is the machine's and the app's doing and
// not counted; a busy machine only delays the answer. A helper that waits on
// anything else with nothing written has stalled, and overruns.
TEST(ExtractHelperDeadlineTest, TheHelpersWorkCountsNotTheTimeTheMachineOrTheAppHeldItBack)
{
    constexpr std::chrono::milliseconds kBudget{300};
    constexpr std::chrono::seconds kLonger{1};
    const auto waiting = [](pid_t pid) { return test::processState(pid) == 'S'; };

    // A reply larger than the pipe holds, which the app is slow to read.
    int reply[2];
    ASSERT_EQ(::pipe2(reply, O_CLOEXEC), 0);
    const StandIn writer([&] {
        static const char block[4096] = {};
        while (::write(reply[1], block, sizeof block) > 0) {
        }
    });
    ::close(reply[1]);
    const auto closeReply = qScopeGuard([&] { ::close(reply[0]); });
    ASSERT_GT(writer.pid(), 0);
    ASSERT_TRUE(test::eventually([&] { return waiting(writer.pid()); }));
    const ExtractHelper::Deadline heldByTheApp(writer.pid(), kBudget, reply[0], &drivenNow);
    drivenTime += kLonger;
    EXPECT_GT(heldByTheApp.left().count(), 0);

    // Starved of the processor for longer than the budget, then waiting (on
    // the test, here) with nothing written. It works until it has waited that
    // long for a processor: how the scheduler hands out its turns is its own.
    int go[2];
    ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
    const auto closeGo = qScopeGuard([&] {
        ::close(go[0]);
        ::close(go[1]);
    });
    const StandIn starved([&] {
        char sign = 0;
        if (::read(go[0], &sign, 1) != 1) return;
        while (ownQueuedNs() <= std::chrono::nanoseconds(kLonger).count()) {
        }
        while (::read(go[0], &sign, 1) < 0) {
        }
    });
    ASSERT_GT(starved.pid(), 0);
    const Starver starver;
    ASSERT_TRUE(starver.isReady());
    ASSERT_TRUE(starver.starve(starved.pid()));
    ASSERT_TRUE(test::eventually([&] { return waiting(starved.pid()); }));
    const ExtractHelper::Deadline heldByTheMachine(starved.pid(), kBudget, -1, &drivenNow);
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    ASSERT_TRUE(test::eventually(
        [&] { return queuedTimeOf(starved.pid()) > kLonger && waiting(starved.pid()); }));
    drivenTime += kLonger;
    EXPECT_GT(heldByTheMachine.left().count(), 0);
    drivenTime += kLonger;
    EXPECT_EQ(heldByTheMachine.left().count(), 0);
}

// Should the app be stuck, a helper spinning in a parser ends itself once it
// has spent its own guard's time (a second, here) on the file. The guard counts
// processor time as the app's deadline does: a helper stopped (or starved)
// for longer than that, which then goes on, is not cut off before it has done
// that much work.
TEST_F(ExtractHelperTest, AHelperStuckInAFileEndsItselfOnceItHasSpentItsGuardsProcessorTime)
{
    constexpr std::chrono::seconds kGuard{1};
    const HostileHelpers hostile("", "endless.txt");
    const QString endless = m_home.writeFile(QStringLiteral("endless.txt"), "kiwi");
    int in[2];
    int out[2];
    ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string program = OVRA_EXTRACT_PROGRAM;
    std::string option = protocol::kDeadlineSeconds;
    std::string seconds = std::to_string(kGuard.count());
    char* argv[] = {program.data(), option.data(), seconds.data(), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A group of its own: stopped in a group that the exit of another
    // process orphans, the kernel would end it with a hangup meanwhile.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    pid_t helper = -1;
    const int spawned = ::posix_spawn(&helper, argv[0], &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    const auto end = qScopeGuard([&] {
        ::close(in[1]);
        ::close(out[0]);
        if (helper > 0) ::kill(helper, SIGKILL);
    });
    ASSERT_EQ(spawned, 0);
    char ready = 0;
    ASSERT_EQ(::read(out[0], &ready, 1), 1);
    const std::chrono::nanoseconds before = processorTimeOf(helper);

    const QByteArray file = ExtractHelper::file(std::uint8_t(TextFormat::Plain), endless);
    QByteArray request(1, char(protocol::RequestKind::Text));
    const auto length = std::uint32_t(file.size());
    request.append(reinterpret_cast<const char*>(&length), sizeof length).append(file);
    const auto size = std::uint32_t(request.size());
    request.prepend(reinterpret_cast<const char*>(&size), sizeof size);
    ASSERT_EQ(::write(in[1], request.constData(), std::size_t(request.size())),
              ssize_t(request.size()));
    ASSERT_TRUE(test::eventually(
        [&] { return processorTimeOf(helper) - before > std::chrono::milliseconds(50); }));

    // Stopped for longer than its guard on the clock.
    ASSERT_EQ(::kill(helper, SIGSTOP), 0);
    ASSERT_TRUE(test::eventually([&] { return test::processState(helper) == 'T'; }));
    QElapsedTimer stopped;
    stopped.start();
    ASSERT_TRUE(test::eventually(
        [&] { return stopped.elapsed() > std::chrono::milliseconds(2 * kGuard).count(); }));
    ASSERT_EQ(::kill(helper, SIGCONT), 0);

    int status = 0;
    rusage usage{};
    ASSERT_TRUE(
        test::eventually([&] { return ::wait4(helper, &status, WNOHANG, &usage) == helper; }));
    helper = -1;
    EXPECT_TRUE(WIFSIGNALED(status));
    // The guard's timer and the process's account of its time are kept apart
    // by the kernel and may differ by a tick or so.
    const auto spent = std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(spent - before).count(),
              std::chrono::milliseconds(kGuard).count() * 9 / 10)
        << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

TEST_F(ExtractHelperTest, MediaAndPdfFilesThatCrashOrStallAreRejectedAndTheWalkFinishes)
{
    const QString song = m_home.writeFile(QStringLiteral("song.wav"), test::wavBytes(2.0));
    const QString crash = m_home.writeFile(QStringLiteral("crash.wav"), test::wavBytes(1.0));
    const QString paper = m_home.path(QStringLiteral("paper.pdf"));
    ASSERT_TRUE(test::writePdf(paper, {.pages = 3}));
    const QString endless = m_home.path(QStringLiteral("endless.pdf"));
    ASSERT_TRUE(test::writePdf(endless, {.pages = 2}));

    HelperPool helpers(helperOptions());
    md::WalkOptions options;
    options.threads = 1;
    options.helpers = &helpers;
    md::WalkOutcome walk;
    {
        const HostileHelpers hostile("crash.wav", "endless.pdf");
        walk = md::walkScope(m_home.root(), nullptr, {}, options);
    }
    ASSERT_TRUE(walk.table);
    EXPECT_EQ(walk.contentReads, 4u);
    // One helper died on each bad file; the last file listed needs no new one.
    const std::size_t restarts = helpers.restarts();
    EXPECT_GE(restarts, 1u);
    const md::Extra* songRead = extraOf(*walk.table, song);
    ASSERT_TRUE(songRead);
    EXPECT_NEAR(songRead->content.durationSeconds.value_or(0), 2.0, 0.05);
    const md::Extra* paperRead = extraOf(*walk.table, paper);
    ASSERT_TRUE(paperRead);
    EXPECT_EQ(paperRead->content.numberOfPages, 3);
    // The files the helper died on keep no attributes (so no record at all,
    // unless their access time is), and count as read.
    for (const QString& rejected : {crash, endless}) {
        const md::Extra* extra = extraOf(*walk.table, rejected);
        if (!extra) continue;
        EXPECT_EQ(extra->content, md::ContentAttributes{}) << rejected.toStdString();
        EXPECT_FALSE(extra->isContentUnread);
    }
    // Not tried again while they stay as they are, even with the folder listed again.
    m_home.writeFile(QStringLiteral("new.txt"), "x");
    const md::WalkOutcome again = md::walkScope(m_home.root(), walk.table.get(), {}, options);
    EXPECT_EQ(again.contentReads, 0u);
    EXPECT_EQ(helpers.restarts(), restarts);
}

TEST_F(ExtractHelperTest, WithoutAHelperMediaIsLeftForTheNextWalk)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString song = m_home.writeFile(QStringLiteral("Music/song.wav"), test::wavBytes(1.5));
    ExtractHelper::Options none;
    none.program = QStringLiteral("/nonexistent/ovra-extract");
    HelperPool missing(none);
    md::WalkOptions options;
    options.threads = 1;
    options.helpers = &missing;
    const md::WalkOutcome first = md::walkScope(m_home.root(), nullptr, {}, options);
    ASSERT_TRUE(first.table);
    EXPECT_EQ(first.contentReads, 0u);
    const md::Extra* unread = extraOf(*first.table, song);
    ASSERT_TRUE(unread);
    EXPECT_TRUE(unread->isContentUnread);

    // The next start finds it unread in the saved tables too.
    QTemporaryDir cache;
    const QString tables = cache.filePath(QStringLiteral("tables"));
    ASSERT_TRUE(md::TableFile::save(tables, {first.table}));
    const auto loaded = md::TableFile::load(tables);
    ASSERT_EQ(loaded.size(), 1u);
    ASSERT_TRUE(extraOf(*loaded[0], song));
    EXPECT_TRUE(extraOf(*loaded[0], song)->isContentUnread);

    // Its folder is unchanged and carried over, yet the file is read this time.
    HelperPool helpers(helperOptions());
    options.helpers = &helpers;
    const md::WalkOutcome second = md::walkScope(m_home.root(), loaded[0].get(), {}, options);
    EXPECT_EQ(second.contentReads, 1u);
    const md::Extra* read = extraOf(*second.table, song);
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->isContentUnread);
    EXPECT_NEAR(read->content.durationSeconds.value_or(0), 1.5, 0.05);
}

// Quitting stops the shared helpers: a recognition or a video's frame in a
// stalled parser must not hold the app's end for its whole deadline, and the
// file it was on is not taken for a bad one.
TEST_F(ExtractHelperTest, AStoppedPoolKillsItsHelpersAtOnceAndAsksNoMoreUntilResumed)
{
    const QString stuck = m_home.writeFile(QStringLiteral("endless.txt"), "kiwi");
    const QString fine = m_home.writeFile(QStringLiteral("fine.txt"), "mango");
    const QByteArray stuckFile = ExtractHelper::file(std::uint8_t(TextFormat::Plain), stuck);
    const QByteArray fineFile = ExtractHelper::file(std::uint8_t(TextFormat::Plain), fine);
    HelperPool pool(helperOptions(std::chrono::seconds(30)));
    std::vector<HelperReply> replies;
    {
        const HostileHelpers hostile("", "endless.txt");
        std::thread asking([&] { replies = pool.ask(protocol::RequestKind::Text, {stuckFile}); });
        // Stopped once a helper is at work on the file, not before it began.
        EXPECT_TRUE(
            test::eventually([] { return !test::childProcesses("ovra-extract").isEmpty(); }));
        pool.stop();
        asking.join();
    }
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].status, HelperReply::Status::NotAsked);
    EXPECT_EQ(pool.ask(protocol::RequestKind::Text, {fineFile})[0].status,
              HelperReply::Status::NotAsked);

    pool.resume();
    const std::vector<HelperReply> after = pool.ask(protocol::RequestKind::Text, {fineFile});
    EXPECT_EQ(after[0].status, HelperReply::Status::Answered);
    EXPECT_EQ(after[0].bytes, QByteArray("mango"));
}

// A helper that answers every file with more than its kind of reply can hold:
// each such file counts as the helper failing on it, and the app never takes
// in (or allocates) what the reply says it holds.
TEST_F(ExtractHelperTest, RepliesLargerThanTheirKindCanHoldAreRefused)
{
    qputenv("FLOOD_MB", "2");
    ExtractHelper::Options o = helperOptions(std::chrono::seconds(60));
    o.program = QStringLiteral(OVRA_FLOOD_HELPER);
    o.limits.maxTextBytes = 2 * 1024 * 1024;
    ExtractHelper helper(o);
    const auto statuses = [](const std::vector<HelperReply>& replies) {
        std::vector<HelperReply::Status> out;
        for (const HelperReply& reply : replies)
            out.push_back(reply.status);
        return out;
    };
    using Status = HelperReply::Status;
    const std::vector<QByteArray> attributes = {
        ExtractHelper::file(std::uint8_t(protocol::AttributeKind::Media), "/a.mp4"),
        ExtractHelper::file(std::uint8_t(protocol::AttributeKind::Pdf), "/b.pdf")};
    EXPECT_EQ(statuses(helper.ask(protocol::RequestKind::Attributes, attributes)),
              (std::vector{Status::Rejected, Status::Rejected}));
    QByteArray picture = ExtractHelper::file(std::uint8_t(protocol::PictureKind::VideoFrame), "/c");
    const std::int32_t side = 128;
    picture.insert(1, reinterpret_cast<const char*>(&side), sizeof side);
    EXPECT_EQ(statuses(helper.ask(protocol::RequestKind::Picture, {picture})),
              std::vector{Status::Rejected});

    // A text up to the extractor's cap is a reply like any other; one handed on
    // as it comes is not kept until the batch ends.
    std::size_t handedOn = 0;
    const std::vector<HelperReply> texts =
        helper.ask(protocol::RequestKind::Text,
                   {ExtractHelper::file(std::uint8_t(TextFormat::Plain), "/d.txt"),
                    ExtractHelper::file(std::uint8_t(TextFormat::Plain), "/e.txt")},
                   nullptr, [&](std::size_t, HelperReply& reply) {
                       handedOn += std::size_t(reply.bytes.size());
                   });
    EXPECT_EQ(statuses(texts), (std::vector{Status::Answered, Status::Answered}));
    EXPECT_EQ(handedOn, std::size_t(4 * 1024 * 1024));
    EXPECT_TRUE(texts[0].bytes.isEmpty() && texts[1].bytes.isEmpty());
    qunsetenv("FLOOD_MB");
}

// Documents are read in helpers unless a caller asks otherwise: with a helper,
// a document that crashes it costs the helper; with none, the document waits
// for an update that has one rather than being read in this process.
TEST_F(ExtractHelperTest, DocumentsAreReadInHelpersByDefault)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QStringList files = {m_home.writeFile(QStringLiteral("crash.txt"), "cherry")};
    ContentIndex::Options o;
    o.threads = 1;
    {
        const HostileHelpers hostile("crash.txt", "");
        ContentIndex index(o);
        const ContentIndex::UpdateResult result = index.update(stampsOf(files));
        EXPECT_EQ(result.rejected, 1u);
        EXPECT_TRUE(index.matchingPaths(u"cherry", false).isEmpty());
    }
    o.databasePath = m_home.path(QStringLiteral("without-helpers.sqlite"));
    const QByteArray helper = qgetenv("OVRA_EXTRACT");
    qputenv("OVRA_EXTRACT", "");
    ContentIndex index(o);
    index.update(stampsOf(files));
    qputenv("OVRA_EXTRACT", helper);
    EXPECT_TRUE(index.matchingPaths(u"cherry", false).isEmpty());
}

namespace {

// Private memory of a process, from its status: kB of anonymous resident pages.
qint64 anonymousKb(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').front().toLongLong();
    }
    return -1;
}

} // namespace

TEST_F(ExtractHelperTest, AHelperGivesBackWhatALargeDocumentTook)
{
#ifdef OVRA_SANITIZE
    GTEST_SKIP() << "the sanitizers' allocator holds freed memory in quarantine by design";
#endif
    ExtractHelper helper(helperOptions(std::chrono::seconds(60)));
    const QString small = m_home.writeFile(QStringLiteral("small.html"), "<p>fig</p>");
    ASSERT_EQ(helper.extract(small, TextFormat::Html).outcome, ExtractedText::Outcome::Text);
    const QStringList children = test::childProcesses("ovra-extract");
    ASSERT_EQ(children.size(), 1);
    const pid_t pid = children.front().toInt();
    const qint64 before = anonymousKb(pid);
    ASSERT_GT(before, 0);

    // Read twice: the first large buffer freed is what made the allocator keep
    // the second.
    constexpr qint64 kLargeKb = 24 * 1024;
    const QString large = m_home.writeFile(
        QStringLiteral("large.html"), QByteArray("<p>word</p>").repeated(kLargeKb * 1024 / 11));
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(helper.extract(large, TextFormat::Html).outcome, ExtractedText::Outcome::Text);
    ASSERT_EQ(helper.extract(small, TextFormat::Html).outcome, ExtractedText::Outcome::Text);
    EXPECT_LT(anonymousKb(pid) - before, kLargeKb / 3);
}

namespace {

// Whether a process has ended: gone, or a zombie no one reaped yet.
bool hasEnded(pid_t pid)
{
    const char state = test::processState(pid);
    return state == 0 || state == 'Z' || state == 'X';
}

} // namespace

// A helper that was stopped (a job control signal, a debugger) when its
// deadline passed says nothing of the file: a new helper tries it once more,
// and only a second overrun leaves it out. A helper that never goes on ends
// the wait as one that never answers does.
TEST_F(ExtractHelperTest, AFileIsTriedOnceMoreWhenItsHelperWasStoppedPastTheDeadline)
{
    const HostileHelpers hostile("", "endless.txt");
    ExtractHelper helper(helperOptions(std::chrono::milliseconds(300)));
    const QString first = m_home.writeFile(QStringLiteral("first.txt"), "fig");
    ASSERT_EQ(helper.extract(first, TextFormat::Plain).outcome, ExtractedText::Outcome::Text);
    const auto stopHelper = [] {
        const QStringList children = test::childProcesses("ovra-extract");
        if (children.size() != 1) return pid_t(-1);
        const pid_t pid = children.front().toInt();
        if (::kill(pid, SIGSTOP) != 0 ||
            !test::eventually([&] { return test::processState(pid) == 'T'; }))
            return pid_t(-1);
        return pid;
    };
    std::atomic_bool cancelled{false};
    const auto extract = [&](const QString& path) {
        auto answer = std::async(std::launch::async, [&] {
            return helper.extract(path, TextFormat::Plain, &cancelled);
        });
        if (answer.wait_for(test::kPatience) != std::future_status::ready) cancelled = true;
        return answer.get();
    };

    const pid_t stopped = stopHelper();
    ASSERT_GT(stopped, 0);
    const QString second = m_home.writeFile(QStringLiteral("second.txt"), "pear");
    const ExtractedText text = extract(second);
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(text.outcome, ExtractedText::Outcome::Text);
    EXPECT_EQ(text.text, QByteArray("pear"));
    EXPECT_EQ(helper.restarts(), 1);
    EXPECT_TRUE(hasEnded(stopped));

    // Stopped on a file that the next helper overruns on too: left out.
    ASSERT_GT(stopHelper(), 0);
    const QString endless = m_home.writeFile(QStringLiteral("endless.txt"), "plum");
    EXPECT_EQ(extract(endless).outcome, ExtractedText::Outcome::Rejected);
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(helper.restarts(), 2);
}

// However the app ends (here killed, as a crash ends it), its helpers end with
// it, stopped ones too, whose own guard cannot run. The app is a child forked
// for the test. One helper was started on a thread that ended long before the
// app did, as the pools' threads end after a while idle, and runs at that
// thread's lowered priority, as idle work's helpers do; the other at the
// normal priority of the thread that asked for it.
TEST_F(ExtractHelperTest, StoppedHelpersEndWithTheAppThatStartedThem)
{
    constexpr int kLowered = 5;
    const QString fine = m_home.writeFile(QStringLiteral("fine.txt"), "mango");
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    const pid_t app = ::fork();
    ASSERT_GE(app, 0);
    if (app == 0) {
        ::close(ready[0]);
        const auto reads = [&](ExtractHelper& helper) {
            return helper.extract(fine, TextFormat::Plain).text == "mango";
        };
        auto* normal = new ExtractHelper(helperOptions());
        auto* lowered = new ExtractHelper(helperOptions());
        bool isRead = reads(*normal);
        std::thread([&] {
            ::setpriority(PRIO_PROCESS, id_t(::gettid()), kLowered);
            isRead = isRead && reads(*lowered);
        }).join();
        isRead = isRead && reads(*lowered) && lowered->restarts() == 0;
        const char answer = isRead ? 'y' : 'n';
        if (::write(ready[1], &answer, 1) != 1) ::_exit(1);
        while (true)
            ::pause();
    }
    ::close(ready[1]);
    const auto endApp = qScopeGuard([&] {
        ::kill(app, SIGKILL);
        ::waitpid(app, nullptr, 0);
    });
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(answer, 'y');
    std::vector<pid_t> helpers;
    for (const QString& pid : test::childProcesses("ovra-extract", app))
        helpers.push_back(pid.toInt());
    ASSERT_EQ(helpers.size(), 2u);
    const auto endHelpers = qScopeGuard([&] {
        for (const pid_t helper : helpers)
            ::kill(helper, SIGKILL);
    });
    std::set<int> priorities;
    for (const pid_t helper : helpers) {
        priorities.insert(::getpriority(PRIO_PROCESS, id_t(helper)));
        ASSERT_EQ(::kill(helper, SIGSTOP), 0);
        ASSERT_TRUE(test::eventually([&] { return test::processState(helper) == 'T'; }));
    }
    EXPECT_EQ(priorities, (std::set<int>{0, kLowered}));

    ASSERT_EQ(::kill(app, SIGKILL), 0);
    ASSERT_EQ(::waitpid(app, nullptr, 0), app);
    for (const pid_t helper : helpers)
        EXPECT_TRUE(test::eventually([&] { return hasEnded(helper); })) << helper;
}

// A helper stopped before its own code runs (in the dynamic loader, say) ends
// with the app too: it cannot ask for its death signal itself, so the app's
// starter asks for it in the child before the exec. The stand-in program stops
// itself before doing anything; the app is a child forked for the test.
TEST_F(ExtractHelperTest, AHelperStoppedBeforeItsMainEndsWithTheApp)
{
    const QString program = m_home.writeFile(QStringLiteral("stand-in/ovra-extract"),
                                             "#!/bin/sh\nkill -STOP $$\nexec cat\n");
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    const QString fine = m_home.writeFile(QStringLiteral("fine.txt"), "mango");
    const pid_t app = ::fork();
    ASSERT_GE(app, 0);
    if (app == 0) {
        ExtractHelper::Options options = helperOptions();
        options.program = program;
        auto* helper = new ExtractHelper(options);
        helper->extract(fine, TextFormat::Plain);
        ::_exit(0);
    }
    const auto endApp = qScopeGuard([&] {
        ::kill(app, SIGKILL);
        ::waitpid(app, nullptr, 0);
    });
    pid_t helper = -1;
    const auto endHelper = qScopeGuard([&] {
        if (helper > 0) ::kill(helper, SIGKILL);
    });
    ASSERT_TRUE(test::eventually([&] {
        const QStringList helpers = test::childProcesses("ovra-extract", app);
        helper = helpers.isEmpty() ? -1 : helpers.front().toInt();
        return helper > 0 && test::processState(helper) == 'T';
    }));

    ASSERT_EQ(::kill(app, SIGKILL), 0);
    ASSERT_EQ(::waitpid(app, nullptr, 0), app);
    EXPECT_TRUE(test::eventually([&] { return hasEnded(helper); }));
}
