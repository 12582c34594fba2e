#include "app/StartupPipeline.h"
#include "app/ui/AppContext.h"
#include "library/LibraryStore.h"
#include "platform/metadata/MetadataIndex.h"

#include "support/FixtureFiles.h"
#include "support/QtApp.h"
#include "support/TestHome.h"

#include <QPromise>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace ovra;

namespace {

FileItem image(const QString& name, std::optional<int> width = 1024) {
    FileItem item;
    item.path = QStringLiteral("/home/u/Pictures/") + name;
    item.name = name;
    item.category = FileCategory::images;
    item.pixelWidth = width;
    return item;
}

QStringList names(const QList<FileItem>& items) {
    QStringList out;
    for (const FileItem& item : items)
        out << item.name;
    return out;
}

SpotlightResult resultOf(QList<FileItem> items) {
    SpotlightResult result;
    result.totalCount = items.size();
    result.items = std::move(items);
    return result;
}

// A waiting future the test finishes by hand.
template <typename T> struct Pending {
    std::shared_ptr<QPromise<T>> promise = std::make_shared<QPromise<T>>();
    QFuture<T> start() {
        promise->start();
        return promise->future();
    }
};

// The collections of the library store: each answers at once once the test has
// given it a result, and waits until then otherwise. Every call is written to
// the shared log.
class FakeCollections {
public:
    explicit FakeCollections(QStringList& log)
        : m_log(log) {}

    void answer(const SidebarItem& item, const SpotlightResult& result = {}) {
        m_ready.insert(item, result);
        for (auto& pending : m_waiting.take(item)) {
            pending.promise->addResult(result);
            pending.promise->finish();
        }
    }
    void answerAll() {
        for (const SidebarItem& item : StartupPipeline::startupList())
            if (!m_ready.contains(item)) answer(item);
    }

    void install(StartupPipeline::Steps& steps) {
        steps.load = [this](const SidebarItem& item, qint64 token) {
            m_log << QStringLiteral("load %1 %2").arg(item.title()).arg(token);
            return QtFuture::makeReadyFuture();
        };
        steps.result = [this](const SidebarItem& item, qint64 token) {
            m_log << QStringLiteral("wait %1 %2").arg(item.title()).arg(token);
            if (m_ready.contains(item)) return QtFuture::makeReadyFuture(m_ready.value(item));
            Pending<SpotlightResult> pending;
            auto future = pending.start();
            m_waiting[item].append(pending);
            return future;
        };
        steps.scopes = {QStringLiteral("/home/u")};
    }

private:
    QStringList& m_log;
    QHash<SidebarItem, SpotlightResult> m_ready;
    QHash<SidebarItem, QList<Pending<SpotlightResult>>> m_waiting;
};

// A source or cleanup store: answers at once unless told to hold its load.
template <typename Summary> class FakeStore : public Summary {
public:
    FakeStore(QString name, QStringList& log)
        : m_name(std::move(name))
        , m_log(log) {}

    QFuture<void> load(const QStringList&, qint64 token) override {
        m_log << QStringLiteral("%1 %2").arg(m_name).arg(token);
        if (!holds) return QtFuture::makeReadyFuture();
        held.append(Pending<void>());
        return held.last().start();
    }
    void release() {
        for (auto& pending : held)
            pending.promise->finish();
        held.clear();
    }

    bool holds = false;
    QList<Pending<void>> held;

private:
    QString m_name;
    QStringList& m_log;
};

class FakeSources : public FakeStore<SourceSummary> {
public:
    using FakeStore::FakeStore;
    int groupCount() const override { return 0; }
};

class FakeCleanup : public FakeStore<CleanupSummary> {
public:
    using FakeStore::FakeStore;
    qint64 totalReclaimable() const override { return 0; }
};

class FakeDuplicates : public DuplicateSummary {
public:
    explicit FakeDuplicates(QStringList& log)
        : m_log(log) {}
    bool isIdle() const override { return idle; }
    QFuture<void> scan(const QStringList& scopes) override {
        m_log << QStringLiteral("scan %1").arg(scopes.join(u','));
        idle = false;
        return QtFuture::makeReadyFuture();
    }
    qint64 exactReclaimable() const override { return 0; }

    bool idle = true;

private:
    QStringList& m_log;
};

class StartupPipelineTest : public ::testing::Test {
protected:
    StartupPipeline::Steps steps(bool withEverything = true) {
        StartupPipeline::Steps s;
        collections.install(s);
        s.refreshIndex = [this] {
            log << QStringLiteral("refresh index");
            return QtFuture::makeReadyFuture();
        };
        if (!withEverything) return s;
        s.indexText = [this](const QList<FileItem>& items) {
            log << QStringLiteral("text %1").arg(names(items).join(u','));
            handed.append(items);
        };
        s.indexContents = [this] { log << QStringLiteral("contents"); };
        s.sources = &sources;
        s.cleanup = &cleanup;
        s.duplicates = &duplicates;
        return s;
    }

