#include "library/LibraryStore.h"
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "platform/metadata/ItemView.h"
#include "platform/metadata/MetadataIndex.h"
#include "platform/metadata/Query.h"
#include "support/QtApp.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QLocale>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace ovra;
using ovra::test::TestHome;
using ovra::test::waitFor;

namespace {

// Holds every thread of the index pool, so that what a test starts there waits
// in the queue until the test lets it go (and then has run all of it).
class HeldIndexPool {
public:
    HeldIndexPool()
        : m_pool(background::pool(background::Pool::index))
        , m_threads(m_pool.maxThreadCount())
    {
        for (int i = 0; i < m_threads; ++i) {
            background::run(m_pool, [this] {
                m_held.release();
                m_gate.acquire();
            });
        }
        EXPECT_TRUE(m_held.tryAcquire(m_threads, int(test::kPatience.count())));
    }
    ~HeldIndexPool() { release(); }

    void release()
    {
        if (m_released) return;
        m_released = true;
        m_gate.release(m_threads);
        m_pool.waitForDone();
    }

private:
    QThreadPool& m_pool;
    const int m_threads;
    bool m_released = false;
    QSemaphore m_held;
    QSemaphore m_gate;
};

class LibraryStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApp();
        home.writeFile("Documents/report.pdf", "%PDF-1.4\n");
        home.writeFile("Documents/notes.txt", "x");
        home.writeFile("Pictures/trip.png", "not really a png");
        home.writeFile("Pictures/beach.png", "not really a png");
        index = std::make_unique<md::MetadataIndex>();
        store = std::make_unique<LibraryStore>(*index);
    }

    // A query still running on the pool reads the index: as the app does, the
    // pool is waited for before the index goes.
    void TearDown() override
    {
        store.reset();
        QThreadPool::globalInstance()->waitForDone();
        index.reset();
    }

    QStringList names(const QList<FileItem>& items)
    {
        QStringList out;
        for (const FileItem& f : items)
            out << f.name;
        return out;
    }

    TestHome home;
    std::unique_ptr<md::MetadataIndex> index;
    std::unique_ptr<LibraryStore> store;
};

} // namespace

TEST_F(LibraryStoreTest, ScopesAreTheVisibleHomeFoldersButLibraryAndApplications)
{
    home.makeFolder("Library");
    home.makeFolder("Applications");
    home.makeFolder("library");
    home.makeFolder(".hidden");
    home.writeFile("loose.txt", "x");
    QStringList scopes = LibraryStore::defaultScopes();
    scopes.sort();
    EXPECT_EQ(scopes,
              (QStringList{home.path("Documents"), home.path("Pictures"), home.path("library")}));
}

TEST(LibraryStoreScopes, AHomeWithNothingButLibraryIsItsOwnScope)
{
    TestHome home;
    home.makeFolder("Library");
    EXPECT_EQ(LibraryStore::defaultScopes(), QStringList{home.root()});
}

TEST_F(LibraryStoreTest, SmartCollectionsFindWhatTheirNamesSay)
{
    const QDateTime now(QDate(2024, 6, 1), QTime(12, 0));
    const auto finds = [&](SmartCollection collection, const md::Item& item) {
        const auto query = store->collectionQuery(SidebarItem::smart(collection));
        EXPECT_TRUE(query);
        const md::Query parsed = md::Query::parse(query ? query->query : QString(), now);
        EXPECT_TRUE(parsed.isValid());
        return parsed.matches(md::ItemView(item));
    };
    md::Item file;
    file.path = QStringLiteral("/home/ann/Documents/film.mkv");
    file.fsName = QStringLiteral("film.mkv");
    file.fsSize = 100'000'000;
    EXPECT_FALSE(finds(SmartCollection::recents, file)); // never opened
    file.lastUsedDate = double(now.addDays(-29).toSecsSinceEpoch());
    EXPECT_TRUE(finds(SmartCollection::recents, file));
    file.lastUsedDate = double(now.addDays(-31).toSecsSinceEpoch());
    EXPECT_FALSE(finds(SmartCollection::recents, file));

    EXPECT_FALSE(finds(SmartCollection::large, file)); // 100 MB is not over 100 MB
    file.fsSize = 100'000'001;
    EXPECT_TRUE(finds(SmartCollection::large, file));

    EXPECT_FALSE(finds(SmartCollection::screenshots, file));
    file.isScreenCapture = true;
    EXPECT_TRUE(finds(SmartCollection::screenshots, file));
}

