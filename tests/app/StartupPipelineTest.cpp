#include "app/StartupPipeline.h"
#include "library/LibraryStore.h"
#include "platform/metadata/MetadataIndex.h"

#include "support/FixtureFiles.h"
#include "support/QtApp.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QPromise>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using namespace ovra;

namespace {

using Promise = std::shared_ptr<QPromise<SpotlightResult>>;

FileItem image(const QString& name, std::optional<int> width = 1024)
{
    FileItem item;
    item.path = QStringLiteral("/home/u/Pictures/") + name;
    item.name = name;
    item.category = FileCategory::images;
    item.pixelWidth = width;
    return item;
}

QStringList names(const QList<FileItem>& items)
{
    QStringList out;
    for (const FileItem& item : items)
        out << item.name;
    return out;
}

// A source or cleanup store that answers at once, or holds its load while told to.
template <typename Summary> class FakeStore : public Summary {
public:
    FakeStore(QString name, QStringList& log)
        : m_name(std::move(name))
        , m_log(log)
    {
    }
    QFuture<void> load(const QStringList&, qint64 token) override
    {
        m_log << QStringLiteral("%1 %2").arg(m_name).arg(token);
        if (!holds) return QtFuture::makeReadyFuture();
        held = std::make_shared<QPromise<void>>();
        held->start();
        return held->future();
    }

    bool holds = false;
    std::shared_ptr<QPromise<void>> held;

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
        : m_log(log)
    {
    }
    bool isIdle() const override { return idle; }
    QFuture<void> scan(const QStringList&) override
    {
        m_log << QStringLiteral("scan");
        idle = false;
        return QtFuture::makeReadyFuture();
    }
    qint64 exactReclaimable() const override { return 0; }
    bool idle = true;

private:
    QStringList& m_log;
};

// Every call the pipeline makes goes to `log`. A collection answers at once
// once the test has given its result, and waits until then otherwise.
class StartupPipelineTest : public ::testing::Test {
protected:
    StartupPipeline::Steps steps(bool withEverything = true)
    {
        StartupPipeline::Steps s;
        s.load = [this](const SidebarItem& item, qint64 token) {
            log << QStringLiteral("load %1 %2").arg(item.title()).arg(token);
            return QtFuture::makeReadyFuture();
        };
        s.result = [this](const SidebarItem& item, qint64 token) {
            log << QStringLiteral("wait %1 %2").arg(item.title()).arg(token);
            if (ready.contains(item)) return QtFuture::makeReadyFuture(ready.value(item));
            waiting[item] << std::make_shared<QPromise<SpotlightResult>>();
            waiting[item].last()->start();
            return waiting[item].last()->future();
        };
        s.refreshIndex = [this] {
            log << QStringLiteral("refresh index");
            return QtFuture::makeReadyFuture();
        };
        if (!withEverything) return s;
        s.indexText = [this](const QList<FileItem>& items) {
            log << QStringLiteral("text %1").arg(names(items).join(u','));
        };
        s.indexContents = [this] {
            log << QStringLiteral("contents");
            if (!holdsContents) return QtFuture::makeReadyFuture();
            contentsPass = std::make_shared<QPromise<void>>();
            contentsPass->start();
            return contentsPass->future();
        };
        s.sources = &sources;
        s.cleanup = &cleanup;
        s.duplicates = &duplicates;
        return s;
    }

    void answer(const SidebarItem& item, QList<FileItem> items = {})
    {
        SpotlightResult result;
        result.items = std::move(items);
        ready.insert(item, result);
        for (const Promise& promise : waiting.take(item)) {
            promise->addResult(result);
            promise->finish();
        }
    }
    void answerAll()
    {
        for (const SidebarItem& item : StartupPipeline::startupList())
            if (!ready.contains(item)) answer(item);
    }

    static void settle() { QCoreApplication::processEvents(); }

    QStringList log;
    bool holdsContents = false; // the words-inside-documents pass runs until ended
    std::shared_ptr<QPromise<void>> contentsPass;
    QHash<SidebarItem, SpotlightResult> ready;
    QHash<SidebarItem, QList<Promise>> waiting;
    FakeSources sources{QStringLiteral("sources"), log};
    FakeCleanup cleanup{QStringLiteral("cleanup"), log};
    FakeDuplicates duplicates{log};
};

} // namespace

