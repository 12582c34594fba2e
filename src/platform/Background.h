#pragma once

#include <QCoreApplication>
#include <QFuture>
#include <QFutureWatcher>
#include <QPointer>
#include <QPromise>
#include <QThreadPool>
#include <QtConcurrent/qtconcurrenttask.h>

#include <functional>
#include <memory>

#include <type_traits>
#include <utility>
#include <vector>

namespace ovra::background {

// The kinds of background work, each on a private pool of its own. None of them
// is Qt's global pool: Qt's painting and image conversion split their work over
// that one, and a window must never wait behind our long tasks to paint.
enum class Pool {
    index,       // walks, refreshes and queries of the metadata index
    extraction,  // the words inside documents (long; idle priority)
    recognition, // text recognition in images (long; idle priority)
    thumbnails,  // pictures of files, the newest request first
    files,       // short file work: folder listings, the Trash, saves
    hashing,     // duplicate scans: whole-file hashes, photo prints (long; idle priority)
};

QThreadPool& pool(Pool kind);
// How many threads the kind's pool runs: every pool leaves the GUI thread and
// Qt a core, and the index takes at most half of them, so the machine stays
// the user's while a home is indexed for the first time.
int threadCount(Pool kind);
// Whether the kind's threads run at idle CPU and I/O priority.
bool isIdle(Pool kind);

// Lowers the calling thread to idle CPU and I/O scheduling, for good: threads
// and helper processes it starts inherit it. With OVRA_BACKGROUND_PRIORITY set
// to "normal" (the test runs) it leaves the thread as it is.
void enterIdlePriority();

namespace detail {

// The result type of a task that takes a QPromise<T>& (its lambda not generic).
template <typename> struct PromiseOf;
template <typename C, typename R, typename T> struct PromiseOf<R (C::*)(QPromise<T>&) const> {
    using type = T;
};
template <typename C, typename R, typename T> struct PromiseOf<R (C::*)(QPromise<T>&)> {
    using type = T;
};

// The same task, lowering its pool thread first. Pool threads are made on
// demand and live on, so each lowers itself when it first runs a task.
template <typename Fn> auto lowered(Fn fn)
{
    if constexpr (std::is_invocable_v<Fn&>) {
        return [fn = std::move(fn)]() mutable {
            enterIdlePriority();
            return fn();
        };
    } else {
        using T = typename PromiseOf<decltype(&Fn::operator())>::type;
        return [fn = std::move(fn)](QPromise<T>& promise) mutable {
            enterIdlePriority();
            fn(promise);
        };
    }
}

} // namespace detail

// Runs `fn` on the pool and answers its QFuture. `fn` either returns the result
// or takes a `QPromise<T>&`, polls `promise.isCanceled()` between steps and adds
// its result: cancelling the future is how an asker says it no longer wants the
// answer, and a task cancelled before it starts never runs. A higher `priority`
// starts earlier among the queued.
template <typename Fn> auto run(QThreadPool& pool, Fn&& fn, int priority = 0)
{
    // A copy of a named callable: Qt's task builder takes only temporaries.
    return QtConcurrent::task(std::decay_t<Fn>(std::forward<Fn>(fn)))
        .onThreadPool(pool)
        .withPriority(priority)
        .spawn();
}

// The same on the kind's own pool.
template <typename Fn> auto run(Pool kind, Fn&& fn, int priority = 0)
{
    if (isIdle(kind))
        return run(pool(kind), detail::lowered(std::decay_t<Fn>(std::forward<Fn>(fn))), priority);
    return run(pool(kind), std::forward<Fn>(fn), priority);
}

// Where every answer comes back to. Qt posts a continuation from the pool
// thread after the task has reported finished, so an owner that waited for its
// tasks can be gone while the post is under way, and posting to the owner then
// touches freed memory. The application object outlives every owner.
inline QObject* guiThread()
{
    return QCoreApplication::instance();
}

namespace detail {

struct NoCancelled {
    void operator()() const {}
};

// A test of whether the answer is still wanted: for an owner that is a
// QObject, whether it still lives.
template <typename Owner> auto stillWanted(Owner owner)
{
    if constexpr (std::is_convertible_v<Owner, const QObject*>) {
        return [guard = QPointer<const QObject>(owner)] { return !guard.isNull(); };
    } else {
        static_assert(std::is_invocable_r_v<bool, Owner&>,
                      "an owner is a QObject or a test of whether the answer is wanted");
        return owner;
    }
}

template <typename T, typename Fn> struct AnswerOf {
    using type = std::invoke_result_t<Fn&, T>;
};
template <typename Fn> struct AnswerOf<void, Fn> {
    using type = std::invoke_result_t<Fn&>;
};

template <typename R> void drop(QPromise<R>& answer)
{
    answer.future().cancel();
    answer.finish();
}

template <typename R, typename Fn, typename... Args>
void answerWith(QPromise<R>& answer, Fn& fn, Args&&... args)
{
    if constexpr (std::is_void_v<R>)
        fn(std::forward<Args>(args)...);
    else
        answer.addResult(fn(std::forward<Args>(args)...));
    answer.finish();
}

// The work was cancelled: the answer is what `cancelled` makes of it, or none.
template <typename R, typename Cancelled>
void answerCancelled(QPromise<R>& answer, Cancelled& cancelled)
{
    if constexpr (std::is_same_v<Cancelled, NoCancelled>)
        drop(answer);
    else
        answerWith(answer, cancelled);
}

} // namespace detail

namespace detail {

// Runs `deliver(future)` on the GUI thread once `future` has finished: at once
// when it already has and this is the GUI thread. Never through Qt's own
// continuations: Qt 6.4 runs a continuation at once when it is attached to a
// future that has just finished, then keeps it, and the pool thread that
// finished the future may run it a second time, on a promise already moved
// away. A watcher hears of the end under the future's own lock.
template <typename T, typename Deliver> void whenFinished(const QFuture<T>& future, Deliver deliver)
{
    if (future.isFinished()) {
        QMetaObject::invokeMethod(
            guiThread(), [future, deliver = std::move(deliver)]() mutable { deliver(future); });
        return;
    }
    auto* watcher = new QFutureWatcher<T>;
    if (watcher->thread() != guiThread()->thread()) watcher->moveToThread(guiThread()->thread());
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, deliver = std::move(deliver)]() mutable {
                         watcher->deleteLater();
                         deliver(watcher->future());
                     });
    watcher->setFuture(future);
}

} // namespace detail

