#include "CleanupFixtures.h"

#include "cleanup/CleanupStore.h"
#include "library/Trash.h"
#include "support/QtApp.h"
#include "support/Wait.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace ovra;
using namespace ovra::test;

namespace {

SpotlightResult resultOf(QList<FileItem> items)
{
    SpotlightResult result;
    for (const FileItem& item : items)
        result.totalSize += item.size;
    result.totalCount = items.size();
    result.items = std::move(items);
    return result;
}

// Searches that wait for the test to let each one go, and count how often
// each kind was searched.
struct GatedSearches {
    QSemaphore gate;
    std::atomic<int> calls{0};
    QHash<CleanupKind, SpotlightResult> answers;

    CleanupStore::Search search()
    {
        return [this](CleanupKind kind, const QStringList&) {
            gate.acquire();
            ++calls;
            return answers.value(kind);
        };
    }
};

} // namespace

TEST(CleanupStore, ATokenAlreadyLoadedLoadsNothingAndANewerOneDuringALoadLoadsOnceMore)
{
    GatedSearches searches;
    CleanupStore store(searches.search(), nullptr);
    EXPECT_TRUE(store.load({}, -1).isFinished()) << "a fresh store counts -1 as loaded";

    QFuture<void> first = store.load({}, 1);
    EXPECT_TRUE(store.loading());
    QFuture<void> again = store.load({}, 1);
    QFuture<void> newer = store.load({}, 2);
    QFuture<void> newest = store.load({}, 3);
    searches.gate.release(100);
    ASSERT_TRUE(waitFor(newest));
    EXPECT_TRUE(first.isFinished() && again.isFinished() && newer.isFinished());
    // The running load, then one more for the newest token; 2 is skipped.
    EXPECT_EQ(searches.calls, 10);
    EXPECT_EQ(store.loadedToken(), 3);
    EXPECT_FALSE(store.loading());

    EXPECT_TRUE(store.load({}, 3).isFinished());
    EXPECT_EQ(searches.calls, 10);
}

TEST(CleanupStore, EachKindIsPublishedAsSoonAsItsSearchEnds)
{
    GatedSearches searches;
    searches.answers[CleanupKind::installers] = resultOf({fileItem("/h/a.iso", 10)});
    CleanupStore store(searches.search(), nullptr);
    QSignalSpy published(&store, &CleanupStore::resultsChanged);

    QFuture<void> load = store.load({}, 1);
    searches.gate.release(1);
    ASSERT_TRUE(test::eventually([&] { return published.size() == 1; }));
    EXPECT_TRUE(store.loading());
    EXPECT_TRUE(store.result(CleanupKind::installers));
    EXPECT_FALSE(store.result(CleanupKind::oldDownloads));
    EXPECT_EQ(store.totalReclaimable(), 10);

    searches.gate.release(4);
    ASSERT_TRUE(waitFor(load));
    ASSERT_EQ(published.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(published[i][0].value<CleanupKind>(), kAllCleanupKinds[std::size_t(i)]);
    // A kind that found nothing still has its (empty) answer.
    EXPECT_TRUE(store.result(CleanupKind::unusedApps));
}

TEST(CleanupStore, AFileListedTwiceCountsOnceAndTrashingItDropsItFromBoth)
{
    const FileItem image = fileItem("/h/Downloads/old.iso", 700);
    const FileItem other = fileItem("/h/Downloads/notes.pdf", 50);
    GatedSearches searches;
    searches.answers[CleanupKind::installers] = resultOf({image});
    searches.answers[CleanupKind::oldDownloads] = resultOf({image, other});
    searches.gate.release(5);
    Trash trash;
    trash.setMoveOne([](const QString&, const EntryIdentity&) {
        return FreedesktopTrash::Result{true, {}, {}};
    });
    CleanupStore store(searches.search(), &trash);
    ASSERT_TRUE(waitFor(store.load({}, 1)));
    EXPECT_EQ(store.totalReclaimable(), 750);
    EXPECT_EQ(store.bytesAmong({image.path, "/elsewhere"}), 700);

    QSignalSpy published(&store, &CleanupStore::resultsChanged);
    store.remove({"/h/not-listed"});
    EXPECT_EQ(published.size(), 0);

    ASSERT_TRUE(waitFor(trash.moveToTrash({image.path})));
    EXPECT_EQ(published.size(), 2);
    const SpotlightResult installers = *store.result(CleanupKind::installers);
    EXPECT_TRUE(installers.items.isEmpty());
    EXPECT_EQ(installers.totalCount, 0);
    EXPECT_EQ(installers.totalSize, 0);
    const SpotlightResult downloads = *store.result(CleanupKind::oldDownloads);
    EXPECT_EQ(namesOf(downloads.items), QStringList{"notes.pdf"});
    EXPECT_EQ(downloads.totalCount, 1);
    EXPECT_EQ(downloads.totalSize, 50);
    EXPECT_EQ(store.totalReclaimable(), 50);
}

TEST(CleanupStore, AFileTrashedWhileALoadRunsDoesNotComeBackWithIt)
{
    const FileItem image = fileItem("/h/Downloads/old.iso", 700);
    GatedSearches searches;
    searches.answers[CleanupKind::oldDownloads] = resultOf({image});
    CleanupStore store(searches.search(), nullptr);
    QFuture<void> load = store.load({}, 1);
    store.remove({image.path});
    searches.gate.release(5);
    ASSERT_TRUE(waitFor(load));
    EXPECT_TRUE(store.result(CleanupKind::oldDownloads)->items.isEmpty());
    EXPECT_EQ(store.totalReclaimable(), 0);
}