// The GUI thread asks for the scopes (the start-up, the sources and duplicates
// screens) and never waits for the home folder's listing: while the pool that
// lists it is busy, the answer is a future that finishes with the listing, and
// once it is in every answer is ready at once.
TEST(LibraryStoreScopes, AreAnsweredWithoutWaitingForTheListing)
{
    test::ensureApp();
    TestHome home;
    home.makeFolder("Documents");
    home.makeFolder("Music");
    md::MetadataIndex index;
    QSemaphore busy;
    const int threads = background::threadCount(background::Pool::files);
    QList<QFuture<void>> holders;
    for (int i = 0; i < threads; ++i)
        holders.append(background::run(background::Pool::files, [&busy] { busy.acquire(); }));
    // A holder still on its way into the semaphore when the test ends would
    // wait on freed memory for good, and the program's end waits for the pool.
    const auto letGo = qScopeGuard([&] {
        for (QFuture<void>& holder : holders)
            holder.waitForFinished();
    });
    LibraryStore store(index);
    const QFuture<QStringList> first = store.scopes();
    const QFuture<QStringList> second = store.scopes();
    EXPECT_FALSE(first.isFinished());
    busy.release(threads);
    ASSERT_TRUE(waitFor(first));
    ASSERT_TRUE(waitFor(second));
    QStringList scopes = first.result();
    scopes.sort();
    EXPECT_EQ(scopes, (QStringList{home.path("Documents"), home.path("Music")}));
    EXPECT_EQ(second.result(), first.result());
    const QFuture<QStringList> later = store.scopes();
    ASSERT_TRUE(later.isFinished());
    EXPECT_EQ(later.result(), first.result());
}

TEST_F(LibraryStoreTest, LoadsACollectionOncePerToken)
{
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    QSignalSpy collections(store.get(), &LibraryStore::collectionsChanged);
    QFuture<void> first = store->load(images, 0);
    EXPECT_TRUE(store->isLoading(images));
    store->load(images, 0); // while it loads: nothing new starts
    ASSERT_TRUE(waitFor(first));
    EXPECT_FALSE(store->isLoading(images));
    EXPECT_EQ(collections.size(), 1);
    EXPECT_EQ(store->collections().value(images).totalCount, 2);

    EXPECT_TRUE(store->load(images, 0).isFinished()); // same token: skipped
    EXPECT_FALSE(store->isLoading(images));
    ASSERT_TRUE(waitFor(store->load(images, 1))); // newer token: loads again
    EXPECT_EQ(collections.size(), 2);
}

TEST_F(LibraryStoreTest, ANewerTokenAskedWhileLoadingLoadsOnceMore)
{
    const SidebarItem docs = SidebarItem::category(FileCategory::documents);
    QSignalSpy collections(store.get(), &LibraryStore::collectionsChanged);
    store->load(docs, 0);
    store->load(docs, 5);
    QFuture<SpotlightResult> settled = store->result(docs, 5);
    ASSERT_TRUE(waitFor(settled));
    EXPECT_EQ(collections.size(), 2);
    EXPECT_FALSE(store->isLoading(docs));
    EXPECT_TRUE(store->load(docs, 5).isFinished());
}

