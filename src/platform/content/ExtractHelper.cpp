#include "ExtractHelper.h"

#include "ExtractProtocol.h"

#include <QByteArray>
#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ovra::content {
namespace {

using Clock = ExtractHelper::Clock;
using Outcome = ExtractedText::Outcome;

// Beyond the extractor's own time budget, which is checked only between pages.
constexpr std::chrono::milliseconds kDeadlineGrace{2000};
// Recognising the text of a scanned PDF's first pages takes seconds a page on a
// busy machine.
constexpr std::chrono::milliseconds kSlowDeadline{60000};
// Loading a helper's libraries on a busy machine is not a file's fault, so it
// has a time of its own.
constexpr std::chrono::seconds kStartTimeout{20};
// How often a wait for the helper looks at the cancellation flag, and at most
// how often a deadline looks at the helper.
constexpr int kPollSliceMs = 50;
constexpr std::chrono::milliseconds kPollSlice{kPollSliceMs};

// A write to a helper that just died raises SIGPIPE, which would end the app:
// the signal is held back for this thread and any pending one taken away.
class SigpipeBlock {
public:
    SigpipeBlock()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~SigpipeBlock()
    {
        const timespec none{0, 0};
        while (sigtimedwait(&m_pipe, nullptr, &none) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }

private:
    sigset_t m_pipe;
    sigset_t m_previous;
};

using ReadResult = ExtractHelper::ReadResult;

// Reads exactly `size` bytes, giving up once the deadline is spent or when
// cancelled. What the helper wrote in time is taken even when this thread,
// starved itself, looks only after the deadline. The deadline is looked at
// after each wait and before the read, while what the helper wrote in the
// meantime still waits in the pipe: a helper held up by a slow reader is not a
// slow helper.
ReadResult readFully(int fd, char* data, std::size_t size, const ExtractHelper::Deadline& deadline,
                     const ExtractHelper::Cancel& cancelled)
{
    long long left = deadline.left().count();
    while (size > 0) {
        if (cancelled()) return ReadResult::Cancelled;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, int(std::min<long long>(left, kPollSliceMs)));
        left = deadline.left().count();
        if (ready < 0 && errno != EINTR) return ReadResult::Failed;
        if (ready == 0 && left <= 0) return ReadResult::Overran;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return ReadResult::Failed;
        data += n;
        size -= std::size_t(n);
    }
    return ReadResult::Done;
}

// The processor time all a helper's threads have had, read through its CPU
// clock: one system call, where its stat file is an open, a read and a parse.
std::optional<std::chrono::nanoseconds> processorTime(pid_t pid)
{
    clockid_t clock{};
    timespec spent{};
    if (::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &spent) != 0)
        return std::nullopt;
    return std::chrono::seconds(spent.tv_sec) + std::chrono::nanoseconds(spent.tv_nsec);
}

// The start of a helper's file under /proc (`stat`, `schedstat`), ended by a
// NUL, in `text`; false when it cannot be read.
template <std::size_t N> bool readProcessFile(pid_t pid, const char* name, char (&text)[N])
{
    char path[48];
    std::snprintf(path, sizeof path, "/proc/%d/%s", int(pid), name);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t n = ::read(fd, text, N - 1);
    ::close(fd);
    if (n <= 0) return false;
    text[n] = '\0';
    return true;
}

// The scheduler's state of a helper: R runnable, S or D waiting on something
// other than the processor (a file, a lock), T stopped (a job control signal)
// or t (a debugger); nothing when it cannot be read.
std::optional<char> schedulerState(pid_t pid)
{
    char text[512];
    if (!readProcessFile(pid, "stat", text)) return std::nullopt;
    // The program's name, in parentheses, may hold anything: the state is
    // the field after its last parenthesis.
    const char* fields = std::strrchr(text, ')');
    char state = 0;
    if (!fields || std::sscanf(fields + 1, " %c", &state) != 1) return std::nullopt;
    return state;
}

// How long a helper's main thread has waited, runnable, for a processor: the
// second figure of its schedstat file; nothing when it cannot be read.
std::optional<std::chrono::nanoseconds> queuedTime(pid_t pid)
{
    char text[96];
    if (!readProcessFile(pid, "schedstat", text)) return std::nullopt;
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    if (std::sscanf(text, "%llu %llu", &running, &waiting) != 2) return std::nullopt;
    return std::chrono::nanoseconds(waiting);
}

