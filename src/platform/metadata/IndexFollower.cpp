#include "IndexFollower.h"

#include "../FileTime.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra::md {
namespace {

Q_LOGGING_CATEGORY(lcFollow, "ovra.index")

// Long enough to take a burst (an unpacked archive, a build) as one batch,
// short enough that a saved file is found well within a second.
constexpr std::chrono::milliseconds kBatch{120};

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                        IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

std::string parentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

IndexFollower::IndexFollower(ChangeHandler changed, std::function<void()> save,
                             std::size_t watchLimit)
    : m_changed(std::move(changed))
    , m_save(std::move(save))
    , m_watchLimit(watchLimit)
{
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_inotify < 0) {
        qCWarning(lcFollow, "Cannot watch folders (%s); the index refreshes before each search",
                  strerror(errno));
        m_complete = false;
    }
    m_thread = std::thread([this] { run(); });
}

IndexFollower::~IndexFollower()
{
    shutDown();
    if (m_inotify >= 0) ::close(m_inotify);
    if (m_wake >= 0) ::close(m_wake);
}

void IndexFollower::shutDown()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    wake();
    if (m_thread.joinable()) m_thread.join();
}

void IndexFollower::wake()
{
    const std::uint64_t one = 1;
    if (m_wake >= 0) [[maybe_unused]]
        auto n = ::write(m_wake, &one, sizeof one);
}

void IndexFollower::follow(std::vector<std::shared_ptr<const Table>> tables)
{
    {
        std::lock_guard lock(m_mutex);
        m_toFollow = std::move(tables);
        m_followPending = true;
    }
    wake();
}

void IndexFollower::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    wake();
}

void IndexFollower::scheduleSave(std::chrono::milliseconds delay)
{
    {
        std::lock_guard lock(m_mutex);
        const Clock::time_point at = Clock::now() + delay;
        if (!m_saveDue || at < m_saveAt) m_saveAt = at;
        m_saveDue = true;
    }
    wake();
}

void IndexFollower::run()
{
    for (;;) {
        bool quit = false, followPending = false, saveNow = false;
        std::vector<std::shared_ptr<const Table>> toFollow;
        std::vector<std::function<void()>> jobs;
        int timeout = -1;
        {
            std::lock_guard lock(m_mutex);
            quit = m_quit;
            followPending = std::exchange(m_followPending, false);
            toFollow = std::move(m_toFollow);
            m_toFollow.clear();
            jobs.swap(m_jobs);
            const Clock::time_point now = Clock::now();
            if (m_saveDue && (quit || m_saveAt <= now)) {
                saveNow = true;
                m_saveDue = false;
            }
            auto until = [&](Clock::time_point t) {
                const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - now).count();
                const int wait = int(std::clamp<long long>(ms, 0, 60 * 60 * 1000));
                timeout = timeout < 0 ? wait : std::min(timeout, wait);
            };
            if (m_saveDue) until(m_saveAt);
            if (m_batchOpen) until(m_batchEnds);
        }
        if (quit) {
            if (saveNow) m_save();
            return;
        }
        if (followPending) syncWatches(toFollow);
        for (auto& job : jobs)
            job();
        if (saveNow) m_save();
        if (m_batchOpen && Clock::now() >= m_batchEnds) {
            m_batchOpen = false;
            std::unordered_set<std::string> folders;
            folders.swap(m_changedFolders);
            m_changed(folders, std::exchange(m_lostEvents, false));
            continue;
        }
        if (followPending || !jobs.empty() || saveNow) continue;

        pollfd fds[2] = {{m_wake, POLLIN, 0}, {m_inotify, POLLIN, 0}};
        const int ready = ::poll(fds, m_inotify >= 0 ? 2 : 1, timeout);
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] auto n = ::read(m_wake, &count, sizeof count);
        }
        if (m_inotify >= 0 && (fds[1].revents & POLLIN)) readEvents();
    }
}

void IndexFollower::readEvents()
{
    alignas(inotify_event) char buffer[64 * 1024];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t pos = 0; pos < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + pos);
            pos += ssize_t(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                m_lostEvents = any = true;
                continue;
            }
            const auto it = m_pathByWatch.find(ev->wd);
            if (it == m_pathByWatch.end()) continue;
            if (ev->mask & IN_IGNORED) {
                m_watchByPath.erase(it->second);
                m_pathByWatch.erase(it);
                continue;
            }
            if (ev->len > 0) {
                // Hidden entries are never indexed: their comings and goings change nothing.
                if (ev->name[0] == '.') continue;
                m_changedFolders.insert(it->second);
            } else {
                // The folder itself was changed, moved or deleted: its own entry
                // lives in its parent's listing.
                m_changedFolders.insert(it->second);
                m_changedFolders.insert(parentOf(it->second));
            }
            any = true;
        }
    }
    if (any && !m_batchOpen) {
        m_batchOpen = true;
        m_batchEnds = Clock::now() + kBatch;
    }
}

void IndexFollower::syncWatches(const std::vector<std::shared_ptr<const Table>>& tables)
{
    if (m_inotify < 0) return;
    std::unordered_map<std::string, double> wanted;
    std::string path;
    for (const auto& t : tables) {
        for (const Folder& f : t->folders) {
            if (!f.listed || f.mounted) continue;
            path.clear();
            if (f.entry == kNone)
                path = t->rootUtf8;
            else
                t->appendPath(f.entry, path);
            wanted.emplace(path, f.modified);
        }
    }
    // Gone first: a folder renamed keeps its watch (the kernel follows the inode),
    // so the old name's watch must go before the new name asks for one.
    for (auto it = m_watchByPath.begin(); it != m_watchByPath.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        inotify_rm_watch(m_inotify, it->second);
        m_pathByWatch.erase(it->second);
        it = m_watchByPath.erase(it);
    }
    bool complete = true;
    bool changedMeanwhile = false;
    for (const auto& [folder, modified] : wanted) {
        if (m_watchByPath.count(folder)) continue;
        int wd = -1;
        if (m_watchLimit > 0 && m_watchByPath.size() >= m_watchLimit) {
            errno = ENOSPC;
        } else {
            wd = inotify_add_watch(m_inotify, folder.c_str(), kFolderEvents);
        }
        if (wd < 0) {
            if (errno == ENOSPC) {
                complete = false;
                if (!m_limitLogged) {
                    m_limitLogged = true;
                    qCWarning(lcFollow,
                              "The limit of folder watches is reached; the index looks for "
                              "changes before each search instead "
                              "(raise fs.inotify.max_user_watches to follow every folder)");
                }
                break;
            }
            continue; // vanished, or a path too long to watch: its parent sees it go
        }
        if (const auto old = m_pathByWatch.find(wd); old != m_pathByWatch.end())
            m_watchByPath.erase(old->second);
        m_watchByPath[folder] = wd;
        m_pathByWatch[wd] = folder;
        // A folder listed before its watch was set may have changed in between.
        struct statx st {};
        if (statx(AT_FDCWD, folder.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MTIME, &st) == 0 &&
            fileTimeSeconds(st.stx_mtime) != modified) {
            m_changedFolders.insert(folder);
            changedMeanwhile = true;
        }
    }
    m_complete = complete;
    if (changedMeanwhile && !m_batchOpen) {
        m_batchOpen = true;
        m_batchEnds = Clock::now() + kBatch;
    }
}

} // namespace ovra::md