TEST_F(LibraryStoreTest, EntriesWithoutAQueryChangeNothing)
{
    QSignalSpy loading(store.get(), &LibraryStore::loadingChanged);
    store->load(SidebarItem::home(), 3);
    store->load(SidebarItem::duplicates(), 3);
    EXPECT_EQ(loading.size(), 0);
    QFuture<SpotlightResult> r = store->result(SidebarItem::cleanupHub(), 3);
    ASSERT_TRUE(r.isFinished());
    EXPECT_TRUE(r.result().isEmpty());
}

TEST_F(LibraryStoreTest, ACancelledLoadStoresNothingAndIsNotLoaded)
{
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    // The cancel comes before the query ran, or once it ended with its answer
    // on its way to this thread: the store is still loading either way.
    for (const bool workEnded : {false, true}) {
        SCOPED_TRACE(workEnded ? "after the work ended" : "before the work ran");
        store = std::make_unique<LibraryStore>(*index);
        HeldIndexPool held;
        QFuture<void> loaded = store->load(images, 1);
        if (workEnded) held.release();
        ASSERT_TRUE(store->isLoading(images));
        store->cancelLoad(images);
        held.release();
        ASSERT_TRUE(waitFor(loaded));
        EXPECT_FALSE(store->isLoading(images));
        EXPECT_FALSE(store->collections().contains(images));
        ASSERT_TRUE(waitFor(store->result(images, 1)));
        EXPECT_EQ(store->collections().value(images).totalCount, 2);
    }
}

TEST_F(LibraryStoreTest, RemovingTrashedFilesLowersCountsAndSizesButNeverBelowZero)
{
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    ASSERT_TRUE(waitFor(store->result(images, 0)));
    const SpotlightResult before = store->collections().value(images);
    ASSERT_EQ(before.items.size(), 2);
    store->remove({home.path("Pictures/trip.png")});
    const SpotlightResult after = store->collections().value(images);
    EXPECT_EQ(names(after.items), QStringList{"beach.png"});
    EXPECT_EQ(after.totalCount, 1);
    EXPECT_EQ(after.totalSize, before.totalSize - 16);
    store->remove({home.path("Pictures/beach.png"), home.path("Pictures/trip.png")});
    EXPECT_EQ(store->collections().value(images).totalCount, 0);
    EXPECT_EQ(store->collections().value(images).totalSize, 0);
}

TEST_F(LibraryStoreTest, FolderListingsTellMissingFromForbidden)
{
    home.writeFile("Documents/.secret", "x");
    QFuture<FolderListing> listing = LibraryStore::listFolder(home.path("Documents"));
    ASSERT_TRUE(waitFor(listing));
    QStringList found = names(listing.result().items);
    found.sort();
    EXPECT_EQ(found, (QStringList{"notes.txt", "report.pdf"}));

    QFuture<FolderListing> missing = LibraryStore::listFolder(home.path("Nope"));
    ASSERT_TRUE(waitFor(missing));
    EXPECT_EQ(missing.result().error, FolderError::notFound);
    QFuture<FolderListing> file = LibraryStore::listFolder(home.path("Documents/notes.txt"));
    ASSERT_TRUE(waitFor(file));
    EXPECT_EQ(file.result().error, FolderError::notAFolder);
    if (geteuid() != 0) {
        chmod(home.path("Pictures").toUtf8().constData(), 0);
        QFuture<FolderListing> locked = LibraryStore::listFolder(home.path("Pictures"));
        ASSERT_TRUE(waitFor(locked));
        chmod(home.path("Pictures").toUtf8().constData(), 0755);
        EXPECT_EQ(locked.result().error, FolderError::noPermission);
    }
}