// The one way an answer comes back: `fn(answer)` (`fn()` for a QFuture<void>)
// runs on the GUI thread once `future` has its answer, and `cancelled()` in its
// place when the work was cancelled or ended without an answer. Neither runs
// once the owner is gone: `owner` is a QObject of the GUI thread, or a callable
// that tells whether the answer is still wanted (a view's generation, say).
// Answers what `fn` or `cancelled` returned; cancelled itself when neither ran.
// Never Qt's own `.then(owner, …)`: see guiThread().
template <typename T, typename Owner, typename Fn, typename Cancelled = detail::NoCancelled>
auto then(const QFuture<T>& future, Owner owner, Fn fn, Cancelled cancelled = {})
{
    using R = typename detail::AnswerOf<T, Fn>::type;
    auto wanted = detail::stillWanted(std::move(owner));
    auto answer = std::make_shared<QPromise<R>>();
    answer->start();
    QFuture<R> answered = answer->future();
    detail::whenFinished(
        future, [wanted, fn = std::move(fn), cancelled, answer](const QFuture<T>& done) mutable {
            if (!wanted()) {
                detail::drop(*answer);
            } else if (done.isCanceled()) {
                detail::answerCancelled(*answer, cancelled);
            } else if constexpr (std::is_void_v<T>) {
                detail::answerWith(*answer, fn);
            } else if (done.resultCount() > 0) {
                detail::answerWith(*answer, fn, done.result());
            } else {
                detail::answerCancelled(*answer, cancelled);
            }
        });
    return answered;
}

// Cancels work that has not finished yet. A finished future is never cancelled:
// Qt 6.4 then walks its continuations' states by raw pointer, and those are
// freed once their answers were delivered and dropped.
template <typename T> void cancel(QFuture<T>& future)
{
    if (!future.isFinished()) future.cancel();
}

// Runs `body(i)` for every i in [0, count) on up to `threads` threads: the
// calling thread and helpers started on `pool`, each taking the next index
// until none is left. Returns when every index is done. The calling thread
// takes part and then takes back the helpers that never started, so a loop run
// from a task on the same pool finishes even when that pool is full.
void forEach(QThreadPool& pool, int threads, qsizetype count,
             const std::function<void(qsizetype)>& body);
// The same on the kind's own pool with as many threads as it runs.
void forEach(Pool kind, qsizetype count, const std::function<void(qsizetype)>& body);
// The same with helpers from the loops' own pool, which runs nothing but loop
// helpers: a loop inside work that other tasks of its pool wait for (a walk
// that queries wait behind) still gets its helpers. A loop run from a lowered
// thread gets lowered helpers; one run from the GUI thread (a test that asks
// the index directly) runs on helpers alone. `threads` < 1 means one per core.
void forEach(int threads, qsizetype count, const std::function<void(qsizetype)>& body);

// The work one owner (a store, a view, a service) started. The owner keeps a
// TaskSet as its last member, so it is destroyed first: it cancels that work and
// waits for it, and no task outlives what it reads.
class TaskSet {
public:
    TaskSet() = default;
    ~TaskSet() { cancelAndWait(); }
    TaskSet(const TaskSet&) = delete;
    TaskSet& operator=(const TaskSet&) = delete;

    // Runs `fn` as `background::run` does and keeps its future.
    template <typename Fn> auto run(Pool kind, Fn&& fn, int priority = 0)
    {
        return track(background::run(kind, std::forward<Fn>(fn), priority));
    }

    // Keeps a future of work this owner started elsewhere.
    template <typename T> QFuture<T> track(QFuture<T> future)
    {
        forgetFinished();
        m_running.push_back(QFuture<void>(future));
        return future;
    }

    void cancelAll();
    void cancelAndWait();
    bool isEmpty();

private:
    void forgetFinished();

    std::vector<QFuture<void>> m_running;
};

} // namespace ovra::background
