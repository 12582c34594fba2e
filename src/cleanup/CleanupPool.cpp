#include "CleanupPool.h"

#include <QThreadPool>

namespace ovra {

QThreadPool& cleanupPool()
{
    // Loads run one kind at a time; two threads let a source load overlap a
    // cleanup load without either waiting.
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(2);
        return made;
    }();
    return *pool;
}

} // namespace ovra
