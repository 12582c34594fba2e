#pragma once

#include "IndexTable.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace ovra::md {

// Keeps the index in step with the disk while the app runs: one thread of its
// own sleeps in poll() on an inotify descriptor (so an idle app uses no CPU),
// gathers the folders whose listing changed for a moment and hands them over in
// one batch. The same thread runs the index's deferred work (starting the
// catch-up of a loaded table once its watches are set, saving the tables), so
// none of it lands on an asker's thread.
class IndexFollower {
public:
    // `folders` are absolute UTF-8 paths of folders to list again; `everything`
    // says events were lost and every table must be refreshed.
    using ChangeHandler =
        std::function<void(const std::unordered_set<std::string>& folders, bool everything)>;

    // `watchLimit` above zero stands in for the kernel's limit (for tests).
    IndexFollower(ChangeHandler changed, std::function<void()> save, std::size_t watchLimit = 0);
    ~IndexFollower();
    IndexFollower(const IndexFollower&) = delete;
    IndexFollower& operator=(const IndexFollower&) = delete;

    // Watches every listed folder of these tables and no others, soon.
    void follow(std::vector<std::shared_ptr<const Table>> tables);
    // Runs `job` on the follower's thread, after the watches asked for so far.
    void post(std::function<void()> job);
    // Saves once `delay` has passed (an earlier save already asked for stands).
    void scheduleSave(std::chrono::milliseconds delay);
    // False while some indexed folder has no watch (the limit ran out): the index
    // must then look at the disk itself before it answers.
    bool isComplete() const { return m_complete.load(); }
    // Ends the thread, saving first when a save is due. Idempotent.
    void shutDown();

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void readEvents();
    void syncWatches(const std::vector<std::shared_ptr<const Table>>& tables);
    void wake();

    ChangeHandler m_changed;
    std::function<void()> m_save;
    std::size_t m_watchLimit;
    int m_inotify = -1;
    int m_wake = -1;

    std::mutex m_mutex; // guards what other threads hand over
    bool m_quit = false;
    bool m_followPending = false;
    std::vector<std::shared_ptr<const Table>> m_toFollow;
    std::vector<std::function<void()>> m_jobs;
    bool m_saveDue = false;
    Clock::time_point m_saveAt;

    // Owned by the thread.
    std::unordered_map<std::string, int> m_watchByPath;
    std::unordered_map<int, std::string> m_pathByWatch;
    std::unordered_set<std::string> m_changedFolders;
    bool m_lostEvents = false;
    bool m_batchOpen = false;
    Clock::time_point m_batchEnds;
    bool m_limitLogged = false;

    std::atomic_bool m_complete = true;
    std::thread m_thread;
};

} // namespace ovra::md