    static void settle() { QCoreApplication::processEvents(); }

    QStringList log;
    QList<QList<FileItem>> handed;
    FakeCollections collections{log};
    FakeSources sources{QStringLiteral("sources"), log};
    FakeCleanup cleanup{QStringLiteral("cleanup"), log};
    FakeDuplicates duplicates{log};
};

} // namespace

TEST_F(StartupPipelineTest, LoadsEverythingThenRunsTheBackgroundStepsInOrder) {
    collections.answer(SidebarItem::smart(SmartCollection::screenshots),
                       resultOf({image(QStringLiteral("shot.png"))}));
    collections.answer(SidebarItem::category(FileCategory::images),
                       resultOf({image(QStringLiteral("a.jpg"))}));
    collections.answerAll();
    StartupPipeline pipeline(steps());
    QSignalSpy finished(&pipeline, &StartupPipeline::finished);
    pipeline.start(0);
    settle();

    const QStringList expected{
        "load Images 0",      "load Videos 0",      "load Music 0",       "load Documents 0",
        "load Archives 0",    "load Apps 0",        "load Recents 0",     "load Large Files 0",
        "load Screenshots 0", "wait Screenshots 0", "wait Images 0",      "text shot.png,a.jpg",
        "wait Videos 0",      "wait Music 0",       "wait Documents 0",   "wait Archives 0",
        "wait Apps 0",        "wait Recents 0",     "wait Large Files 0", "contents",
        "sources 0",          "cleanup 0",          "scan /home/u"};
    EXPECT_EQ(log, expected);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.first().first().toLongLong(), 0);
}

TEST_F(StartupPipelineTest, LaterStepsWaitForEveryCollection) {
    const SidebarItem large = SidebarItem::smart(SmartCollection::large);
    for (const SidebarItem& item : StartupPipeline::startupList())
        if (!(item == large)) collections.answer(item);
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    EXPECT_EQ(log.last(), QStringLiteral("wait Large Files 0"));

    collections.answer(large);
    settle();
    const qsizetype contents = log.indexOf(QStringLiteral("contents"));
    ASSERT_NE(contents, -1);
    EXPECT_EQ(log[contents - 1], QStringLiteral("wait Large Files 0"));
    EXPECT_EQ(log[contents + 1], QStringLiteral("sources 0"));
}

TEST(StartupPipelineText, TheScreenshotsThenTheFirst1500WideImages) {
    QList<FileItem> images;
    for (int i = 0; i < 5000; ++i)
        images << image(QStringLiteral("%1.jpg").arg(i), 300 + i % 7);
    const QList<FileItem> shots{image(QStringLiteral("shot.png"))};
    const QList<FileItem> handed = StartupPipeline::textCandidates(shots, images);
    ASSERT_EQ(handed.size(), 1 + 1500);
    EXPECT_EQ(handed.first().name, QStringLiteral("shot.png"));
    EXPECT_EQ(handed[1].name, QStringLiteral("0.jpg"));
    EXPECT_EQ(handed.last().name, QStringLiteral("1499.jpg"));
}

TEST(StartupPipelineText, NarrowImagesStayOutUnlessTheirWidthIsUnknown) {
    const QList<FileItem> images{image(QStringLiteral("unknown.png"), std::nullopt),
                                 image(QStringLiteral("narrow.png"), 299),
                                 image(QStringLiteral("exact.png"), 300)};
    EXPECT_EQ(names(StartupPipeline::textCandidates({}, images)),
              (QStringList{"unknown.png", "exact.png"}));
}

TEST(StartupPipelineText, AScreenshotThatIsAlsoAnImageIsHandedOnce) {
    const FileItem shot = image(QStringLiteral("Screenshot 2026-01-01.png"));
    const QList<FileItem> handed = StartupPipeline::textCandidates(
        {shot}, {image(QStringLiteral("a.jpg")), shot, image(QStringLiteral("b.jpg"))});
    EXPECT_EQ(names(handed), (QStringList{"Screenshot 2026-01-01.png", "a.jpg", "b.jpg"}));
}