// What a thread runs at, which a helper takes from the thread that starts it.
struct Priority {
    int policy = 0;
    int nice = 0;
    int io = 0;
    friend bool operator==(const Priority&, const Priority&) = default;
};

Priority priorityOfThisThread()
{
    constexpr int kWhoThread = 1; // IOPRIO_WHO_PROCESS, which names a thread by its id
    const auto thread = pid_t(::syscall(SYS_gettid));
    return {::sched_getscheduler(0), ::getpriority(PRIO_PROCESS, id_t(thread)),
            int(::syscall(SYS_ioprio_get, kWhoThread, thread))};
}

// Helpers are started from threads that last as long as the process: a helper
// has the kernel kill it when the thread that started it ends (see launch),
// and the pools' threads end after a while idle while a helper
// lives on in its pool. A helper runs at the priority of the thread that asked
// for it (idle work's helpers at idle priority), which a thread can give up
// but never take back: each priority asked at has a starter of its own, made
// by the first thread that asks at it, so it runs at that priority too.
class HelperStarter {
public:
    static HelperStarter& forThisThread()
    {
        static std::mutex mutex;
        static auto* starters = new std::vector<HelperStarter*>;
        const Priority priority = priorityOfThisThread();
        // A child forked from the app (a test's) has none of its threads.
        const pid_t process = ::getpid();
        const std::lock_guard lock(mutex);
        for (HelperStarter* starter : *starters)
            if (starter->m_process == process && starter->m_priority == priority) return *starter;
        starters->push_back(new HelperStarter(priority));
        return *starters->back();
    }

    // Runs `start` on the starting thread and answers what it answered.
    int run(std::function<int()> start)
    {
        std::packaged_task<int()> task(std::move(start));
        std::future<int> answer = task.get_future();
        {
            const std::lock_guard lock(m_mutex);
            m_work.push_back(std::move(task));
        }
        m_wake.notify_one();
        return answer.get();
    }

private:
    // Never destroyed and never joined: the thread must outlive every helper it
    // started, and it ends with the process.
    explicit HelperStarter(Priority priority)
        : m_priority(priority)
    {
        std::thread([this] { serve(); }).detach();
    }

    void serve()
    {
        // A helper forked here must run none of the app's signal handlers
        // before it has put them back to their defaults (see launch).
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        while (true) {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_work.empty(); });
            std::packaged_task<int()> task = std::move(m_work.front());
            m_work.pop_front();
            lock.unlock();
            task();
        }
    }

    const pid_t m_process = ::getpid();
    const Priority m_priority;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::packaged_task<int()>> m_work;
};

// What a helper is started with, all made before the fork: the child of a
// process of many threads may make only async-signal-safe calls.
struct Launch {
    const char* program = nullptr;
    char* const* argv = nullptr;
    char* const* environment = nullptr;
    int input = -1;   // the helper's standard input
    int output = -1;  // its standard output
    pid_t app = 0;    // the process that forks it
    int failure = -1; // where the child writes why it could not become the helper
};

// Makes `fd` the child's `target`, left open by the exec.
bool redirect(int fd, int target)
{
    if (fd == target) return ::fcntl(fd, F_SETFD, 0) == 0;
    return ::dup2(fd, target) == target;
}

