#pragma once

#include <QFuture>
#include <QHash>
#include <QList>
#include <QPromise>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace ovra {

// What a store that loads "for the index as of token T" must remember between
// callers. A load asked for the state already loaded is ready at once; one asked
// while another runs waits for it and, when it names another state, runs after
// it (only the newest such ask is kept). Every caller's future finishes once the
// store has caught up with what was asked last, or when the store goes.
class LoadRequests {
public:
    struct Run {
        QStringList scopes;
        qint64 token = -1;
    };

    LoadRequests() = default;
    LoadRequests(const LoadRequests&) = delete;
    LoadRequests& operator=(const LoadRequests&) = delete;
    ~LoadRequests() { finishWaiters(); }

    bool running() const { return m_running; }
    qint64 loadedToken() const { return m_loadedToken; }

    // The caller's future; `startNow` is set when the caller must begin a run
    // for `token` (and then call `started`).
    QFuture<void> ask(const QStringList& scopes, qint64 token, bool& startNow)
    {
        startNow = false;
        if (!m_running && token == m_loadedToken) return QtFuture::makeReadyFuture();
        auto waiter = std::make_shared<QPromise<void>>();
        waiter->start();
        m_waiters.append(waiter);
        if (!m_running)
            startNow = true;
        else if (token != m_runningToken)
            m_pending = Run{scopes, token};
        return waiter->future();
    }

    void started(qint64 token)
    {
        m_running = true;
        m_runningToken = token;
    }

    // A run for `token` ended: the run to start next, if a newer state was asked
    // for meanwhile. Without one the store is idle again, and it finishes the
    // waiters (`finishWaiters`) once its own state is up to date.
    std::optional<Run> ended(qint64 token)
    {
        m_loadedToken = token;
        if (m_pending) {
            Run next = *std::exchange(m_pending, std::nullopt);
            if (next.token != m_loadedToken) return next;
        }
        m_running = false;
        return std::nullopt;
    }

    void finishWaiters()
    {
        const auto waiters = std::exchange(m_waiters, {});
        for (const auto& waiter : waiters)
            waiter->finish();
    }

private:
    bool m_running = false;
    qint64 m_loadedToken = -1;
    qint64 m_runningToken = -1;
    std::optional<Run> m_pending;
    QList<std::shared_ptr<QPromise<void>>> m_waiters;
};

} // namespace ovra

namespace ovra {

// The same catching up, kept apart for each of several things a store loads (a
// collection per sidebar entry), where a token is a point in time: a thing
// loaded for a token or a newer one is up to date. A newer token asked while
// the thing loads is kept (the newest of them) and loaded after the running
// load. A load can also be cancelled, and asked again for the token it has
// (the disk changed under it). Each run gets a test, `stillWanted`, that holds
// until that run ends or is cancelled: the answer of a run cancelled once its
// work ended, already on its way, is dropped by it.
template <typename Key> class KeyedLoadRequests {
public:
    enum class Answer {
        upToDate, // loaded for this token or a newer one
        joined,   // a load runs; the token is kept for after it if newer
        start,    // the caller starts a run (and calls `started`)
    };

    KeyedLoadRequests() = default;
    KeyedLoadRequests(const KeyedLoadRequests&) = delete;
    KeyedLoadRequests& operator=(const KeyedLoadRequests&) = delete;

    const QSet<Key>& running() const { return m_running; }
    bool isRunning(const Key& key) const { return m_running.contains(key); }
    bool isLoaded(const Key& key) const { return m_loaded.contains(key); }

    Answer ask(const Key& key, qint64 token)
    {
        if (m_running.contains(key)) {
            if (token > m_loaded.value(key, -1))
                m_pending[key] = std::max(m_pending.value(key, token), token);
            return Answer::joined;
        }
        if (m_loaded.contains(key) && m_loaded.value(key) >= token) return Answer::upToDate;
        return Answer::start;
    }

    // A run for `key` starts: the test that its answer is still wanted.
    std::function<bool()> started(const Key& key)
    {
        m_running.insert(key);
        const quint64 run = ++m_lastRun;
        m_runs->insert(key, run);
        return [runs = std::weak_ptr<QHash<Key, quint64>>(m_runs), key, run] {
            const auto current = runs.lock();
            return current && current->value(key) == run;
        };
    }

    // The run for `key` ended with its answer, loaded for `token`: the token
    // to load next, if a newer one was asked meanwhile.
    std::optional<qint64> ended(const Key& key, qint64 token)
    {
        m_runs->remove(key);
        m_loaded.insert(key, token);
        m_running.remove(key);
        const std::optional<qint64> pending =
            m_pending.contains(key) ? std::optional(m_pending.take(key)) : std::nullopt;
        if (pending && *pending > token) return pending;
        return std::nullopt;
    }

    // The run for `key` stops without an answer: nothing counts as loaded by
    // it, and the tokens asked while it ran are forgotten. Whether one ran.
    bool cancel(const Key& key)
    {
        m_runs->remove(key);
        m_pending.remove(key);
        return m_running.remove(key);
    }

    // The token to load `key` again for, though it is loaded for it already;
    // none while it loads or before it ever loaded.
    std::optional<qint64> reload(const Key& key)
    {
        if (m_running.contains(key) || !m_loaded.contains(key)) return std::nullopt;
        const qint64 token = m_loaded.value(key);
        // Loaded for an older token than its own, the next ask starts a run.
        m_loaded.insert(key, token - 1);
        return token;
    }

private:
    QSet<Key> m_running;
    QHash<Key, qint64> m_loaded;
    QHash<Key, qint64> m_pending;
    std::shared_ptr<QHash<Key, quint64>> m_runs = std::make_shared<QHash<Key, quint64>>();
    quint64 m_lastRun = 0;
};

} // namespace ovra