TEST_F(LibraryStoreTest, OnlyTheLatestSearchPublishes)
{
    QStringList published;
    QObject::connect(store.get(), &LibraryStore::searchChanged, [&] {
        if (!store->isSearching()) published.append(store->searchedQuery());
    });
    QFuture<void> first = store->search(QStringLiteral("report"));
    QFuture<void> second = store->search(QStringLiteral("notes\n"));
    ASSERT_TRUE(waitFor(first));
    ASSERT_TRUE(waitFor(second));
    EXPECT_EQ(published, QStringList{"notes"});
    EXPECT_EQ(store->searchedQuery(), "notes");
    EXPECT_FALSE(store->isSearching());
    ASSERT_TRUE(store->searchResult());
    EXPECT_EQ(names(store->searchResult()->items), QStringList{"notes.txt"});
    ASSERT_TRUE(store->parsedQuery());
}

// Whoever hears of an answer finds every field already describing that
// answer: never one text's items under another text's name, or an answer
// still marked as searching.
TEST_F(LibraryStoreTest, AnAnswerIsPublishedWholeAndAnnouncedOnce)
{
    struct Seen {
        QString query;
        QStringList items;
        bool isSearching = false;
        bool hasParsed = false;
    };
    QList<Seen> seen;
    int announced = 0;
    const auto look = [&] {
        if (!store->searchResult()) return;
        seen.append({store->searchedQuery(), names(store->searchResult()->items),
                     store->isSearching(), store->parsedQuery().has_value()});
    };
    QObject::connect(store.get(), &LibraryStore::searchChanged, look);
    QObject::connect(store.get(), &LibraryStore::searchChanged, [&] {
        if (!store->isSearching()) ++announced;
    });

    ASSERT_TRUE(waitFor(store->search(QStringLiteral("report"))));
    ASSERT_TRUE(waitFor(store->search(QStringLiteral("notes"))));
    EXPECT_EQ(announced, 2); // one answer, one notice each
    ASSERT_FALSE(seen.isEmpty());
    for (const Seen& s : seen) {
        const QStringList expected = s.query == u"report"  ? QStringList{"report.pdf"}
                                     : s.query == u"notes" ? QStringList{"notes.txt"}
                                                           : QStringList();
        EXPECT_EQ(s.items, expected) << qPrintable(s.query);
        EXPECT_TRUE(s.hasParsed);
    }
    EXPECT_EQ(seen.last().query, "notes");
    EXPECT_FALSE(seen.last().isSearching);
}

// The text index is asked on the search's own pool thread, and an older text's
// answer, however late, never replaces a newer one.
TEST_F(LibraryStoreTest, AnOlderSearchNeverShowsAfterANewerOne)
{
    QSemaphore mayAnswer;
    std::atomic<bool> askedOnGuiThread = false;
    LibraryStore::TextSearch slow = [&](const QStringList&) {
        if (QThread::currentThread() == qApp->thread()) askedOnGuiThread = true;
        // Held until the newer search was asked for: the older one's answer
        // comes last.
        mayAnswer.tryAcquire(1, int(test::kPatience.count()));
        return QList<LibraryStore::TextHit>{};
    };
    QStringList published;
    QObject::connect(store.get(), &LibraryStore::searchChanged, [&] {
        if (!store->isSearching()) published.append(store->searchedQuery());
    });
    const LibraryStore::TextSearch quick = [&](const QStringList&) {
        if (QThread::currentThread() == qApp->thread()) askedOnGuiThread = true;
        return QList<LibraryStore::TextHit>{};
    };
    QFuture<void> older = store->search(QStringLiteral("report"), slow);
    QFuture<void> newer = store->search(QStringLiteral("notes"), quick);
    mayAnswer.release();
    ASSERT_TRUE(waitFor(newer));
    ASSERT_TRUE(waitFor(older));
    EXPECT_FALSE(askedOnGuiThread);
    EXPECT_EQ(published, QStringList{"notes"});
    EXPECT_EQ(store->searchedQuery(), "notes");
    ASSERT_TRUE(store->searchResult());
    EXPECT_EQ(names(store->searchResult()->items), QStringList{"notes.txt"});
}

