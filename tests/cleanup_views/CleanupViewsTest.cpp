#include "browser/BrowserFixtures.h"
#include "cleanup/CleanupFixtures.h"

#include "browser/FileBrowser.h"
#include "browser/HomeView.h"
#include "cleanup/CleanupStore.h"
#include "cleanup/SourceStore.h"
#include "cleanup_views/CardGrid.h"
#include "cleanup_views/CleanupHubView.h"
#include "cleanup_views/CleanupReviewView.h"
#include "cleanup_views/CleanupScreens.h"
#include "cleanup_views/CleanupSection.h"
#include "cleanup_views/SourceViews.h"
#include "duplicates/DuplicateFinder.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/Trash.h"
#include "platform/UserFile.h"
#include "support/QtApp.h"
#include "support/Wait.h"
#include "ui/EmptyStateView.h"
#include "ui/SectionTitle.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;

namespace {

SpotlightResult resultOf(QList<FileItem> items, qsizetype extraCount = 0, qint64 extraSize = 0)
{
    SpotlightResult result;
    for (const FileItem& item : items)
        result.totalSize += item.size;
    result.totalCount = items.size() + extraCount;
    result.totalSize += extraSize;
    result.items = std::move(items);
    return result;
}

class FakeDuplicates : public DuplicateSummary {
public:
    bool idle = true;
    bool scanning = false;
    QSet<QString> extras;
    qint64 bytes = 0;

    bool isIdle() const override { return idle; }
    QFuture<void> scan(const QStringList&) override { return QtFuture::makeReadyFuture(); }
    qint64 exactReclaimable() const override { return bytes; }
    bool isScanning() const override { return scanning; }
    QSet<QString> exactExtras() const override { return extras; }
    int extraCopies() const override { return int(extras.size()); }
};

// A store whose searches answer at once from a table, or wait at a gate.
class CleanupViews : public ::testing::Test {
protected:
    void SetUp() override
    {
        trash.setMoveOne([this](const QString& path, const EntryIdentity&) {
            FreedesktopTrash::Result result;
            result.moved = !refused.contains(path);
            if (!result.moved) result.reason = QStringLiteral("it is locked");
            return result;
        });
        context.state = &state;
        context.trash = &trash;
        context.cleanup = &cleanup;
        context.duplicates = &duplicates;
    }

    void loadStore()
    {
        gate.release(5);
        ASSERT_TRUE(waitFor(cleanup.load({}, ++token)));
    }

    TestHome home;
    AppState state;
    Trash trash;
    QSet<QString> refused;
    QHash<CleanupKind, SpotlightResult> answers;
    QSemaphore gate;
    CleanupStore cleanup{[this](CleanupKind kind, const QStringList&) {
                             gate.acquire();
                             return answers.value(kind);
                         },
                         &trash};
    FakeDuplicates duplicates;
    AppContext context;
    qint64 token = 0;
};

QStringList titles(const QList<CleanupSection::Card>& cards)
{
    QStringList out;
    for (const auto& card : cards)
        out << card.content.title + " | " + card.content.headline + " | " + card.content.detail;
    return out;
}

} // namespace

TEST_F(CleanupViews, TheHubListsDuplicatesFirstThenKindsWithItemsInOrder)
{
    answers[CleanupKind::unusedApps] = resultOf({fileItem("/h/a.AppImage", 4000)});
    answers[CleanupKind::installers] =
        resultOf({fileItem("/h/a.iso", 1000), fileItem("/h/b.iso", 500)}, 1232, 0);
    answers[CleanupKind::oldScreenshots] = resultOf({});
    loadStore();

    EXPECT_EQ(titles(CleanupSection::cards(context)),
              (QStringList{"Duplicates | Scan | Find identical files",
                           "Old Installers | " + Fmt::bytes(1500) + " | " +
                               QLocale().toString(1234) + " items",
                           "Unused Apps | " + Fmt::bytes(4000) + " | 1 item"}));

    duplicates.idle = false;
    duplicates.scanning = true;
    EXPECT_TRUE(CleanupSection::cards(context)[0].content.busy);
    duplicates.scanning = false;
    EXPECT_EQ(CleanupSection::cards(context)[0].content.headline, "All clear");
    duplicates.extras = {"/h/copy-1", "/h/copy-2"};
    duplicates.bytes = 300;
    EXPECT_EQ(CleanupSection::cards(context)[0].content.detail, "2 extra copies");
    duplicates.extras = {"/h/copy-1"};
    EXPECT_EQ(CleanupSection::cards(context)[0].content.detail, "1 extra copy");
}

