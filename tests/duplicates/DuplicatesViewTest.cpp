#include "duplicates/DuplicatesView.h"
#include "duplicates/DuplicateFinder.h"
#include "duplicates/DuplicateGroupCard.h"
#include "library/AppState.h"
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra {

namespace {

// A finder whose scan gathers the given files and reports `gathered` files.
void gatherFrom(DuplicateFinder& finder, QStringList paths, int gathered)
{
    finder.setGather(
        [paths, gathered](const QString&, const QStringList&, qsizetype, Spotlight::Accept) {
            // The index's pool thread reads these in the app.
            UserFile::AllowOnThisThread allow;
            SpotlightResult result;
            for (const QString& path : paths)
                if (auto item = FileItem::fromPath(path)) result.items.append(*item);
            result.totalCount = gathered;
            return QtFuture::makeReadyFuture(result);
        });
}

// Holds every thread of a pool while it lives, so work started meanwhile waits
// in the queue; it lets them go and waits for them when it goes.
class HeldPool {
public:
    explicit HeldPool(background::Pool kind)
    {
        const int threads = background::threadCount(kind);
        for (int i = 0; i < threads; ++i)
            m_holders.append(background::run(kind, [this] {
                m_held.release();
                m_gate.acquire();
            }));
        EXPECT_TRUE(m_held.tryAcquire(threads, int(test::kPatience.count())));
    }
    ~HeldPool()
    {
        m_gate.release(int(m_holders.size()));
        for (QFuture<void>& holder : m_holders)
            holder.waitForFinished();
    }
    HeldPool(const HeldPool&) = delete;
    HeldPool& operator=(const HeldPool&) = delete;

private:
    QSemaphore m_held;
    QSemaphore m_gate;
    QList<QFuture<void>> m_holders;
};

} // namespace

TEST(DuplicatesView, NothingFoundAndTheScanThatStartsWhenShown)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    Trash trash;
    DuplicateFinder finder(nullptr, &trash);
    gatherFrom(finder, {}, 1234);
    AppContext context;
    DuplicatesView view(context, &finder);
    EXPECT_EQ(view.heroTitle(), "Find duplicate files");
    EXPECT_EQ(view.scanButton()->text().trimmed(), "Start Scan");
    EXPECT_EQ(view.tabTitle(DuplicatesView::Tab::exact), "Exact Copies");

    view.show();
    EXPECT_NE(finder.phase(), DuplicateFinder::Phase::idle());
    ASSERT_TRUE(
        test::eventually([&] { return finder.phase() == DuplicateFinder::Phase::finished(); }));
    EXPECT_EQ(view.heroTitle(), "No duplicates found");
    EXPECT_EQ(view.heroDetail(), "Checked 1,234 files. Nice and tidy!");
    EXPECT_EQ(view.scanButton()->text().trimmed(), "Scan Again");
    EXPECT_TRUE(view.trashAllButton()->isHidden());

    // The look-alike scan waits for its own button.
    view.setTab(DuplicatesView::Tab::similar);
    EXPECT_EQ(view.heroTitle(), "Find look-alike photos");
    EXPECT_EQ(finder.similarPhase(), DuplicateFinder::Phase::idle());
    QLocale::setDefault(QLocale::system());
}

// "Scan Again" shows the scan running from its first moment to its end: a
// bar while the files are gathered, then the candidates checked one by one.
TEST(DuplicatesView, ScanAgainShowsItsProgress)
{
    test::TestHome home;
    QStringList paths;
    for (int g = 0; g < 3; ++g)
        for (int copy = 0; copy < 2; ++copy)
            paths.append(home.writeFile(QStringLiteral("d%1/f%2.bin").arg(copy).arg(g),
                                        QByteArray(60000 + g, char('a' + g))));
    Trash trash;
    DuplicateFinder finder(nullptr, &trash);
    gatherFrom(finder, paths, int(paths.size()));
    AppContext context;
    DuplicatesView view(context, &finder);
    view.show();
    ASSERT_TRUE(
        test::eventually([&] { return finder.phase() == DuplicateFinder::Phase::finished(); }));
    ASSERT_EQ(view.scanButton()->text().trimmed(), "Scan Again");

    // What the hero shows at each phase of the new scan, read after the
    // screen took the change in.
    struct Seen {
        DuplicateFinder::Phase phase;
        bool isBarShown;
        int value;
        int maximum;
        QString detail;
    };
    QList<Seen> seen;
    QObject::connect(&finder, &DuplicateFinder::phaseChanged, &view, [&] {
        seen.append({finder.phase(), view.progressBar()->isVisible(), view.progressBar()->value(),
                     view.progressBar()->maximum(), view.heroDetail()});
    });
    {
        // Hashing six small files can end before the screen has heard of any
        // of them, and then the answer overtakes every count. Held until the
        // scan's answer is awaited, the counts reach the screen first.
        HeldPool hashing(background::Pool::hashing);
        view.scanButton()->click();
        ASSERT_TRUE(test::eventually(
            [&] { return finder.phase().kind == DuplicateFinder::Phase::Kind::hashing; }));
    }
    ASSERT_TRUE(
        test::eventually([&] { return finder.phase() == DuplicateFinder::Phase::finished(); }));

    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.front().phase, DuplicateFinder::Phase::gathering());
    EXPECT_TRUE(seen.front().isBarShown);
    bool sawMidway = false;
    for (const Seen& s : std::as_const(seen)) {
        if (s.phase.kind != DuplicateFinder::Phase::Kind::hashing) continue;
        EXPECT_TRUE(s.isBarShown);
        EXPECT_EQ(s.value, s.phase.done);
        EXPECT_EQ(s.maximum, s.phase.total);
        if (s.phase.total == 6 && s.phase.done > 0 && s.phase.done < 6) {
            sawMidway = true;
            EXPECT_EQ(s.detail, QStringLiteral("%1 of 6 candidates checked").arg(s.phase.done));
        }
    }
    EXPECT_TRUE(sawMidway);
    EXPECT_FALSE(view.progressBar()->isVisible());
}

