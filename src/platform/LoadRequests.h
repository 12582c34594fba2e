#pragma once

#include <QFuture>
#include <QList>
#include <QPromise>
#include <QStringList>

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