TEST_F(CleanupViews, TheHubSentenceCountsAFileListedByBothToolsOnce)
{
    CleanupHubView hub(context);
    EXPECT_EQ(hub.subtitleLabel()->text(), "Your computer looks tidy.");

    const FileItem iso = fileItem("/h/Downloads/copy.iso", 1000);
    answers[CleanupKind::installers] = resultOf({iso, fileItem("/h/Downloads/other.iso", 200)});
    QFuture<void> load = cleanup.load({}, 1);
    EXPECT_EQ(hub.subtitleLabel()->text(), "Looking for space you can get back…");
    gate.release(1);
    ASSERT_TRUE(
        test::eventually([&] { return cleanup.result(CleanupKind::installers).has_value(); }));
    // Bytes found so far win over the loading sentence.
    EXPECT_EQ(hub.subtitleLabel()->text(), "You could free up to " + Fmt::bytes(1200));
    gate.release(4);
    ASSERT_TRUE(waitFor(load));

    // The iso is also an extra copy of an exact duplicate: counted once.
    duplicates.extras = {iso.path, "/h/Pictures/copy.png"};
    duplicates.bytes = 1000 + 50;
    emit duplicates.changed();
    EXPECT_EQ(reclaimableTotal(context), 1250);
    EXPECT_EQ(hub.subtitleLabel()->text(), "You could free up to " + Fmt::bytes(1250));
    EXPECT_EQ(hub.section()->grid()->cards().size(), 2);
}

TEST_F(CleanupViews, ACardSelectsItsScreen)
{
    answers[CleanupKind::oldDownloads] = resultOf({fileItem("/h/Downloads/x.pdf", 10)});
    loadStore();
    CleanupSection section(context, true);
    auto cards = section.grid()->cards();
    ASSERT_EQ(cards.size(), 2);
    qobject_cast<QAbstractButton*>(cards[1])->click();
    EXPECT_EQ(state.selection(), SidebarItem::cleanup(CleanupKind::oldDownloads));
    qobject_cast<QAbstractButton*>(cards[0])->click();
    EXPECT_EQ(state.selection(), SidebarItem::duplicates());
    EXPECT_EQ(section.capsule()->text(), "Free up to " + Fmt::bytes(10));
}

TEST_F(CleanupViews, TheReviewTrashesOnlyItsSelectedFilesAndSaysWhatMoved)
{
    const QString a = writeSized(home, "Downloads/a.pdf", 3000, daysAgo(100));
    const QString b = writeSized(home, "Downloads/b.pdf", 2000, daysAgo(100));
    const QString c = writeSized(home, "Downloads/c.pdf", 1000, daysAgo(100));
    CleanupReviewView review(context, CleanupKind::oldDownloads);
    EXPECT_EQ(settledContent(*review.browser()).state, BrowserContent::State::loading);

    answers[CleanupKind::oldDownloads] =
        resultOf({fileItem(a, 3000), fileItem(b, 2000), fileItem(c, 1000)});
    loadStore();
    EXPECT_EQ(review.freedLabel()->text(), Fmt::bytes(6000) + " can be freed");
    EXPECT_TRUE(review.trashSelectedButton()->isHidden());

    // A file selected on another page is not this kind's, and is never trashed here.
    state.setSelectedFiles({a, c, "/h/Pictures/elsewhere.png"});
    EXPECT_FALSE(review.trashSelectedButton()->isHidden());
    EXPECT_EQ(review.trashSelectedButton()->text(), "Trash Selected (2)");
    review.trashSelectedButton()->click();
    ASSERT_TRUE(review.confirmation());
    EXPECT_EQ(review.confirmation()->text(), "Move 2 items to the Trash?");

    // One of the two will not move: the toast says which and why.
    refused = {c};
    ASSERT_TRUE(waitFor(review.trash(review.selected())));
    EXPECT_EQ(state.toast()->message,
              "Moved 1 of 2 items to the Trash; “c.pdf” stayed: it is locked");
    EXPECT_EQ(state.toast()->symbol, "exclamationmark.triangle");
    EXPECT_EQ(review.items().size(), 2);
    EXPECT_EQ(state.selectedFiles(), (QSet<QString>{c, "/h/Pictures/elsewhere.png"}));

    ASSERT_TRUE(waitFor(review.trash({fileItem(c, 1000)})));
    EXPECT_EQ(state.toast()->message, "Couldn't move “c.pdf” to the Trash: it is locked");

    refused.clear();
    ASSERT_TRUE(waitFor(review.trash(review.items())));
    EXPECT_EQ(state.toast()->message, "Moved 2 items to Trash · " + Fmt::bytes(3000) + " freed");
    // Nothing left: the bar goes and the browser says all is clean.
    EXPECT_EQ(review.browser()->accessory(), nullptr);
    EXPECT_EQ(settledContent(*review.browser()).emptyTitle, "All Clean");
    EXPECT_EQ(CleanupReviewView::outcomeMessage(1, 1, 5),
              "Moved 1 item to Trash · " + Fmt::bytes(5) + " freed");
}

