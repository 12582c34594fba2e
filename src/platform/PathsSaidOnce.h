#pragma once

#include <QSet>
#include <QString>

#include <mutex>

namespace ovra {

// The files a fault has been logged for, on any thread: a file read or saved
// again and again (a stored thumbnail at every request, a save retried every
// few seconds on a full disk) is said to fail once, not at every attempt, and
// again only after it has once gone well.
class PathsSaidOnce {
public:
    // True when the path was not said since it last went well.
    bool firstTime(const QString& path)
    {
        std::lock_guard lock(m_mutex);
        if (m_paths.contains(path)) return false;
        m_paths.insert(path);
        return true;
    }
    void wentWell(const QString& path)
    {
        std::lock_guard lock(m_mutex);
        m_paths.remove(path);
    }

private:
    std::mutex m_mutex;
    QSet<QString> m_paths;
};

} // namespace ovra
