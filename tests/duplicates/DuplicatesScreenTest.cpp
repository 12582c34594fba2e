#include "app/OvraApplication.h"
#include "common/PhotoGenerator.h"
#include "duplicates/DuplicateFinder.h"
#include "duplicates/DuplicateGroupCard.h"
#include "duplicates/DuplicatesView.h"
#include "library/AppState.h"
#include "library/SidebarItem.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QAbstractButton>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <gtest/gtest.h>

namespace ovra {

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Screenshots for a person to look at, when asked for.
void keepPicture(QWidget* window, const QString& name)
{
    const QString dir = qEnvironmentVariable("OVRA_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QTest::qWait(1500); // thumbnails arrive
    window->grab().save(dir + u'/' + name);
}

// How many files outside the Trash hold each content.
QHash<QByteArray, int> contentsOf(const QString& root)
{
    QHash<QByteArray, int> counts;
    QDirIterator it(root, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        ++counts[QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)];
    }
    return counts;
}

DuplicateGroup groupOf(const QList<std::pair<QString, qint64>>& files)
{
    DuplicateGroup group;
    group.id = QUuid::createUuid();
    for (const auto& [path, size] : files) {
        FileItem item;
        item.path = path;
        item.name = path.section(u'/', -1);
        item.size = size;
        item.modified = 1.7e9;
        group.files.append(item);
        group.stamps.append(FileStamp{});
    }
    group.keep = group.files.front().path;
    return group;
}

} // namespace

TEST(DuplicateGroupCard, ShowsTheKeepChoiceAndReportsClicks)
{
    test::TestHome home;
    AppState state;
    QStringList kept;
    int trashed = 0;
    DuplicateGroupCard card(
        &state, false, [&](const QString& path) { kept.append(path); }, [&] { ++trashed; });
    card.setGroup(groupOf({{home.path("a.bin"), 1000},
                           {home.path("Pictures/a.bin"), 1000},
                           {home.path("Downloads/deep/a copy.bin"), 1000}}));
    card.resize(800, 220);
    card.show();

    EXPECT_EQ(card.keeperName(), "a.bin");
    EXPECT_TRUE(card.summaryText().startsWith("3 identical copies · "));
    EXPECT_TRUE(card.summaryText().endsWith(" can be freed"));
    EXPECT_EQ(card.trashButtonText(), "Keep 1, Trash 2");
    ASSERT_EQ(card.tiles().size(), 3);
    EXPECT_EQ(card.tiles()[0]->badgeText(), "Keep");
    EXPECT_EQ(card.tiles()[1]->badgeText(), "Trash");
    EXPECT_EQ(card.tiles()[0]->pathText(), "~/a.bin");
    EXPECT_EQ(card.tiles()[2]->pathText(), "…/deep/a copy.bin");

    // A click keeps the copy once no double click can follow; a double click
    // previews and keeps nothing.
    QTest::mouseClick(card.tiles()[1], Qt::LeftButton);
    EXPECT_TRUE(kept.isEmpty());
    ASSERT_TRUE(test::eventually([&] { return !kept.isEmpty(); }));
    EXPECT_EQ(kept, QStringList{home.path("Pictures/a.bin")});
    QTest::mouseDClick(card.tiles()[2], Qt::LeftButton);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    EXPECT_EQ(kept.size(), 1);
    ASSERT_TRUE(state.previewItem().has_value());
    EXPECT_EQ(state.previewItem()->path, home.path("Downloads/deep/a copy.bin"));

    card.trashButton()->click();
    EXPECT_EQ(trashed, 1);
}

// Copies often share their folder or their name: each tile shows enough of
// its path to tell it from the others, and "~" only for the home folder.
TEST(DuplicateGroupCard, EachTileTellsItsCopyApart)
{
    const QString home = QStringLiteral("/home/ann");
    const auto texts = [&](const QStringList& paths) { return distinguishingPaths(paths, home); };
    EXPECT_EQ(texts({"/home/ann/Downloads/a.bin", "/home/ann/Downloads/a (1).bin"}),
              (QStringList{"~/Downloads/a.bin", "~/Downloads/a (1).bin"}));
    EXPECT_EQ(texts({"/home/ann/Photos/2019/trip/IMG_1.jpg", "/home/ann/Backup/2019/trip/IMG_1.jpg",
                     "/home/ann/Photos/2020/trip/IMG_1.jpg"}),
              (QStringList{"~/Photos/2019/trip/IMG_1.jpg", "~/Backup/2019/trip/IMG_1.jpg",
                           "…/2020/trip/IMG_1.jpg"}));
    EXPECT_EQ(texts({"/home/ann/x/y/z/one.bin", "/home/ann/x/y/z/two.bin"}),
              (QStringList{"…/z/one.bin", "…/z/two.bin"}));
    // A neighbour of home whose name merely begins the same is not in it.
    EXPECT_EQ(texts({"/home/anna/a.bin", "/home/ann/a.bin", "/a.bin"}),
              (QStringList{"…/anna/a.bin", "~/a.bin", "/a.bin"}));
}

TEST(DuplicatesView, TextOfTheToast)
{
    EXPECT_EQ(DuplicatesView::toastMessage(1, 0).left(20), "Moved 1 file to Tras");
    EXPECT_TRUE(DuplicatesView::toastMessage(2, 2'000'000).startsWith("Moved 2 files to Trash · "));
    EXPECT_TRUE(DuplicatesView::toastMessage(2, 2'000'000).endsWith(" freed"));
}