TEST(SourceViewsTest, ABadgeAndItsCardShareTheirNamesTint)
{
    const DownloadSource slack = *DownloadSources::named("Slack");
    EXPECT_EQ(sourceTint(slack), sourceTint(*DownloadSources::named("Slack")));
    EXPECT_EQ(sourceTint(slack), Theme::pastel(u"Slack"));

    SourceStore::Group group{slack, {}, 0};
    for (int i = 0; i < 5; ++i)
        group.items << fileItem(QString("/h/p%1.png").arg(i), 100, FileCategory::images);
    group.items.prepend(fileItem("/h/notes.pdf", 34));
    group.totalSize = 534;
    EXPECT_EQ(SourceCard::detail(group), "6 files · " + Fmt::bytes(534));
    EXPECT_EQ(namesOf(SourceCard::previews(group)), (QStringList{"p0.png", "p1.png"}));
    group.items = {group.items.first()};
    EXPECT_EQ(SourceCard::detail(group).left(8), "1 file ·");
    EXPECT_TRUE(SourceCard::previews(group).isEmpty());
}

TEST(SourceViewsTest, TheHomeSectionShowsAtMostItsLimitAndNothingWithoutGroups)
{
    QList<SourceStore::Download> downloads;
    for (int i = 0; i < 12; ++i)
        downloads << SourceStore::Download{fileItem(QString("/h/f%1").arg(i), 1),
                                           {QString("https://site%1.example/f").arg(i)}};
    bool empty = true;
    SourceStore store(
        [&](const QStringList&) { return empty ? QList<SourceStore::Download>() : downloads; },
        nullptr);
    AppState state;
    AppContext context;
    context.state = &state;
    context.sources = &store;
    SourcesSection section(context, 8);
    ASSERT_TRUE(waitFor(store.load({}, 1)));
    EXPECT_TRUE(section.isHidden());
    SourcesHubView hub(context);
    EXPECT_EQ(hub.subtitleLabel()->text(), "0 downloaded files from 0 sources");
    EXPECT_FALSE(hub.emptyState()->isHidden());

    empty = false;
    ASSERT_TRUE(waitFor(store.load({}, 2)));
    EXPECT_FALSE(section.isHidden());
    EXPECT_EQ(section.grid()->cards().size(), 8);
    EXPECT_EQ(hub.section()->grid()->cards().size(), 12);
    EXPECT_TRUE(hub.emptyState()->isHidden());
    qobject_cast<QAbstractButton*>(section.grid()->cards()[0])->click();
    EXPECT_EQ(state.selection(), SidebarItem::source("site0.example"));
}

// The home view's sections

namespace {

QStringList pathsOf(const QList<FileItem>& items)
{
    QStringList paths;
    for (const FileItem& item : items)
        paths << item.path;
    return paths;
}

QAbstractButton* seeAllIn(const QWidget& section)
{
    for (QAbstractButton* button : section.findChildren<QAbstractButton*>())
        if (button->text() == "See all") return button;
    return nullptr;
}

} // namespace

