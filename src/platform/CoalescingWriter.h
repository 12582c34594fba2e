#pragma once

#include "Background.h"

#include <functional>
#include <memory>

namespace ovra {

// The one way a file of ours is saved in the background when saves may be
// asked for faster than the disk takes them (the settings, the text index, the
// metadata index's tables). A save runs on a pool thread, one at a time and in
// the order asked; of the saves asked for while one runs, only the newest runs
// after it, so the last save asked for is always the last one written and a
// burst of changes costs one or two writes. Thread-safe.
class CoalescingWriter {
public:
    explicit CoalescingWriter(background::Pool pool = background::Pool::files);
    // Waits for the saves asked for, so that nothing is lost when its owner goes.
    ~CoalescingWriter();
    CoalescingWriter(const CoalescingWriter&) = delete;
    CoalescingWriter& operator=(const CoalescingWriter&) = delete;

    // Runs `write` on the pool after the save that runs now, in place of any
    // save still waiting. `write` reads only what it owns or what outlives the
    // writer.
    void save(std::function<void()> write);
    // Blocks until every save asked for so far has run. Never call it from a
    // task on the writer's own pool: a full pool would never run the save.
    void flush() const;
    // Whether no save runs or waits.
    bool isIdle() const;

private:
    struct State;
    background::Pool m_pool;
    std::shared_ptr<State> m_state;
};

} // namespace ovra