// The whole road through the real window: a fixture home is scanned, every
// extra copy goes to the Trash, and exactly one copy of each content stays.
TEST(DuplicatesScreen, TrashAllExtrasLeavesOneCopyOfEverything)
{
    test::TestHome home;
    const QByteArray report = randomBytes(120'000, 1);
    const QByteArray song = randomBytes(300'000, 2);
    const QByteArray clip = randomBytes(90'000, 3);
    home.writeFile("Documents/report.pdf", report, 1.6e9);
    home.writeFile("Downloads/report.pdf", report, 1.5e9);
    home.writeFile("Desktop/report copy.pdf", report, 1.7e9);
    home.writeFile("Music/song.mp3", song, 1.6e9);
    home.writeFile("Downloads/song (1).mp3", song, 1.6e9);
    home.writeFile("Videos/clip.bin", clip, 1.6e9);
    home.writeFile("Documents/Old/clip.bin", clip, 1.6e9);
    home.writeFile("Documents/unique.bin", randomBytes(80'000, 4), 1.6e9);
    QByteArray decoy = clip;
    decoy[45'000] = char(decoy[45'000] ^ 1);
    home.writeFile("Documents/clip-decoy.bin", decoy, 1.6e9);
    // Look-alike photos: two scenes, each with a re-saved and a brightened copy.
    for (int scene = 0; scene < 2; ++scene) {
        const QImage photo = bench::scene(quint32(500 + scene), QSize(1200, 900));
        home.writeFile(QStringLiteral("Pictures/scene%1.jpg").arg(scene), bench::jpeg(photo, 92),
                       1.6e9);
        home.writeFile(QStringLiteral("Pictures/scene%1-small.jpg").arg(scene),
                       bench::jpeg(photo, 35), 1.6e9);
        home.writeFile(QStringLiteral("Pictures/scene%1-bright.jpg").arg(scene),
                       bench::jpeg(bench::variant(photo, bench::Variant::brighter), 90), 1.6e9);
    }

    OvraApplication app;
    QMainWindow* window = app.showWindow();
    auto* finder = static_cast<DuplicateFinder*>(app.context().duplicates);
    ASSERT_TRUE(finder);
    app.context().state->setSelection(SidebarItem::duplicates());
    DuplicatesView* view = nullptr;
    ASSERT_TRUE(test::eventually([&] { return (view = window->findChild<DuplicatesView*>()); }));
    ASSERT_TRUE(test::eventually([&] {
        return finder->phase() == DuplicateFinder::Phase::finished() && !finder->exact().isEmpty();
    }));
    EXPECT_EQ(finder->exact().size(), 3);
    EXPECT_EQ(view->heroDetail(), "4 extra copies in 3 groups");
    EXPECT_EQ(view->tabTitle(DuplicatesView::Tab::exact), "Exact Copies  3");
    keepPicture(window, "duplicates-exact.png");

    view->setTab(DuplicatesView::Tab::similar);
    EXPECT_EQ(view->heroTitle(), "Find look-alike photos");
    view->scanButton()->click();
    ASSERT_TRUE(test::eventually(
        [&] { return finder->similarPhase() == DuplicateFinder::Phase::finished(); }));
    EXPECT_EQ(finder->similar().size(), 2);
    keepPicture(window, "duplicates-similar.png");
    if (!view->cards().isEmpty()) {
        DuplicateGroupCard* card = view->cards().front();
        QTest::mouseClick(card->tiles().back(), Qt::LeftButton);
        (void)test::eventually([&] { return card->tiles().back()->isKeeper(); });
        EXPECT_TRUE(card->tiles().back()->isKeeper());
        if (!qEnvironmentVariable("OVRA_SCREENSHOT_DIR").isEmpty()) {
            QTest::qWait(1000);
            card->grab().save(qEnvironmentVariable("OVRA_SCREENSHOT_DIR") + "/duplicates-card.png");
        }
    }

    view->setTab(DuplicatesView::Tab::exact);
    view->trashAllButton()->click();
    QMessageBox* confirm = view->confirmation();
    ASSERT_TRUE(confirm);
    EXPECT_EQ(confirm->text(), "Move 4 files to the Trash?");
    QAbstractButton* move = nullptr;
    for (QAbstractButton* button : confirm->buttons())
        if (confirm->buttonRole(button) == QMessageBox::DestructiveRole) move = button;
    ASSERT_TRUE(move);
    move->click();
    // The groups leave as the Trash tells its stores; the toast follows once
    // the move's outcome is back.
    ASSERT_TRUE(test::eventually(
        [&] { return finder->exact().isEmpty() && app.context().state->toast().has_value(); }));
    EXPECT_TRUE(app.context().state->toast()->message.startsWith("Moved 4 files to Trash · "));
    EXPECT_EQ(view->heroTitle(), "No duplicates found");

    // Hidden folders (the Trash among them) are not the user's files.
    QHash<QByteArray, int> counts;
    for (const QString& folder : QDir(home.root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (auto [content, n] : contentsOf(home.path(folder)).asKeyValueRange())
            counts[content] += n;
    for (const QByteArray& content : {report, song, clip, decoy})
        EXPECT_EQ(counts.value(QCryptographicHash::hash(content, QCryptographicHash::Sha256)), 1);
    for (int n : std::as_const(counts))
        EXPECT_EQ(n, 1);
    EXPECT_EQ(QDir(home.path(".local/share/Trash/files")).entryList(QDir::Files).size(), 4);
    EXPECT_TRUE(QFile::exists(home.path("Documents/report.pdf")));
    EXPECT_TRUE(QFile::exists(home.path("Music/song.mp3")));
}

} // namespace ovra
