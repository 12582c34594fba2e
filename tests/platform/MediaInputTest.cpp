#include "platform/ThreadCpuClock.h"
#include "platform/UserFile.h"
#include "platform/XdgPaths.h"
#include "platform/content/ExtractHelper.h"
#include "platform/content/ExtractProtocol.h"
#include "platform/metadata/AttributeCache.h"
#include "platform/metadata/IndexPersistence.h"
#include "platform/metadata/IndexWalker.h"
#include "platform/metadata/MediaReader.h"

#include "support/FixtureFiles.h"
#include "support/TestHome.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::md;
using namespace std::chrono_literals;

namespace {

// A machine as a reader's budget sees it: at each look at the clock, the wall
// clock has moved on by one step and the reading thread's processor time by
// another. The budget is handed only the processor time.
struct Machine {
    std::chrono::nanoseconds wallPerLook{};
    std::chrono::nanoseconds processorPerLook{};
    std::chrono::nanoseconds wall{};
    std::chrono::nanoseconds processor{};
    int looks = 0;

    CpuTimeSource processorClock()
    {
        return [this] {
            ++looks;
            wall += wallPerLook;
            processor += processorPerLook;
            return ThreadCpuClock::time_point(processor);
        };
    }
};

// A video whose probe goes on past its header to read packets (the picture
// size of MPEG-4 video in MP4 comes from them): there the budget is looked at.
std::optional<QString> probedVideo(test::TestHome& home)
{
    if (!test::canEncode(QStringLiteral("mp4"))) return std::nullopt;
    const QString path = home.path(QStringLiteral("clip.mp4"));
    if (!test::writeVideo(path, 96, 64, 2.0, true)) return std::nullopt;
    return path;
}

// Probes `path` as the index does, on the time `machine` gives.
bool probe(const QString& path, Machine& machine, ContentAttributes& read)
{
    MediaInput::Budget budget;
    budget.clock = machine.processorClock();
    const std::optional<UserFile> file = UserFile::open(path);
    return file && MediaReader::read(*file, path, read, budget);
}

} // namespace

// The fault a loaded machine showed: a probe timed on the wall clock ran out
// while it waited for a processor, and the video was indexed with no size.
TEST(MediaInputBudget, AProbeLeftWaitingForAProcessorKeepsItsAnswer)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, as the helper is
    test::TestHome home;
    const std::optional<QString> video = probedVideo(home);
    if (!video) GTEST_SKIP() << "this FFmpeg cannot make an MP4";
    // Ten seconds pass on the wall clock between two looks, with no processor
    // time given to the probe.
    Machine busy{10s, 0ns};
    ContentAttributes read;
    EXPECT_TRUE(probe(*video, busy, read));
    EXPECT_GE(busy.looks, 2); // its start, then at least once as it read
    EXPECT_EQ(read.pixelWidth, 96);
    EXPECT_EQ(read.pixelHeight, 64);
    EXPECT_TRUE(read.durationSeconds);
}

// A file that really costs the probe its processor time is still stopped, and
// the read says it was cut short.
TEST(MediaInputBudget, AProbeThatSpendsItsProcessorTimeStopsAndSaysSo)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, as the helper is
    test::TestHome home;
    const std::optional<QString> video = probedVideo(home);
    if (!video) GTEST_SKIP() << "this FFmpeg cannot make an MP4";
    Machine working{1s, 1s};
    ContentAttributes read;
    EXPECT_FALSE(probe(*video, working, read));
    EXPECT_FALSE(read.pixelWidth);

    // The same file on a budget it stays within is read whole.
    Machine quick{1s, 1ms};
    read = {};
    EXPECT_TRUE(probe(*video, quick, read));
    EXPECT_EQ(read.pixelWidth, 96);
}

// A probe cut short by its time budget is no answer for the file: it is shown
// meanwhile, kept out of the attribute cache, and read again by the next walk,
// whether that walk starts from the tables or from the cache alone.
TEST(MediaInputBudget, AProbeCutShortIsNotCachedAndTheNextWalkReadsItAgain)
{
    const UserFile::AllowOnThisThread directReads; // the walks and saves, as a worker's
    test::TestHome home;
    const std::optional<QString> video = probedVideo(home);
    if (!video) GTEST_SKIP() << "this FFmpeg cannot make an MP4";
    content::ExtractHelper::Options helperOptions;
    helperOptions.program = QStringLiteral(OVRA_EXTRACT_PROGRAM);
    WalkOptions options;
    options.threads = 1;
    const auto extraOf = [&](const Table& table) {
        const std::uint32_t entry = table.find(video->toStdString());
        return entry == kNone ? nullptr : table.extra(table.entries[entry]);
    };

    WalkOutcome first;
    {
        qputenv(content::protocol::kOverTimeOnEnv, "clip.mp4");
        const auto restore = qScopeGuard([] { qunsetenv(content::protocol::kOverTimeOnEnv); });
        content::HelperPool spent(helperOptions);
        options.helpers = &spent;
        first = walkScope(home.root(), nullptr, {}, options);
    }
    ASSERT_TRUE(first.table);
    EXPECT_EQ(first.contentReads, 1u);
    const Extra* cut = extraOf(*first.table);
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->isContentUnread);

    CurrentTables current;
    TableSet tables;
    tables.tables.push_back(first.table);
    IndexPersistence(xdg::appCacheDir(), true, current)
        .tablesChanged(tables, first.contentReads, true);
    const AttributeMap cache =
        AttributeCache::load(xdg::appCacheDir() + QStringLiteral("/metadata-attributes.cache"));
    const auto record = cache.find(video->toStdString());
    EXPECT_TRUE(record == cache.end() || !record->second.hasContent);

    content::HelperPool helpers(helperOptions);
    options.helpers = &helpers;
    const Table* const previousTables[] = {nullptr, first.table.get()};
    for (const Table* previous : previousTables) {
        const WalkOutcome again = walkScope(home.root(), previous, cache, options);
        ASSERT_TRUE(again.table);
        EXPECT_EQ(again.contentReads, 1u);
        const Extra* read = extraOf(*again.table);
        ASSERT_TRUE(read);
        EXPECT_FALSE(read->isContentUnread);
        EXPECT_EQ(read->content.pixelWidth, 96);
        EXPECT_EQ(read->content.pixelHeight, 64);
    }
}