// The forked child's way to the helper program. Its death signal is set here,
// before the exec, so that a helper stopped anywhere, even in the dynamic
// loader before its main, ends with the app: the kernel kills it when the
// thread that forked it ends, which a starter does only with the app. An app
// that ended before that took hold has left the child to another parent.
[[noreturn]] void becomeHelper(const Launch& launch)
{
    int error = 0;
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
        error = errno;
    } else if (::getppid() != launch.app) {
        ::_exit(127);
    } else if (!redirect(launch.input, STDIN_FILENO) || !redirect(launch.output, STDOUT_FILENO)) {
        error = errno;
    } else {
        // Not the app's handlers, ignored signals (SIGPIPE) or blocked ones
        // (every signal, on the starter's thread): the helper's own defaults.
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        for (int number = 1; number < NSIG; ++number)
            ::sigaction(number, &byDefault, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(launch.program, launch.argv, launch.environment);
        error = errno;
    }
    while (::write(launch.failure, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

std::string argument(std::int64_t value)
{
    return std::to_string(value);
}

// The helper's command line: its program, its limits and the app it belongs to.
std::vector<std::string> helperArguments(const ExtractHelper::Options& options)
{
    const ExtractLimits& limits = options.limits;
    const auto deadlineSeconds = std::chrono::duration_cast<std::chrono::seconds>(
                                     std::max(options.deadline, options.slowDeadline))
                                         .count() *
                                     2 +
                                 1;
    return {
        options.program.toStdString(),
        protocol::kMemoryLimit,
        argument(options.memoryLimit),
        protocol::kMaxTextBytes,
        argument(limits.maxTextBytes),
        protocol::kMaxMarkupBytes,
        argument(limits.maxMarkupBytes),
        protocol::kMaxDocumentBytes,
        argument(limits.maxDocumentBytes),
        protocol::kMaxArchiveEntries,
        argument(limits.maxArchiveEntries),
        protocol::kMaxInflatedBytes,
        argument(limits.maxInflatedBytes),
        protocol::kMaxCompressionRatio,
        std::to_string(limits.maxCompressionRatio),
        protocol::kTimeBudgetMs,
        argument(limits.timeBudget.count()),
        protocol::kDeadlineSeconds,
        argument(deadlineSeconds),
        protocol::kAppProcess,
        argument(::getpid()),
    };
}

// Each helper recognises text on its one thread: OpenMP teams of several
// helpers at once would oversubscribe the cores and stall.
constexpr const char* kThreadLimit = "OMP_THREAD_LIMIT=1";

// The app's environment with the helpers' thread limit; the strings stay ours.
std::vector<char*> helperEnvironment()
{
    std::vector<char*> environment;
    for (char** variable = environ; *variable; ++variable)
        if (std::strncmp(*variable, "OMP_THREAD_LIMIT=", 17) != 0) environment.push_back(*variable);
    environment.push_back(const_cast<char*>(kThreadLimit));
    environment.push_back(nullptr);
    return environment;
}

void closeBoth(const int (&fds)[2])
{
    ::close(fds[0]);
    ::close(fds[1]);
}

// The file a request names, for the log.
QString nameOf(protocol::RequestKind kind, const QByteArray& file)
{
    switch (kind) {
    case protocol::RequestKind::Text:
    case protocol::RequestKind::Attributes: return QString::fromUtf8(file.mid(1));
    case protocol::RequestKind::Recognize:
        if (file.startsWith(char(protocol::RecognitionKind::FileText)))
            return QString::fromUtf8(file.mid(1));
        break;
    case protocol::RequestKind::Picture:
        return QString::fromUtf8(file.mid(1 + qsizetype(sizeof(std::int32_t))));
    }
    return QStringLiteral("a picture");
}

ExtractedText rejected()
{
    ExtractedText text;
    text.outcome = Outcome::Rejected;
    return text;
}

} // namespace

ExtractHelper::ExtractHelper(Options options)
    : m_options(std::move(options))
{
    if (m_options.deadline.count() <= 0)
        m_options.deadline = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_options.limits.timeBudget + kDeadlineGrace);
    if (m_options.slowDeadline.count() <= 0) m_options.slowDeadline = kSlowDeadline;
}

ExtractHelper::~ExtractHelper()
{
    stop();
}

QString ExtractHelper::findProgram()
{
    const QByteArray named = qgetenv("OVRA_EXTRACT");
    if (!named.isEmpty()) return QString::fromLocal8Bit(named);
    return programBeside(QStringLiteral("/proc/self/exe"));
}

QString ExtractHelper::programBeside(const QString& program)
{
    const QFileInfo self(program);
    const QFileInfo beside(self.canonicalFilePath().section(u'/', 0, -2) +
                           QStringLiteral("/ovra-extract"));
    return beside.isFile() && beside.isExecutable() ? beside.filePath() : QString();
}

bool ExtractHelper::start(const Cancel& cancelled)
{
    int in[2];
    int out[2];
    int failure[2]; // closed by the exec, or given the errno of what failed
    if (::pipe2(in, O_CLOEXEC) != 0) return false;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        closeBoth(in);
        return false;
    }
    if (::pipe2(failure, O_CLOEXEC | O_NONBLOCK) != 0) {
        closeBoth(in);
        closeBoth(out);
        return false;
    }
    std::vector<std::string> args = helperArguments(m_options);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::vector<char*> environment = helperEnvironment();
    const Launch launch{.program = argv[0],
                        .argv = argv.data(),
                        .environment = environment.data(),
                        .input = in[0],
                        .output = out[1],
                        .app = ::getpid(),
                        .failure = failure[1]};
    pid_t pid = -1;
    const int failed = HelperStarter::forThisThread().run([&] {
        pid = ::fork();
        if (pid == 0) becomeHelper(launch);
        return pid < 0 ? errno : 0;
    });
    ::close(in[0]);
    ::close(out[1]);
    ::close(failure[1]);
    if (failed) {
        ::close(in[1]);
        ::close(out[0]);
        ::close(failure[0]);
        qWarning("content: cannot start %s: %s", qPrintable(m_options.program),
                 std::strerror(failed));
        return false;
    }
    m_pid = pid;
    m_toHelper = in[1];
    m_fromHelper = out[0];
    char ready = 0;
    const bool isReady =
        readFully(m_fromHelper, &ready, 1, Deadline(m_pid, kStartTimeout, m_fromHelper),
                  cancelled) == ReadResult::Done &&
        ready == protocol::kReady;
    // A child that never became the helper is no start of one.
    int error = 0;
    const bool isExecFailed =
        !isReady && ::read(failure[0], &error, sizeof error) == ssize_t(sizeof error);
    ::close(failure[0]);
    if (isExecFailed)
        qWarning("content: cannot start %s: %s", qPrintable(m_options.program),
                 std::strerror(error));
    else if (m_starts++ > 0)
        ++m_restarts;
    if (!isReady) stop();
    return isReady;
}