TEST_F(StartupPipelineTest, LoadsEverythingThenRunsTheBackgroundStepsInOrder)
{
    answer(SidebarItem::smart(SmartCollection::screenshots), {image(QStringLiteral("shot.png"))});
    answer(SidebarItem::category(FileCategory::images), {image(QStringLiteral("a.jpg"))});
    answerAll();
    StartupPipeline pipeline(steps());
    QSignalSpy finished(&pipeline, &StartupPipeline::finished);
    pipeline.start(0);
    settle();

    const QStringList expected{"load Images 0",
                               "load Videos 0",
                               "load Music 0",
                               "load Documents 0",
                               "load Archives 0",
                               "load Apps 0",
                               "load Recents 0",
                               "load Large Files 0",
                               "load Screenshots 0",
                               "wait Screenshots 0",
                               "wait Images 0",
                               "text shot.png,a.jpg",
                               "wait Videos 0",
                               "wait Music 0",
                               "wait Documents 0",
                               "wait Archives 0",
                               "wait Apps 0",
                               "wait Recents 0",
                               "wait Large Files 0",
                               "contents",
                               "sources 0",
                               "cleanup 0",
                               "scan"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(StartupPipelineTest, LaterStepsWaitForEveryCollection)
{
    const SidebarItem large = SidebarItem::smart(SmartCollection::large);
    for (const SidebarItem& item : StartupPipeline::startupList())
        if (!(item == large)) answer(item);
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    EXPECT_EQ(log.last(), QStringLiteral("wait Large Files 0"));

    answer(large);
    settle();
    EXPECT_EQ(log.mid(log.indexOf(QStringLiteral("wait Large Files 0")) + 1),
              (QStringList{"contents", "sources 0", "cleanup 0", "scan"}));
}

// Hashing and reading documents each take cores; together they took most of
// the machine on a large home.
TEST_F(StartupPipelineTest, TheDuplicateScanWaitsForTheDocumentsPass)
{
    holdsContents = true;
    answerAll();
    StartupPipeline pipeline(steps());
    QSignalSpy finished(&pipeline, &StartupPipeline::finished);
    pipeline.start(0);
    settle();
    ASSERT_TRUE(contentsPass);
    EXPECT_EQ(log.mid(log.indexOf(QStringLiteral("contents"))),
              (QStringList{"contents", "sources 0", "cleanup 0"}));
    EXPECT_EQ(finished.count(), 0);

    contentsPass->finish();
    settle();
    EXPECT_EQ(log.last(), QStringLiteral("scan"));
    EXPECT_EQ(finished.count(), 1);
}

TEST(StartupPipelineText, TheScreenshotsThenTheFirst1500WideImagesEachOnce)
{
    QList<FileItem> images;
    for (int i = 0; i < 5000; ++i)
        images << image(QStringLiteral("%1.jpg").arg(i), 300 + i % 7);
    const QList<FileItem> handed =
        StartupPipeline::textCandidates({image(QStringLiteral("shot.png"))}, images);
    ASSERT_EQ(handed.size(), 1 + 1500);
    EXPECT_EQ(handed[1].name, QStringLiteral("0.jpg"));
    EXPECT_EQ(handed.last().name, QStringLiteral("1499.jpg"));

    // A width never read may be wide enough; 299 pixels is not.
    const FileItem shot = image(QStringLiteral("Screenshot.png"));
    EXPECT_EQ(names(StartupPipeline::textCandidates(
                  {shot}, {image(QStringLiteral("unknown.png"), std::nullopt),
                           image(QStringLiteral("narrow.png"), 299), shot,
                           image(QStringLiteral("exact.png"), 300)})),
              (QStringList{"Screenshot.png", "unknown.png", "exact.png"}));
}

TEST_F(StartupPipelineTest, ANewerTokenStopsTheOlderRunAtItsNextWait)
{
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    ASSERT_EQ(log.last(), QStringLiteral("wait Screenshots 0"));
    pipeline.start(1);
    settle();
    answerAll(); // answers the waits of both runs
    settle();

    EXPECT_EQ(log.filter(QStringLiteral("text")).size(), 1);
    EXPECT_EQ(log.count(QStringLiteral("contents")), 1);
    EXPECT_FALSE(log.contains(QStringLiteral("sources 0")));
    EXPECT_TRUE(log.contains(QStringLiteral("cleanup 1")));

    // Superseded while a store loads, a run does not go on to the next store.
    log.clear();
    sources.holds = true;
    pipeline.start(2);
    settle();
    const auto heldForTwo = sources.held;
    pipeline.start(3);
    settle();
    heldForTwo->finish();
    sources.held->finish();
    settle();
    EXPECT_FALSE(log.contains(QStringLiteral("cleanup 2")));
    EXPECT_TRUE(log.contains(QStringLiteral("cleanup 3")));
}

TEST_F(StartupPipelineTest, ARefreshBringsTheIndexUpToDateBeforeItsLoadsAndTheSameTokenIsNoRefresh)
{
    answerAll();
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    EXPECT_FALSE(log.contains(QStringLiteral("refresh index"))) << "the first load walks afresh";

    log.clear();
    pipeline.start(0);
    settle();
    EXPECT_TRUE(log.isEmpty());

    pipeline.start(1);
    settle();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.mid(0, 2), (QStringList{"refresh index", "load Images 1"}));
}

TEST_F(StartupPipelineTest, TheDuplicateScanStartsOnlyFromIdle)
{
    answerAll();
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    pipeline.start(1); // the scan has left the idle phase
    settle();
    EXPECT_EQ(log.count(QStringLiteral("scan")), 1);
}

TEST_F(StartupPipelineTest, PartsNotBuiltYetAreSkippedAndACancelledLoadGoesOn)
{
    answerAll();
    StartupPipeline bare(steps(false));
    QSignalSpy finished(&bare, &StartupPipeline::finished);
    bare.start(0);
    settle();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(log.last(), QStringLiteral("wait Large Files 0"));

    sources.holds = true;
    StartupPipeline pipeline(steps());
    pipeline.start(0);
    settle();
    sources.held->future().cancel();
    sources.held->finish();
    settle();
    EXPECT_TRUE(log.contains(QStringLiteral("cleanup 0")));
}

// Over a real library store: the fixture home's pictures reach text
// recognition, and a refresh sees a picture added after the first load.
TEST(StartupPipelineLibrary, HandsTheHomesPicturesToRecognitionAndSeesNewOnesOnRefresh)
{
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
    ASSERT_TRUE(test::eventually([&] { return finished.size() == 1; }));
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(handed[0], (QStringList{"Screenshot from 2026-02-03 10-11-12.png", "wide.png"}));

    home.writeFile("Pictures/later.png", test::pngBytes(800, 600));
    pipeline.start(1);
    ASSERT_TRUE(test::eventually([&] { return finished.size() == 2; }));
    ASSERT_EQ(handed.size(), 2);
    EXPECT_TRUE(handed[1].contains(QStringLiteral("later.png")));
    QThreadPool::globalInstance()->waitForDone();
}
