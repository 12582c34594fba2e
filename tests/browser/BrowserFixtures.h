#pragma once

#include "browser/FileBrowser.h"
#include "library/AppState.h"
#include "library/FileItem.h"
#include "library/LibraryStore.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/TestHome.h"
#include "support/Wait.h"
#include "ui/AppContext.h"

#include <QDateTime>
#include <QTest>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <ostream>

// Failures print texts as text.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace ovra::test {

inline FileItem file(const QString& name, FileCategory category = FileCategory::documents,
                     double modified = 1'700'000'000, qint64 size = 1000)
{
    FileItem item;
    item.path = QStringLiteral("/t/") + name;
    item.name = name;
    item.size = size;
    item.modified = modified;
    item.category = category;
    return item;
}

inline FileItem folder(const QString& name)
{
    return file(name, FileCategory::folders);
}

// Files named f0, f1, … with the newest first.
inline QList<FileItem> files(int count, FileCategory category = FileCategory::documents)
{
    QList<FileItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        items.push_back(file(QStringLiteral("f%1").arg(i), category, 1'700'000'000.0 - i));
    }
    return items;
}

// Waits until the browser shows the model of its latest input and filters,
// which it computes on a pool thread.
inline bool settled(FileBrowser& browser)
{
    return test::eventually([&] { return browser.isContentCurrent(); });
}

inline const BrowserContent& settledContent(FileBrowser& browser)
{
    settled(browser);
    return browser.content();
}

// Delayed tasks that run only when the test moves time on, in due order.
class ManualDelay {
public:
    std::function<void(std::chrono::milliseconds, std::function<void()>)> delay()
    {
        return [this](std::chrono::milliseconds wait, std::function<void()> task) {
            m_pending.emplace(m_now + wait, std::move(task));
        };
    }

    void advance(std::chrono::milliseconds by)
    {
        const auto until = m_now + by;
        while (!m_pending.empty() && m_pending.begin()->first <= until) {
            auto task = m_pending.extract(m_pending.begin());
            m_now = task.key();
            task.mapped()();
        }
        m_now = until;
    }

    std::size_t pending() const { return m_pending.size(); }

private:
    std::chrono::milliseconds m_now{0};
    std::multimap<std::chrono::milliseconds, std::function<void()>> m_pending;
};

// The app's long-lived objects over a temporary home: the state, the index and
// the library store.
struct AppFixture {
    TestHome home;
    QDateTime now = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26));
    AppState state{AppState::Clock{[this] { return now; }, {}}};
    std::unique_ptr<md::MetadataIndex> index;
    std::unique_ptr<LibraryStore> library;
    AppContext context;

    AppFixture() { context.state = &state; }

    // Makes the index and the store once the test has written its files.
    void makeLibrary()
    {
        index = std::make_unique<md::MetadataIndex>();
        library = std::make_unique<LibraryStore>(*index);
        context.index = index.get();
        context.library = library.get();
    }
};

} // namespace ovra::test