void ExtractHelper::stop()
{
    if (m_toHelper >= 0) ::close(m_toHelper);
    if (m_fromHelper >= 0) ::close(m_fromHelper);
    m_toHelper = m_fromHelper = -1;
    if (m_pid > 0) {
        // Killed, not asked: a helper inside a stalled parser would not listen.
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
}

QByteArray ExtractHelper::file(std::uint8_t what, const QString& path)
{
    QByteArray bytes = path.toUtf8();
    bytes.prepend(char(what));
    return bytes;
}

std::vector<HelperReply> ExtractHelper::ask(protocol::RequestKind kind,
                                            const std::vector<QByteArray>& files,
                                            const std::atomic_bool* askerCancelled,
                                            const OnReply& onReply)
{
    using Status = HelperReply::Status;
    std::vector<HelperReply> replies(files.size());
    const SigpipeBlock sigpipeBlock;
    const Cancel isCancelled{askerCancelled, m_options.stopped};
    std::size_t next = 0;                  // the first file not answered yet
    std::size_t triedAgain = files.size(); // the file given to a new helper after a stop
    QByteArray request;
    while (next < files.size()) {
        if (isCancelled()) break;
        if (files[next].size() > qsizetype(protocol::kMaxFileBytes)) {
            replies[next].status = Status::Answered;
            replies[next].outcome = Outcome::Unreadable;
            ++next;
            continue;
        }
        if (m_pid <= 0 && !start(isCancelled)) break;
        request.clear();
        request.append(QByteArray(sizeof(std::uint32_t), '\0'));
        request.append(char(kind));
        std::size_t end = next;
        while (end < files.size() && files[end].size() <= qsizetype(protocol::kMaxFileBytes) &&
               std::size_t(request.size()) + sizeof(std::uint32_t) +
                       std::size_t(files[end].size()) <=
                   protocol::kMaxRequestBytes + sizeof(std::uint32_t)) {
            const auto length = std::uint32_t(files[end].size());
            request.append(reinterpret_cast<const char*>(&length), sizeof length);
            request.append(files[end]);
            ++end;
        }
        const auto size = std::uint32_t(std::size_t(request.size()) - sizeof(std::uint32_t));
        std::memcpy(request.data(), &size, sizeof size);

        // A helper that ended between files (its own alarm) is not this file's fault.
        bool isSent =
            protocol::writeFully(m_toHelper, request.constData(), std::size_t(request.size()));
        if (!isSent) {
            stop();
            isSent = start(isCancelled) && protocol::writeFully(m_toHelper, request.constData(),
                                                                std::size_t(request.size()));
        }
        if (!isSent) {
            stop();
            break;
        }
        for (std::size_t i = next; i < end; ++i) {
            const Deadline deadline(m_pid,
                                    kind == protocol::RequestKind::Recognize
                                        ? m_options.slowDeadline
                                        : m_options.deadline,
                                    m_fromHelper);
            HelperReply& reply = replies[i];
            const ReadResult result =
                readReply(m_fromHelper, kind, files[i], m_options.limits.maxTextBytes, deadline,
                          isCancelled, reply);
            if (result == ReadResult::Done) {
                reply.status = Status::Answered;
                if (onReply) {
                    onReply(i, reply);
                    // Handed on: a batch never holds every reply at once.
                    reply.bytes = QByteArray();
                }
                continue;
            }
            reply = {};
            stop();
            if (result == ReadResult::Cancelled) return replies;
            const QString path = nameOf(kind, files[i]);
            // A helper stopped (a job control signal, a debugger) past the
            // deadline says nothing of the file: a new helper tries it once more.
            if (result == ReadResult::Overran && deadline.wasStopped() && triedAgain != i) {
                qWarning("content: the helper reading %s was stopped past its deadline; "
                         "a new one tries it again",
                         qPrintable(path));
                triedAgain = i;
                end = i;
                break;
            }
            if (result == ReadResult::Overran)
                qWarning("content: reading %s took too long; the file is left out until it changes",
                         qPrintable(path));
            else
                qWarning("content: the helper failed on %s; the file is left out until it changes",
                         qPrintable(path));
            reply.status = Status::Rejected;
            if (onReply) onReply(i, reply);
            end = i + 1; // the files after it go to a new helper
            break;
        }
        next = end;
    }
    return replies;
}

ExtractHelper::Deadline::Deadline(pid_t helper, std::chrono::milliseconds budget, int fromHelper,
                                  Now now)
    : m_helper(helper)
    , m_budget(budget)
    , m_fromHelper(fromHelper)
    , m_now(now)
    , m_lookedAt(m_now())
{
    if (m_helper <= 0) return;
    if (const std::optional<std::chrono::nanoseconds> processor = processorTime(m_helper))
        m_processorAt = *processor;
    m_queuedAt = queuedTime(m_helper);
}

// Most files are answered within a poll slice, and a look at the helper (its
// processor clock, its stat and schedstat files) costs more than the pipe's
// round trip: it is looked at only once a slice has passed, or when the
// wall clock alone would spend the budget. Working time never outruns the wall
// clock, so until then the budget cannot be spent.
std::chrono::milliseconds ExtractHelper::Deadline::left() const
{
    const Clock::time_point now = m_now();
    const std::chrono::nanoseconds since = now - m_lookedAt;
    if (since < kPollSlice && m_working + since < m_budget)
        return std::chrono::ceil<std::chrono::milliseconds>(m_budget - m_working - since);
    m_lookedAt = now;
    const std::optional<std::chrono::nanoseconds> processor =
        m_helper > 0 ? processorTime(m_helper) : std::nullopt;
    const std::optional<char> state = processor ? schedulerState(m_helper) : std::nullopt;
    m_isStopped = state == 'T' || state == 't';
    const bool isWaiting = m_isStopped || state == 'S' || state == 'D';
    const std::optional<std::chrono::nanoseconds> queuedNow =
        state ? queuedTime(m_helper) : std::nullopt;
    if (!processor || !state) {
        m_working += since; // no helper to look at, or none any more: the wall clock
    } else if (!isWaiting || isReplyWaiting()) {
        // Runnable, it worked only as long as it had the processor. So too
        // while what it wrote waits for the app: whatever it waits on then is
        // the app's doing (a reply larger than the pipe holds waits for the
        // app to read on, which a busy machine may hold back).
        m_working += std::clamp(*processor - m_processorAt, std::chrono::nanoseconds(0), since);
    } else {
        // Waiting on something else, or stopped, the time is its own, less
        // what it spent waiting for a processor before.
        const std::chrono::nanoseconds queued =
            queuedNow && m_queuedAt ? *queuedNow - *m_queuedAt : std::chrono::nanoseconds(0);
        m_working += std::clamp(since - queued, std::chrono::nanoseconds(0), since);
    }
    m_queuedAt = queuedNow;
    if (processor) m_processorAt = *processor;
    return m_working < m_budget ? std::chrono::ceil<std::chrono::milliseconds>(m_budget - m_working)
                                : std::chrono::milliseconds(0);
}

bool ExtractHelper::Deadline::isReplyWaiting() const
{
    int bytes = 0;
    return m_fromHelper >= 0 && ::ioctl(m_fromHelper, FIONREAD, &bytes) == 0 && bytes > 0;
}

ExtractHelper::ReadResult ExtractHelper::readReply(int fd, protocol::RequestKind kind,
                                                   const QByteArray& file,
                                                   std::int64_t maxTextBytes,
                                                   const Deadline& deadline,
                                                   const Cancel& cancelled, HelperReply& reply)
{
    char header[protocol::kResponseHeaderBytes];
    const ReadResult result = readFully(fd, header, sizeof header, deadline, cancelled);
    if (result != ReadResult::Done) return result;
    std::uint32_t byteCount = 0;
    std::memcpy(&byteCount, header + 2, sizeof byteCount);
    const auto outcome = static_cast<Outcome>(header[0]);
    // Refused before anything is allocated: a helper that says more than the
    // kind can hold is broken or taken over.
    if (outcome > Outcome::Rejected ||
        byteCount >
            protocol::maxReplyBytes(kind, file.constData(), std::size_t(file.size()), maxTextBytes))
        return ReadResult::Failed;
    reply.outcome = outcome;
    reply.flag = header[1] != 0;
    reply.bytes.resize(qsizetype(byteCount));
    return readFully(fd, reply.bytes.data(), byteCount, deadline, cancelled);
}

ExtractedText ExtractHelper::extract(const QString& path, TextFormat format,
                                     const std::atomic_bool* cancelled)
{
    const std::vector<HelperReply> replies =
        ask(protocol::RequestKind::Text, {file(std::uint8_t(format), path)}, cancelled);
    const HelperReply& reply = replies.front();
    ExtractedText text;
    switch (reply.status) {
    case HelperReply::Status::Answered:
        text.outcome = reply.outcome;
        text.isTruncated = reply.flag;
        text.text = reply.bytes;
        return text;
    case HelperReply::Status::Rejected: return rejected();
    case HelperReply::Status::NotAsked: break;
    }
    text.outcome = Outcome::Unreadable;
    return text;
}

HelperPool::HelperPool(ExtractHelper::Options options)
    : m_options(std::move(options))
{
    m_options.stopped = &m_stopped;
}

void HelperPool::stop()
{
    m_stopped = true;
}

void HelperPool::resume()
{
    m_stopped = false;
}

HelperPool::~HelperPool() = default;

HelperPool& HelperPool::shared()
{
    static HelperPool pool;
    return pool;
}

HelperPool::Lease::Lease(HelperPool& pool, std::unique_ptr<ExtractHelper> helper)
    : m_pool(&pool)
    , m_helper(std::move(helper))
    , m_restartsBefore(m_helper ? m_helper->restarts() : 0)
{
}

HelperPool::Lease::~Lease()
{
    if (!m_helper) return;
    m_pool->m_restarts += std::size_t(m_helper->restarts() - m_restartsBefore);
    const std::lock_guard lock(m_pool->m_mutex);
    m_pool->m_idle.push_back(std::move(m_helper));
}

HelperPool::Lease HelperPool::take()
{
    const std::lock_guard lock(m_mutex);
    if (!m_hasLookedForProgram) {
        m_hasLookedForProgram = true;
        if (m_options.program.isEmpty()) m_options.program = ExtractHelper::findProgram();
        if (m_options.program.isEmpty())
            qWarning("content: no ovra-extract helper found; media, PDF and picture files "
                     "are not read");
    }
    if (m_options.program.isEmpty()) return Lease(*this, nullptr);
    if (!m_idle.empty()) {
        std::unique_ptr<ExtractHelper> helper = std::move(m_idle.back());
        m_idle.pop_back();
        return Lease(*this, std::move(helper));
    }
    return Lease(*this, std::make_unique<ExtractHelper>(m_options));
}

std::vector<HelperReply> HelperPool::ask(protocol::RequestKind kind,
                                         const std::vector<QByteArray>& files,
                                         const std::atomic_bool* cancelled,
                                         const ExtractHelper::OnReply& onReply)
{
    const Lease helper = take();
    if (!helper) return std::vector<HelperReply>(files.size());
    return helper->ask(kind, files, cancelled, onReply);
}

} // namespace ovra::content
