#include "PreviewPool.h"

#include <QCoreApplication>

namespace ovra {

namespace {

constexpr int kPreviewThreads = 3;

} // namespace

QThreadPool& previewPool()
{
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool(QCoreApplication::instance());
        made->setMaxThreadCount(kPreviewThreads);
        made->setExpiryTimeout(-1);
        return made;
    }();
    return *pool;
}

} // namespace ovra
