#pragma once

// Header only: the support library sits below the services, and only the test
// programs that link them include this.
#include "services/ThumbnailGenerator.h"
#include "support/Wait.h"

#include <QColor>
#include <QList>
#include <QSemaphore>
#include <QStringList>

#include <functional>
#include <mutex>

namespace ovra::test {

// A picture of one colour.
inline QImage solidImage(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The thumbnail generator of the tests: it answers what the test's painter
// makes of each request (by default a red square of the side asked for) and
// records every request. A path under /block/ is held on its worker thread
// until the test releases it, so a test can fill the loader's queue behind it.
class FakeThumbnailGenerator final : public ThumbnailGenerator {
public:
    using Painter =
        std::function<std::optional<ThumbnailRepresentation>(const QString& path, int pixelSide)>;
    struct Request {
        QString path;
        int pixelSide = 0;
    };

    explicit FakeThumbnailGenerator(Painter painter = {})
        : m_painter(std::move(painter))
    {
    }

    std::optional<ThumbnailRepresentation> generateBestRepresentation(const QString& path,
                                                                      int pixelSide) override
    {
        {
            const std::lock_guard lock(m_mutex);
            m_requests.append({path, pixelSide});
        }
        if (path.startsWith(u"/block/")) {
            m_entered.release();
            m_gate.acquire();
        }
        if (m_painter) return m_painter(path, pixelSide);
        return ThumbnailRepresentation{ThumbnailRepresentation::Type::thumbnail,
                                       solidImage(pixelSide, pixelSide, Qt::red)};
    }

    QList<Request> requests() const
    {
        const std::lock_guard lock(m_mutex);
        return m_requests;
    }

    QStringList requestedPaths() const
    {
        QStringList paths;
        for (const Request& request : requests())
            paths.append(request.path);
        return paths;
    }

    // Waits until one more /block/ request is being held; false when none came.
    bool waitUntilBlocked(std::chrono::milliseconds patience = kPatience)
    {
        return m_entered.tryAcquire(1, int(patience.count()));
    }

    void release(int count = 1) { m_gate.release(count); }
    // Lets every held request go, and every later one through: a loader waits
    // for its workers as it goes, so a test calls this before its loader goes.
    void releaseAll() { m_gate.release(1 << 20); }

private:
    const Painter m_painter;
    mutable std::mutex m_mutex;
    QList<Request> m_requests;
    QSemaphore m_entered;
    QSemaphore m_gate;
};

} // namespace ovra::test