// A group whose kept copy no longer holds what its extra holds stays where it
// is, and the toast says which and why; the other group goes to the Trash.
TEST(DuplicatesView, TheToastNamesAGroupLeftAlone)
{
    test::TestHome home;
    const QString a1 = home.writeFile("Documents/a.bin", QByteArray(60000, 'a'), 1000);
    const QString a2 = home.writeFile("Downloads/a.bin", QByteArray(60000, 'a'), 500);
    const QString b1 = home.writeFile("Documents/b.bin", QByteArray(61000, 'b'), 1000);
    const QString b2 = home.writeFile("Downloads/b.bin", QByteArray(61000, 'b'), 500);
    Trash trash;
    DuplicateFinder finder(nullptr, &trash);
    gatherFrom(finder, {a1, a2, b1, b2}, 4);
    AppState state;
    AppContext context;
    context.state = &state;
    DuplicatesView view(context, &finder);
    view.show();
    ASSERT_TRUE(
        test::eventually([&] { return finder.phase() == DuplicateFinder::Phase::finished(); }));
    ASSERT_EQ(finder.exact().size(), 2);

    // Edited in place, its modification time put back.
    struct stat before {};
    ASSERT_EQ(::lstat(QFile::encodeName(a1).constData(), &before), 0);
    const int fd = ::open(QFile::encodeName(a1).constData(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, "x", 1, 100), 1);
    ::close(fd);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(a1).constData(), times, 0), 0);

    view.trashAllButton()->click();
    ASSERT_TRUE(view.confirmation());
    for (QAbstractButton* button : view.confirmation()->buttons())
        if (view.confirmation()->buttonRole(button) == QMessageBox::DestructiveRole)
            button->click();
    ASSERT_TRUE(test::eventually([&] { return state.toast().has_value(); }));
    EXPECT_TRUE(state.toast()->message.startsWith("Moved 1 file to Trash · "));
    EXPECT_TRUE(state.toast()->message.endsWith(
        ". Left “a.bin” and its copies alone: the copies no longer match."));
    EXPECT_TRUE(QFile::exists(a2));
    EXPECT_FALSE(QFile::exists(b2));
    EXPECT_TRUE(finder.exact().isEmpty());
}

TEST(DuplicatesView, GroupsAreListedSixtyAtATime)
{
    test::TestHome home;
    QStringList paths;
    for (int g = 0; g < 130; ++g)
        for (int copy = 0; copy < 2; ++copy)
            paths.append(home.writeFile(QStringLiteral("d%1/f%2.bin").arg(copy).arg(g),
                                        QByteArray(100 + g, char('a' + g % 26))));
    Trash trash;
    DuplicateFinder finder(nullptr, &trash);
    gatherFrom(finder, paths, int(paths.size()));
    AppContext context;
    DuplicatesView view(context, &finder);
    view.show();
    ASSERT_TRUE(
        test::eventually([&] { return finder.phase() == DuplicateFinder::Phase::finished(); }));

    EXPECT_EQ(view.heroDetail(), "130 extra copies in 130 groups");
    EXPECT_EQ(view.tabTitle(DuplicatesView::Tab::exact), "Exact Copies  130");
    EXPECT_EQ(view.cards().size(), 60);
    EXPECT_EQ(view.showMoreButton()->text(), "Show 60 More");
    view.showMoreButton()->click();
    EXPECT_EQ(view.cards().size(), 120);
    EXPECT_EQ(view.showMoreButton()->text(), "Show 10 More");
    view.showMoreButton()->click();
    EXPECT_EQ(view.cards().size(), 130);
    EXPECT_TRUE(view.showMoreButton()->isHidden());
    view.setTab(DuplicatesView::Tab::similar);
    EXPECT_TRUE(view.cards().isEmpty());
    view.setTab(DuplicatesView::Tab::exact);
    EXPECT_EQ(view.cards().size(), 60);

    // One group's extras through its card: the group goes, the rest stay listed.
    const QUuid first = finder.exact().front().id;
    view.cards().front()->trashButton()->click();
    ASSERT_TRUE(test::eventually([&] { return finder.exact().size() == 129; }));
    EXPECT_NE(finder.exact().front().id, first);
    EXPECT_EQ(view.cards().size(), 60);
    EXPECT_EQ(view.heroDetail(), "129 extra copies in 129 groups");
}

} // namespace ovra
