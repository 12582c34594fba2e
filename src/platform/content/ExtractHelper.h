#pragma once

#include "ExtractProtocol.h"
#include "TextExtractor.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <sys/types.h>

namespace ovra::content {

// A helper's answer for one file.
struct HelperReply {
    enum class Status : std::uint8_t {
        Answered, // `outcome`, `flag` and `bytes` are the helper's
        Rejected, // the helper crashed or overran its deadline on this file
        NotAsked, // no helper could be started, or the asker cancelled: not the file's fault
    };
    Status status = Status::NotAsked;
    ExtractedText::Outcome outcome = ExtractedText::Outcome::Unreadable;
    bool flag = false;
    QByteArray bytes;
};

// One `ovra-extract` helper process, started when first asked and restarted
// after it crashed or was killed. A file whose reading crashes the helper or
// outlasts the deadline comes back Rejected, so the asker records it and does
// not try it again until it changes; a file whose helper was stopped when the
// deadline passed is tried once more in a new helper first. A helper ends with
// the app, however the app ends, even a stopped one. Used by one thread at a
// time.
class ExtractHelper {
public:
    struct Options {
        QString program; // the `ovra-extract` executable
        ExtractLimits limits;
        std::int64_t memoryLimit = 1024LL * 1024 * 1024; // address space of the helper
        std::chrono::milliseconds deadline{0};           // per file; 0: the time budget and a grace
        std::chrono::milliseconds slowDeadline{0};       // per file recognised; 0: a minute
        // Set by the helper's pool when the app quits: every ask is cancelled.
        const std::atomic_bool* stopped = nullptr;
    };

    explicit ExtractHelper(Options options);
    ~ExtractHelper(); // kills the helper: nothing waits for a file in progress
    ExtractHelper(const ExtractHelper&) = delete;
    ExtractHelper& operator=(const ExtractHelper&) = delete;

    // Asks the helper about each of `files` (each in the form `kind` takes, see
    // ExtractProtocol.h), as few requests as the sizes allow, and answers one
    // reply per file in the same order. Each file has its own deadline, counted
    // from the answer before it. After a crash or an overrun the files after the
    // bad one go to a new helper. When `cancelled` turns true the helper is
    // killed at once and the files not yet answered are NotAsked. `onReply`,
    // when given, takes each file's reply (Answered or Rejected) as it comes,
    // while the helper already reads the next file; it may take the reply's
    // bytes, and the replies returned then hold none. A reply larger than its
    // kind can hold (ExtractProtocol.h) counts as the helper failing on that file.
    using OnReply = std::function<void(std::size_t file, HelperReply& reply)>;
    std::vector<HelperReply> ask(protocol::RequestKind kind, const std::vector<QByteArray>& files,
                                 const std::atomic_bool* cancelled = nullptr,
                                 const OnReply& onReply = {});

    // Reads the words of `path` in the helper. Cancelled, the file comes back
    // Unreadable (not recorded, so read again by the next update).
    ExtractedText extract(const QString& path, TextFormat format,
                          const std::atomic_bool* cancelled = nullptr);

    // Helpers started after the first, because one crashed or overran.
    int restarts() const { return m_restarts; }

    // The helper beside the running program, or the one $OVRA_EXTRACT names;
    // empty when there is none.
    static QString findProgram();
    // The helper installed beside `program` (a path to an executable), where
    // the build and the installation both put it; empty when there is none.
    static QString programBeside(const QString& program);

    // A file's request: the one-byte kind of work (a TextFormat, an
    // AttributeKind…), then the path.
    static QByteArray file(std::uint8_t what, const QString& path);

    // The asker's cancellation and the pool's stop, either of which ends a wait.
    struct Cancel {
        const std::atomic_bool* asker = nullptr;
        const std::atomic_bool* pool = nullptr;
        bool operator()() const
        {
            return (asker && asker->load(std::memory_order_relaxed)) ||
                   (pool && pool->load(std::memory_order_relaxed));
        }
    };

    using Clock = std::chrono::steady_clock;

