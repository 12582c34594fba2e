#include "CoalescingWriter.h"

#include <condition_variable>
#include <mutex>

namespace ovra {

struct CoalescingWriter::State {
    std::mutex mutex;
    std::condition_variable idle;
    std::function<void()> waiting; // the newest save not started yet
    bool isDraining = false;       // a pool task runs or is queued

    // Runs the waiting saves until none is left. The task owns the state, so a
    // save may end after the writer has gone (it never does: the writer waits).
    void drain()
    {
        std::unique_lock lock(mutex);
        while (waiting) {
            std::function<void()> write = std::exchange(waiting, {});
            lock.unlock();
            write();
            lock.lock();
        }
        isDraining = false;
        idle.notify_all();
    }
};

CoalescingWriter::CoalescingWriter(background::Pool pool)
    : m_pool(pool)
    , m_state(std::make_shared<State>())
{
}

CoalescingWriter::~CoalescingWriter()
{
    flush();
}

void CoalescingWriter::save(std::function<void()> write)
{
    std::lock_guard lock(m_state->mutex);
    m_state->waiting = std::move(write);
    if (m_state->isDraining) return;
    m_state->isDraining = true;
    background::run(m_pool, [state = m_state] { state->drain(); });
}

void CoalescingWriter::flush() const
{
    std::unique_lock lock(m_state->mutex);
    m_state->idle.wait(lock, [this] { return !m_state->isDraining; });
}

bool CoalescingWriter::isIdle() const
{
    std::lock_guard lock(m_state->mutex);
    return !m_state->isDraining;
}

} // namespace ovra
