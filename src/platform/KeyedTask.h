#pragma once

#include "Background.h"

#include <QFuture>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace ovra {

// Background work keyed by what it is for: a folder's path, a search text, a
// card's URL. Asking again for the key that is already running does nothing;
// asking for another key starts anew. Only the newest generation's result is
// ever applied: an older result that arrives late, or one that arrives after
// the owner of the task is gone, is dropped.
//
// Moving on to another key cancels the older future, so a worker polling its
// promise can stop early; the generation check keeps the guarantee whatever
// the future does with the cancellation. A future that several askers share
// must therefore not be handed out as is: give each asker a continuation.
//
// The owner (a view) keeps the KeyedTask as a member; results are applied on
// the GUI thread.
template <typename Key> class KeyedTask {
public:
    KeyedTask() = default;
    ~KeyedTask() { cancel(); }
    KeyedTask(const KeyedTask&) = delete;
    KeyedTask& operator=(const KeyedTask&) = delete;

    // `start` returns the QFuture of the work for `key`; `apply` receives its
    // result (nothing for a QFuture<void>). Returns whether a new run started.
    template <typename Start, typename Apply> bool run(const Key& key, Start&& start, Apply&& apply)
    {
        if (!moveTo(key)) return false;
        const quint64 generation = m_state->generation;
        auto future = std::invoke(std::forward<Start>(start));
        m_cancelRunning = [future]() mutable { background::cancel(future); };

        std::weak_ptr<State> weak = m_state;
        // The weak state tells whether the task and its generation still stand.
        background::then(
            future, [weak, generation] { return isCurrent(weak, generation); },
            std::forward<Apply>(apply));
        return true;
    }

    // Moves on to `key` without work of its own, for work that outlives keys
    // and streams its answers, each tested with the `stillWanted` of the key it
    // was made for: the older keys' answers are dropped from now on. Returns
    // whether the key changed; asking for the current key does nothing.
    bool moveTo(const Key& key)
    {
        if (m_hasKey && m_key == key) return false;
        cancel();
        m_key = key;
        m_hasKey = true;
        return true;
    }

    // Drops the running work's result and forgets the key, so the next run
    // starts whatever its key.
    void cancel()
    {
        ++m_state->generation;
        m_hasKey = false;
        if (m_cancelRunning) m_cancelRunning();
        m_cancelRunning = nullptr;
    }

    std::optional<Key> key() const { return m_hasKey ? std::optional<Key>(m_key) : std::nullopt; }

    // Whether the answers of the work running now are still wanted: until the
    // next run or cancel, and never once the task is gone. The owner of a later
    // step's `background::then`, or of answers the work streams.
    std::function<bool()> stillWanted() const
    {
        return [weak = std::weak_ptr<State>(m_state), generation = m_state->generation] {
            return isCurrent(weak, generation);
        };
    }

private:
    struct State {
        quint64 generation = 0;
    };

    static bool isCurrent(const std::weak_ptr<State>& weak, quint64 generation)
    {
        const std::shared_ptr<State> state = weak.lock();
        return state && state->generation == generation;
    }

    std::shared_ptr<State> m_state = std::make_shared<State>();
    // Not a std::optional: GCC's uninitialised-use warning misfires on a
    // QString inside one.
    Key m_key{};
    bool m_hasKey = false;
    std::function<void()> m_cancelRunning;
};

} // namespace ovra