    // A file's deadline, counted in the helper's working time: its processor
    // time while it is runnable, the wall clock while it waits on something
    // else (a file, a lock) or is stopped, less the time it waited for a
    // processor. A helper that a busy machine (or its idle priority) gives no
    // processor is not working, nor is one whose reply waits for the app to
    // read it, so a busy machine only delays an answer, and only a helper that
    // truly stalls or spins overruns. The helper is looked at when `left` is
    // asked a poll slice or more after the last look, which a wait does.
    class Deadline {
    public:
        using Now = Clock::time_point (*)();
        // `helper` <= 0: the wall clock alone. `fromHelper`, the helper's
        // output, tells whether its time was the app's: while the app has not
        // read all the helper wrote, only the helper's processor time counts.
        // `now`: the clock, which a test drives.
        Deadline(pid_t helper, std::chrono::milliseconds budget, int fromHelper = -1,
                 Now now = &Clock::now);
        // What is left of the budget; zero once it is spent.
        std::chrono::milliseconds left() const;
        // Whether the helper was stopped when it was last looked at: a stop
        // counts as its own time, so a helper that never goes on overruns.
        bool wasStopped() const { return m_isStopped; }

    private:
        bool isReplyWaiting() const;

        pid_t m_helper;
        std::chrono::nanoseconds m_budget;
        int m_fromHelper;
        Now m_now;
        mutable bool m_isStopped = false;
        mutable std::chrono::nanoseconds m_working{0};
        mutable Clock::time_point m_lookedAt;
        mutable std::chrono::nanoseconds m_processorAt{0};
        mutable std::optional<std::chrono::nanoseconds> m_queuedAt; // its wait for a processor then
    };

    enum class ReadResult { Done, Failed, Overran, Cancelled };
    // Reads the reply to `file` (its part of a request of `kind`) from a
    // helper's output into `reply`'s outcome, flag and bytes. Failed for a reply
    // that is malformed or larger than the file's kind can hold, before
    // anything of its size is allocated.
    static ReadResult readReply(int fd, protocol::RequestKind kind, const QByteArray& file,
                                std::int64_t maxTextBytes, const Deadline& deadline,
                                const Cancel& cancelled, HelperReply& reply);

private:
    // Starts a helper and waits until it is ready.
    bool start(const Cancel& cancelled);
    void stop();

    Options m_options;
    pid_t m_pid = -1;
    int m_toHelper = -1;
    int m_fromHelper = -1;
    int m_starts = 0;
    int m_restarts = 0;
};

// Idle helpers kept from one use to the next, so that a helper's start (loading
// the document, media and recognition libraries) is paid once rather than per
// batch of files. Thread-safe.
class HelperPool {
public:
    // An empty program: the one ExtractHelper::findProgram finds, looked for on
    // the first take (from a pool thread: it reads the file system).
    explicit HelperPool(ExtractHelper::Options options = {});
    ~HelperPool();
    HelperPool(const HelperPool&) = delete;
    HelperPool& operator=(const HelperPool&) = delete;

    // The pool the app's readers of media, PDF attributes, pictures and text
    // in images share. Its helpers end with the app.
    static HelperPool& shared();

    // A helper for the caller's thread while it lives; null when there is no
    // helper program.
    class Lease {
    public:
        Lease(HelperPool& pool, std::unique_ptr<ExtractHelper> helper);
        Lease(Lease&&) = default;
        ~Lease();
        ExtractHelper* operator->() const { return m_helper.get(); }
        explicit operator bool() const { return m_helper != nullptr; }

    private:
        HelperPool* m_pool;
        std::unique_ptr<ExtractHelper> m_helper;
        int m_restartsBefore = 0;
    };
    Lease take();

    // Asks one helper of the pool about `files` (see ExtractHelper::ask); every
    // file NotAsked when there is no helper program.
    std::vector<HelperReply> ask(protocol::RequestKind kind, const std::vector<QByteArray>& files,
                                 const std::atomic_bool* cancelled = nullptr,
                                 const ExtractHelper::OnReply& onReply = {});

    // Helpers of this pool started again after a crash or an overrun.
    std::size_t restarts() const { return m_restarts.load(); }

    // For quitting: the helpers at work are killed at once and their files come
    // back NotAsked (read again by a later run), as does every ask until
    // `resume`.
    void stop();
    void resume();

private:
    std::atomic_bool m_stopped{false};
    std::mutex m_mutex;
    ExtractHelper::Options m_options;
    bool m_hasLookedForProgram = false;
    std::vector<std::unique_ptr<ExtractHelper>> m_idle;
    std::atomic<std::size_t> m_restarts{0};
};

} // namespace ovra::content