TEST_F(CleanupViews, HomeShowsTheCleanUpSectionAndTheSourcesOnlyWhenThereAreAny)
{
    QList<SourceStore::Download> downloads;
    for (int i = 0; i < 12; ++i)
        downloads << SourceStore::Download{fileItem(QString("/h/Downloads/f%1").arg(i), 1),
                                           {QString("https://site%1.example/f").arg(i)}};
    bool noDownloads = true;
    SourceStore sources(
        [&](const QStringList&) {
            return noDownloads ? QList<SourceStore::Download>() : downloads;
        },
        nullptr);
    context.sources = &sources;
    installCleanupScreens(context);
    HomeView home(context);
    home.resize(1200, 900);
    home.show();

    auto* cleanUp = home.findChild<CleanupSection*>();
    ASSERT_NE(cleanUp, nullptr);
    EXPECT_TRUE(cleanUp->isVisibleTo(&home));
    EXPECT_EQ(cleanUp->grid()->cards().size(), 1); // the duplicates card, always
    ASSERT_NE(cleanUp->capsule(), nullptr);
    EXPECT_FALSE(cleanUp->capsule()->isVisibleTo(&home));
    answers[CleanupKind::installers] = resultOf({fileItem("/h/Downloads/a.iso", 1500)});
    loadStore();
    EXPECT_EQ(cleanUp->grid()->cards().size(), 2);
    EXPECT_TRUE(cleanUp->capsule()->isVisibleTo(&home));
    EXPECT_EQ(cleanUp->capsule()->text(), "Free up to " + Fmt::bytes(1500));
    ASSERT_NE(seeAllIn(*cleanUp), nullptr);
    seeAllIn(*cleanUp)->click();
    EXPECT_EQ(state.selection(), SidebarItem::cleanupHub());

    auto* downloaded = home.findChild<SourcesSection*>();
    ASSERT_NE(downloaded, nullptr);
    ASSERT_TRUE(waitFor(sources.load({}, 1)));
    EXPECT_FALSE(downloaded->isVisibleTo(&home));

    noDownloads = false;
    ASSERT_TRUE(waitFor(sources.load({}, 2)));
    EXPECT_TRUE(downloaded->isVisibleTo(&home));
    EXPECT_EQ(downloaded->grid()->cards().size(), kHomeSourcesLimit);
    auto* title = downloaded->findChild<SectionTitle*>();
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->title(), "Downloaded From");
    EXPECT_EQ(title->countText(), "12");
    EXPECT_FALSE(title->isLoading());
    ASSERT_NE(seeAllIn(*downloaded), nullptr);
    seeAllIn(*downloaded)->click();
    EXPECT_EQ(state.selection(), SidebarItem::sources());
}

TEST_F(CleanupViews, TheDuplicatesCardPreviewsTheFirstCopyOfTheFirstThreeGroups)
{
    DuplicateFinder finder(nullptr, &trash);
    QStringList paths;
    for (int group = 0; group < 4; ++group) {
        const QByteArray content = QByteArray("copy of ") + QByteArray::number(group) +
                                   QByteArray(1000 * (group + 1), char('a' + group));
        for (int copy = 0; copy < 2; ++copy)
            paths << home.writeFile(QString("Dups/g%1-%2.txt").arg(group).arg(copy), content);
    }
    finder.setGather([&](const QString&, const QStringList&, qsizetype, Spotlight::Accept) {
        // Stands for the index's pool thread, which reads the files' facts.
        UserFile::AllowOnThisThread allow;
        SpotlightResult result;
        for (const QString& path : paths)
            if (auto item = FileItem::fromPath(path)) result.items.append(*item);
        result.totalCount = result.items.size();
        return QtFuture::makeReadyFuture(result);
    });
    context.duplicates = &finder;
    CleanupSection section(context, true);
    auto shownPreviews = [&] {
        auto* card = qobject_cast<SuggestionCard*>(section.grid()->cards().first());
        return card ? pathsOf(card->content().previews) : QStringList();
    };
    auto firstOfEachGroup = [&] {
        QStringList firsts;
        for (const DuplicateGroup& group : finder.exact().mid(0, 3))
            firsts << group.files.first().path;
        return firsts;
    };
    EXPECT_TRUE(shownPreviews().isEmpty());

    ASSERT_TRUE(waitFor(finder.scan({home.path("Dups")})));
    ASSERT_EQ(finder.exact().size(), 4);
    EXPECT_EQ(shownPreviews().size(), 3);
    EXPECT_EQ(shownPreviews(), firstOfEachGroup());

    // A group that goes takes its preview along; the fourth group moves up.
    const QString gone = finder.exact().first().files.first().path;
    finder.remove({gone});
    ASSERT_EQ(finder.exact().size(), 3);
    EXPECT_EQ(shownPreviews(), firstOfEachGroup());
    EXPECT_FALSE(shownPreviews().contains(gone));
}
