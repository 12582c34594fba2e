#include "library/AppState.h"
#include "ListFixtures.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/xattr.h>

#include <map>

using namespace ovra;
using namespace std::chrono_literals;

namespace {

// Time that moves only when the test says so; delayed tasks run in due order.
class ManualClock {
public:
    QDateTime now = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26), Qt::UTC);

    AppState::Clock clock()
    {
        return {[this] { return now; },
                [this](std::chrono::milliseconds delay, std::function<void()> task) {
                    m_pending.emplace(now.addMSecs(delay.count()), std::move(task));
                }};
    }

    void advance(std::chrono::milliseconds by)
    {
        const QDateTime until = now.addMSecs(by.count());
        while (!m_pending.empty() && m_pending.begin()->first <= until) {
            auto task = m_pending.extract(m_pending.begin());
            now = task.key();
            task.mapped()();
        }
        now = until;
    }

private:
    std::multimap<QDateTime, std::function<void()>> m_pending;
};

using test::file;
using test::folder;
using test::names;

QSet<QString> paths(std::initializer_list<FileItem> items)
{
    QSet<QString> result;
    for (const FileItem& item : items)
        result.insert(item.path);
    return result;
}

QByteArray storedSettings()
{
    QFile f(SettingsStore::appFilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Settings as a person or another program left them, read fresh from the file.
void writeSettings(const QByteArray& ini)
{
    QDir().mkpath(QFileInfo(SettingsStore::appFilePath()).path());
    QFile f(SettingsStore::appFilePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\n" + ini);
}

class AppStateTest : public ::testing::Test {
protected:
    // The app's settings as the app reads them before its window, on a pool thread.
    static SettingsStore appSettings()
    {
        const UserFile::AllowOnThisThread directReads;
        return SettingsStore();
    }

    test::TestHome home;
    ManualClock time;
};

} // namespace

// Fields and change notification

TEST_F(AppStateTest, FreshInstallStartsOnHomeWithDefaultsAndWritesNothing)
{
    AppState state(appSettings(), time.clock());
    EXPECT_EQ(state.selection(), SidebarItem::home());
    EXPECT_EQ(state.viewMode(), ViewMode::grid);
    EXPECT_EQ(state.cardSize(), CardSize::medium);
    EXPECT_TRUE(state.pinned().isEmpty());
    EXPECT_EQ(state.sortKey(), SortKey::date);
    EXPECT_FALSE(state.ascending());
    state.settings().flush();
    EXPECT_FALSE(QFile::exists(SettingsStore::appFilePath()));
}

TEST_F(AppStateTest, OnlyADifferentValueNotifies)
{
    AppState state(time.clock());
    QSignalSpy token(&state, &AppState::refreshTokenChanged);
    QSignalSpy source(&state, &AppState::sourceFilterChanged);
    QSignalSpy selected(&state, &AppState::selectedFilesChanged);
    QSignalSpy focused(&state, &AppState::focusedItemChanged);
    QSignalSpy list(&state, &AppState::previewListChanged);
    QSignalSpy toast(&state, &AppState::toastChanged);

    for (int value : {4, 5, 5})
        state.setRefreshToken(RefreshToken(value));
    EXPECT_EQ(token.count(), 2);

    state.setSourceFilter(QStringLiteral("GitHub"));
    state.setSourceFilter(QStringLiteral("GitHub"));
    state.setSourceFilter(QString()); // an empty name is still a name, not "none"
    EXPECT_EQ(source.count(), 2);

    state.setSelectedFiles({QStringLiteral("/a"), QStringLiteral("/b")});
    state.setSelectedFiles({QStringLiteral("/b"), QStringLiteral("/a")});
    EXPECT_EQ(selected.count(), 1);

    // Items are the same item by path: fresh metadata is stored, silently.
    state.setFocusedItem(file(QStringLiteral("a.png"), 10));
    state.setFocusedItem(file(QStringLiteral("a.png"), 99, 1234));
    EXPECT_EQ(focused.count(), 1);
    EXPECT_EQ(state.focusedItem()->size, 99);
    state.setPreviewList({file(QStringLiteral("a"), 1), file(QStringLiteral("b"), 2)});
    state.setPreviewList({file(QStringLiteral("a"), 7), file(QStringLiteral("b"), 8)});
    state.setPreviewList({file(QStringLiteral("b")), file(QStringLiteral("a"))});
    EXPECT_EQ(list.count(), 2);

    // Toasts are equal only in every field, their identity included.
    const auto copied = AppState::Toast::make(QStringLiteral("Copied text"), QStringLiteral("doc"));
    state.setToast(copied);
    state.setToast(copied);
    state.setToast(AppState::Toast::make(copied.message, copied.symbol));
    EXPECT_EQ(toast.count(), 2);
}

TEST_F(AppStateTest, SearchingAndActiveFilters)
{
    AppState state(time.clock());
    for (const char16_t* blank : {u" \t ", u"\n", u"\u00A0\u3000\u2028"}) {
        state.setSearchText(QString::fromUtf16(blank));
        EXPECT_FALSE(state.isSearching());
    }
    state.setSearchText(QStringLiteral(" \tpdf\n"));
    EXPECT_TRUE(state.isSearching());

    EXPECT_FALSE(state.filtersActive());
    state.setDateFilter(DateFilter::today);
    EXPECT_TRUE(state.filtersActive());
    state.setDateFilter(DateFilter::any);
    state.setSourceFilter(QStringLiteral("Slack"));
    EXPECT_TRUE(state.filtersActive());
}

TEST_F(AppStateTest, ChoosingASortKeyStartsInItsNaturalDirection)
{
    AppState state(time.clock());
    const auto choose = [&](SortKey key) {
        state.setSort(key);
        return rawValue(state.sortKey()) + (state.ascending() ? u'+' : u'-');
    };
    EXPECT_EQ(choose(SortKey::name), QStringLiteral("name+"));
    EXPECT_EQ(choose(SortKey::name), QStringLiteral("name-"));
    EXPECT_EQ(choose(SortKey::date), QStringLiteral("date-"));
    EXPECT_EQ(choose(SortKey::size), QStringLiteral("size-"));
    EXPECT_EQ(choose(SortKey::kind), QStringLiteral("kind+"));
}

// Selection, targets and preview

TEST_F(AppStateTest, ClickSelectionAndTargets)
{
    AppState state(time.clock());
    const FileItem a = file(QStringLiteral("a")), b = file(QStringLiteral("b")),
                   c = file(QStringLiteral("c")), d = file(QStringLiteral("d"));
    const QList<FileItem> list{a, b, c, d};

    state.setSelectedFiles(paths({a, b, c}));
    state.select(b, Qt::NoModifier);
    EXPECT_EQ(state.selectedFiles(), paths({b}));
    EXPECT_EQ(state.focusedItem(), b);
    EXPECT_EQ(names(state.targets(b, list)), QStringLiteral("b"));

    state.select(b, Qt::ControlModifier);
    EXPECT_TRUE(state.selectedFiles().isEmpty());
    EXPECT_FALSE(state.focusedItem());

    state.select(d, Qt::ControlModifier);
    state.select(a, Qt::ControlModifier);
    EXPECT_EQ(state.focusedItem(), a);
    EXPECT_EQ(names(state.targets(c, list)), QStringLiteral("c"));
    state.setSelectedFiles(state.selectedFiles() + QSet<QString>{QStringLiteral("/elsewhere")});
    EXPECT_EQ(names(state.targets(d, list)), QStringLiteral("a d")); // list order, listed only

    // Shift selects no range: it is a plain click.
    state.select(c, Qt::ShiftModifier);
    EXPECT_EQ(state.selectedFiles(), paths({c}));
}

TEST_F(AppStateTest, PreviewStepsWithinItsFilesAndTakesTheSelectionAlong)
{
    AppState state(time.clock());
    const FileItem p1 = file(QStringLiteral("1")), p2 = file(QStringLiteral("2")),
                   p3 = file(QStringLiteral("3"));
    state.preview(p1, {folder(QStringLiteral("A")), p1, folder(QStringLiteral("B")), p2, p3});
    EXPECT_EQ(names(state.previewList()), QStringLiteral("1 2 3"));

    state.stepPreview(-1);
    EXPECT_TRUE(state.selectedFiles().isEmpty());
    state.stepPreview(2);
    EXPECT_EQ(state.previewItem(), p3);
    EXPECT_EQ(state.selectedFiles(), paths({p3}));
    EXPECT_EQ(state.focusedItem(), p3);
    state.stepPreview(1);
    EXPECT_EQ(state.previewItem(), p3);

    state.setPreviewItem(file(QStringLiteral("gone")));
    state.stepPreview(-1);
    EXPECT_EQ(state.previewItem()->name, QStringLiteral("gone"));
}

// Folders and pins

TEST_F(AppStateTest, OpeningAFolder)
{
    AppState state(time.clock());
    const Location docs{home.path(QStringLiteral("Documents")), QStringLiteral("Documents"),
                        QStringLiteral("doc")};
    const QString taxes = docs.path + QStringLiteral("/Taxes 2025");
    state.setSelection(SidebarItem::location(docs));
    state.setSelectedFiles({QStringLiteral("/x")});

    state.openFolder(taxes);
    EXPECT_EQ(state.folderPath(), QStringList{taxes});
    EXPECT_EQ(state.selection(), SidebarItem::location(docs));
    EXPECT_TRUE(state.selectedFiles().isEmpty());

    // During a search, or from anything but a location, it becomes a location.
    const SidebarItem own =
        SidebarItem::location({taxes, QStringLiteral("Taxes 2025"), QStringLiteral("folder")});
    state.setSearchText(QStringLiteral("\ttax"));
    state.openFolder(taxes);
    EXPECT_EQ(state.selection(), own);
    EXPECT_TRUE(state.searchText().isEmpty());
    for (const SidebarItem& from :
         {SidebarItem::smart(SmartCollection::recents), SidebarItem::home()}) {
        state.setSelection(from);
        state.openFolder(taxes);
        EXPECT_EQ(state.selection(), own);
    }
}

TEST_F(AppStateTest, PinsKeepTheOrderInWhichTheyWereMade)
{
    const QString a = QStringLiteral("/data/A, with comma"), b = QStringLiteral("/data/B"),
                  c = QStringLiteral("/data/@C");
    {
        AppState state(appSettings(), time.clock());
        for (const QString& path : {a, b, c, b, b})
            state.togglePin(path);
        EXPECT_EQ(state.pinned(), (QStringList{a, c, b}));
    }
    EXPECT_EQ(AppState(appSettings(), time.clock()).pinned(), (QStringList{a, c, b}));

    test::TestHome elsewhere; // the settings file is looked up anew at each creation
    EXPECT_TRUE(AppState(appSettings(), time.clock()).pinned().isEmpty());
}

// Toasts

TEST_F(AppStateTest, EachToastLastsItsOwnFullTime)
{
    AppState state(time.clock());
    state.setToast(AppState::Toast::make(QStringLiteral("first"), QStringLiteral("doc")));
    time.advance(2s);
    const auto second = AppState::Toast::make(QStringLiteral("first"), QStringLiteral("doc"));
    state.setToast(second);
    time.advance(2599ms); // the first one's time ran out meanwhile
    EXPECT_EQ(state.toast(), second);
    time.advance(1ms);
    EXPECT_FALSE(state.toast());
}

TEST_F(AppStateTest, StickyToastStaysUntilReplaced)
{
    AppState state(time.clock());
    auto reading = AppState::Toast::make(QStringLiteral("Reading"), QStringLiteral("doc"));
    state.setToast(reading);
    time.advance(1s);
    reading.sticky = true; // the same showing turned sticky outlives its first clock
    state.setToast(reading);
    time.advance(60s);
    EXPECT_EQ(state.toast(), reading);

    state.setToast(AppState::Toast::make(QStringLiteral("Copied 3 lines"), QStringLiteral("doc")));
    time.advance(2600ms);
    EXPECT_FALSE(state.toast());
}

// Persisted settings

TEST_F(AppStateTest, ViewOptionsSurviveARestartAndUnknownOnesReadAsDefaults)
{
    {
        AppState state(appSettings(), time.clock());
        state.setViewMode(ViewMode::list);
        state.setCardSize(CardSize::large);
    }
    EXPECT_TRUE(storedSettings().contains("viewMode=list"));
    EXPECT_EQ(AppState(appSettings(), time.clock()).cardSize(), CardSize::large);

    writeSettings("viewMode=List\ncardSize=@ByteArray(small)\n");
    AppState state(appSettings(), time.clock());
    EXPECT_EQ(state.viewMode(), ViewMode::grid);
    EXPECT_EQ(state.cardSize(), CardSize::medium);

    // The stored value stays until the field is assigned; then even an equal
    // assignment writes, silently.
    QSignalSpy spy(&state, &AppState::viewModeChanged);
    state.setViewMode(ViewMode::grid);
    EXPECT_EQ(spy.count(), 0);
    state.settings().flush();
    EXPECT_TRUE(storedSettings().contains("viewMode=grid"));
}

TEST_F(AppStateTest, ASinglePinReadsAsOnePin)
{
    writeSettings("pinned=/data/Projects\n");
    EXPECT_EQ(AppState(appSettings(), time.clock()).pinned(),
              QStringList{QStringLiteral("/data/Projects")});
}

TEST_F(AppStateTest, ADamagedPinIsSkippedAndTheOthersStay)
{
    writeSettings("pinned=/data/A, 5, @ByteArray(/x), @Invalid(), , /data/B/\n");
    EXPECT_EQ(AppState(appSettings(), time.clock()).pinned(),
              (QStringList{QStringLiteral("/data/A"), QStringLiteral("/data/B")}));
}