TEST_F(LibraryStoreTest, BlankTextClearsTheAnswerAndTheSearchingFlag)
{
    QFuture<void> report = store->search(QStringLiteral("report"));
    EXPECT_TRUE(store->isSearching());
    QFuture<void> blank = store->search(QStringLiteral(" \n\t"));
    EXPECT_TRUE(blank.isFinished());
    EXPECT_FALSE(store->isSearching());
    EXPECT_FALSE(store->searchResult());
    EXPECT_FALSE(store->parsedQuery());
    // The answer for "report" arrives late and is dropped.
    ASSERT_TRUE(waitFor(report));
    EXPECT_FALSE(store->searchResult());
}

TEST_F(LibraryStoreTest, RecognisedTextAddsCurrentFilesFirst)
{
    const QString scan = home.writeFile("Pictures/scan-0001.jpg", "jpeg", 1.7e9);
    const QString changed = home.writeFile("Pictures/old-scan.jpg", "jpeg", 1.7e9);
    const QString hidden = home.writeFile("Pictures/.cache/scan.jpg", "jpeg", 1.7e9);
    LibraryStore::TextSearch textSearch = [&](const QStringList& terms) {
        EXPECT_EQ(terms, QStringList{"invoice"});
        return QList<LibraryStore::TextHit>{{scan, 1.7e9},
                                            {changed, 1.6e9}, // read before the file last changed
                                            {hidden, 1.7e9},
                                            {home.path("Pictures/gone.jpg"), 1.7e9}};
    };
    ASSERT_TRUE(waitFor(store->search(QStringLiteral("invoice"), textSearch)));
    ASSERT_TRUE(store->searchResult());
    EXPECT_EQ(names(store->searchResult()->items), QStringList{"scan-0001.jpg"});
    EXPECT_EQ(store->textMatchCount(), 1);
    EXPECT_EQ(store->searchResult()->totalCount, 1);
    EXPECT_EQ(store->searchResult()->totalSize, 0);
}

// Applications are listed by the name their desktop entry gives in the user's
// language, read on a pool thread like every other file.
TEST_F(LibraryStoreTest, ApplicationsGoByTheirEntrysLocalizedName)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    const QString folder = ".local/share/applications/";
    home.writeFile(folder + "org.gnome.Calculator.desktop",
                   "[Desktop Entry]\nType=Application\nName=Calculator\nName[de]=Rechner\n");
    home.writeFile(folder + "org.example.Zebra.desktop",
                   "[Desktop Entry]\nType=Application\nName=Zebra\n");
    home.writeFile(folder + "nameless.desktop", "[Desktop Entry]\nType=Application\n");
    const int guiOpens = UserFile::guiThreadOpens();

    const SidebarItem apps = SidebarItem::category(FileCategory::apps);
    ASSERT_TRUE(waitFor(store->load(apps, 0)));
    QStringList listed = names(store->collections().value(apps).items);
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"Rechner", "Zebra", "nameless.desktop"}));

    QFuture<FolderListing> listing = LibraryStore::listFolder(home.path(folder));
    ASSERT_TRUE(waitFor(listing));
    listed = names(listing.result().items);
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"Rechner", "Zebra", "nameless.desktop"}));
    EXPECT_EQ(UserFile::guiThreadOpens(), guiOpens);
    QLocale::setDefault(saved);
}

TEST_F(LibraryStoreTest, ALoadedCollectionFollowsTheDisk)
{
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    ASSERT_TRUE(waitFor(store->load(images, 0)));
    ASSERT_EQ(store->collections().value(images).totalCount, 2);
    home.writeFile("Pictures/new.png", "not really a png");
    // One write may be seen as more than one change, each reloading: the end is
    // when the file is listed and no reload runs.
    EXPECT_TRUE(test::eventually([&] {
        return store->collections().value(images).totalCount == 3 && !store->isLoading(images);
    }));
    // Still loaded for its own token: a view asking again starts nothing.
    EXPECT_TRUE(store->load(images, 0).isFinished());
}