TEST_F(StartupPipelineTest, ANewerTokenStopsTheOlderRunAtItsNextWait) {
    StartupPipeline pipeline(steps());
    QSignalSpy finished(&pipeline, &StartupPipeline::finished);
    pipeline.start(0);
    settle();
    ASSERT_EQ(log.last(), QStringLiteral("wait Screenshots 0"));

    pipeline.start(1);
    settle();
    // Both runs wait for the screenshots; the answer reaches both.
    collections.answerAll();
    settle();

    EXPECT_EQ(handed.size(), 1) << "only the newer run hands files to recognition";
    EXPECT_EQ(log.count(QStringLiteral("contents")), 1);
    EXPECT_FALSE(log.contains(QStringLiteral("sources 0")));
    EXPECT_FALSE(log.contains(QStringLiteral("cleanup 0")));
    EXPECT_TRUE(log.contains(QStringLiteral("sources 1")));
    EXPECT_TRUE(log.contains(QStringLiteral("cleanup 1")));
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.first().first().toLongLong(), 1);
}

TEST_F(StartupPipelineTest, ARunSupersededDuringALoadDoesNotGoOnToTheNextStore) {
    collections.answerAll();
    sources.holds = true;
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    ASSERT_EQ(log.last(), QStringLiteral("sources 0"));

    pipeline.start(1);
    settle();
    ASSERT_EQ(log.last(), QStringLiteral("sources 1"));
    sources.release();
    settle();

    EXPECT_FALSE(log.contains(QStringLiteral("cleanup 0")));
    EXPECT_EQ(log.count(QStringLiteral("cleanup 1")), 1);
}

TEST_F(StartupPipelineTest, TheSameTokenAgainStartsNothing) {
    collections.answerAll();
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    const QStringList once = log;
    pipeline.start(0);
    settle();
    EXPECT_EQ(log, once);
}

TEST_F(StartupPipelineTest, ARefreshBringsTheIndexUpToDateBeforeItsLoads) {
    collections.answerAll();
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    EXPECT_FALSE(log.contains(QStringLiteral("refresh index"))) << "the first load walks afresh";

    log.clear();
    pipeline.start(1);
    settle();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[0], QStringLiteral("refresh index"));
    EXPECT_EQ(log[1], QStringLiteral("load Images 1"));
}

TEST_F(StartupPipelineTest, TheDuplicateScanStartsOnlyFromIdle) {
    collections.answerAll();
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    pipeline.start(1); // the scan has left the idle phase
    settle();
    EXPECT_EQ(log.filter(QStringLiteral("scan")).size(), 1);

    duplicates.idle = true; // a finder that went back to idle scans again
    pipeline.start(2);
    settle();
    EXPECT_EQ(log.filter(QStringLiteral("scan")).size(), 2);
}

TEST_F(StartupPipelineTest, PartsNotBuiltYetAreSkipped) {
    collections.answerAll();
    StartupPipeline pipeline(steps(false));
    QSignalSpy finished(&pipeline, &StartupPipeline::finished);
    pipeline.start(0);
    settle();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(log.last(), QStringLiteral("wait Large Files 0"));
}

TEST_F(StartupPipelineTest, ACancelledLoadStillLetsThePipelineGoOn) {
    collections.answerAll();
    sources.holds = true;
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    sources.held.first().promise->future().cancel();
    sources.release();
    settle();
    EXPECT_TRUE(log.contains(QStringLiteral("cleanup 0")));
}

// The steps over a real library store: a fixture home's pictures reach text
// recognition, and a refresh sees a picture added after the first load.
TEST(StartupPipelineLibrary, HandsTheHomesPicturesToRecognitionAndSeesNewOnesOnRefresh) {
    test::ensureApp();
    test::TestHome home;
    home.writeFile("Pictures/Screenshot from 2026-02-03 10-11-12.png", test::pngBytes(1440, 900));
    home.writeFile("Pictures/wide.png", test::pngBytes(640, 480));
    home.writeFile("Pictures/icon.png", test::pngBytes(64, 64));
    md::MetadataIndex index;
    LibraryStore library(index);

    AppContext context;
    context.index = &index;
    context.library = &library;
    StartupPipeline::Steps steps = StartupPipeline::stepsFor(context);
    QList<QStringList> handed;
    steps.indexText = [&](const QList<FileItem>& items) {
        QStringList sorted = names(items);
        sorted.sort();
        handed << sorted;
    };
    StartupPipeline pipeline(steps);
    QSignalSpy finished(&pipeline, &StartupPipeline::finished);

    pipeline.start(0);
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(handed[0], (QStringList{"Screenshot from 2026-02-03 10-11-12.png", "wide.png"}));

    home.writeFile("Pictures/later.png", test::pngBytes(800, 600));
    pipeline.start(1);
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_EQ(handed.size(), 2);
    EXPECT_TRUE(handed[1].contains(QStringLiteral("later.png")));
    QThreadPool::globalInstance()->waitForDone();
}
