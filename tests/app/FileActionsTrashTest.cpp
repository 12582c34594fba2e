#include "app/AboutDialog.h"
#include "app/OvraApplication.h"
#include "app/OvraCommands.h"
#include "browser/FileBrowser.h"
#include "browser/GalleryCard.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "library/Trash.h"
#include "services/TextIndex.h"
#include "ui/FileActions.h"

#include "platform/LibraryNotices.h"
#include "platform/UserFile.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

FileItem itemAt(const QString& path)
{
    // Read here as a store's pool thread would.
    const UserFile::AllowOnThisThread reading;
    return *FileItem::fromPath(path);
}

QString trashFolder()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
}

bool inTrash(const QString& name)
{
    return QFile::exists(trashFolder() + QStringLiteral("/files/") + name) &&
           QFile::exists(trashFolder() + QStringLiteral("/info/") + name +
                         QStringLiteral(".trashinfo"));
}

// A text index file, as earlier versions kept it, that knows the text of these files.
void writeTextIndex(const QStringList& paths)
{
    QJsonObject index;
    for (const QString& path : paths)
        index.insert(path, QJsonObject{{"modified", 0.0}, {"text", "words"}});
    QDir().mkpath(QFileInfo(TextIndex::fileLocation()).path());
    QFile file(TextIndex::fileLocation());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(index).toJson());
}

} // namespace

// The Trash and every store that lists files

TEST(MoveToTrash, OnlyWhatReachedTheTrashLeavesEveryStoreAndNothingIsDeleted)
{
    test::TestHome home;
    const QString a = home.writeFile("Documents/a.txt", "a");
    const QString b = home.writeFile("Documents/b.txt", "b");
    const QString c = home.writeFile("Documents/c.txt", "c");
    const QString missing = home.path("Documents/missing.txt");
    writeTextIndex({a, b, c});

    OvraApplication ovra;
    const AppContext& context = ovra.context();
    AppState& state = *context.state;
    ASSERT_TRUE(test::eventually([&] { return context.textIndex->hasLoaded(); }));
    // One file refuses to move, as a file on a read-only disk would.
    context.trash->setMoveOne([b](const QString& path, const EntryIdentity& seen) {
        if (path == b) return FreedesktopTrash::Result{false, QStringLiteral("it is locked"), {}};
        return FreedesktopTrash().move(path, seen);
    });
    const QList<FileItem> items{itemAt(a), itemAt(b), itemAt(c)};
    state.setSelectedFiles({a, b, c});
    state.setFocusedItem(items[0]);
    state.preview(items[2], items);

    FileItem gone;
    gone.path = missing;
    auto future = FileActions::trash(*context.trash, items + QList<FileItem>{gone});
    ASSERT_TRUE(test::eventually([&] { return future.isFinished(); }));
    const Trash::Outcome outcome = future.result();

    EXPECT_EQ(outcome.moved, (QSet<QString>{a, c}));
    EXPECT_EQ(outcome.failed, (QStringList{b, missing}));
    EXPECT_EQ(outcome.reasons.value(b), "it is locked");
    EXPECT_EQ(outcome.reasons.value(missing), "it no longer exists");
    EXPECT_EQ(outcome.movedBytes, 2);
    EXPECT_TRUE(inTrash("a.txt"));
    EXPECT_TRUE(inTrash("c.txt"));
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_TRUE(QFile::exists(b)); // refused, and kept where it was
    EXPECT_FALSE(inTrash("b.txt"));

    EXPECT_EQ(state.selectedFiles(), QSet<QString>{b});
    EXPECT_EQ(state.focusedItem(), std::nullopt);
    EXPECT_EQ(state.previewItem(), std::nullopt);
    EXPECT_EQ(state.previewList(), QList<FileItem>{items[1]});
    EXPECT_FALSE(context.textIndex->entries().contains(a));
    EXPECT_FALSE(context.textIndex->entries().contains(c));
    EXPECT_TRUE(context.textIndex->entries().contains(b));
}

// Menu commands

namespace {

class FakePlayer : public PlayerSummary {
public:
    bool hasCurrent() const override { return true; }
    bool isPlaying() const override { return playing; }
    void togglePlay() override
    {
        playing = !playing;
        emit changed();
    }
    double volume() const override { return level; }
    void setVolume(double volume) override { level = volume; }
    bool playing = false;
    double level = 0.8;
};

struct CommandsFixture {
    test::TestHome home;
    AppState state;
    FakePlayer player;
    QMainWindow window;
    OvraCommands* commands;

    CommandsFixture()
    {
        AppContext context;
        context.state = &state;
        context.player = &player;
        commands = new OvraCommands(context, window.menuBar());
    }
};

} // namespace

TEST(MenuCommands, BackOwnsCtrlBracketAndGoesUpOneLevel)
{
    CommandsFixture f;
    QAction* back = f.commands->action("Back");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_BracketLeft));
    int owners = 0;
    for (QAction* action : f.window.findChildren<QAction*>())
        owners += action->shortcuts().contains(back->shortcut());
    EXPECT_EQ(owners, 1);

    f.state.setFolderPath({"/a", "/a/b"});
    back->trigger();
    EXPECT_EQ(f.state.folderPath(), QStringList{"/a"});
}

TEST(MenuCommands, AltLeftAndTheMouseBackButtonGoBackToo)
{
    CommandsFixture f;
    QAction* back = f.commands->action("Back");
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->shortcuts().contains(QKeySequence(QKeySequence::Back)));
    int owners = 0;
    for (QAction* action : f.window.findChildren<QAction*>())
        owners += action->shortcuts().contains(QKeySequence(QKeySequence::Back));
    EXPECT_EQ(owners, 1);

    f.window.resize(400, 300);
    f.window.show();
    f.state.setFolderPath({"/a", "/a/b", "/a/b/c"});
    QWidget* inside = f.window.centralWidget() ? f.window.centralWidget() : &f.window;
    QTest::mouseClick(inside, Qt::BackButton);
    EXPECT_EQ(f.state.folderPath(), (QStringList{"/a", "/a/b"}));
    // Other buttons are the widgets' own.
    QTest::mouseClick(inside, Qt::LeftButton);
    EXPECT_EQ(f.state.folderPath(), (QStringList{"/a", "/a/b"}));
}

TEST(MenuCommands, AboutNamesTheAppItsVersionAndEveryLibraryWithItsLicence)
{
    CommandsFixture f;
    QAction* about = f.commands->action("About Ovra");
    ASSERT_NE(about, nullptr);
    about->trigger();
    auto* dialog = f.window.findChild<AboutDialog*>();
    ASSERT_NE(dialog, nullptr);
    QStringList texts;
    for (const QLabel* label : dialog->findChildren<QLabel*>())
        texts.append(label->text());
    EXPECT_TRUE(texts.contains(QStringLiteral("Ovra")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Version ") + applicationVersion()));
    for (const LibraryNotice& notice : libraryNotices()) {
        EXPECT_FALSE(notice.version.isEmpty()) << notice.name.toStdString();
        EXPECT_TRUE(texts.contains(notice.name)) << notice.name.toStdString();
        EXPECT_TRUE(texts.contains(notice.licence)) << notice.name.toStdString();
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Qt")));
    dialog->close();
}

TEST(MenuCommands, GoShowsItsPlaceOverASearchAndListsTheFoldersByRole)
{
    CommandsFixture f;
    f.home.makeFolder("Filme");
    f.home.writeFile(".config/user-dirs.dirs", "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    f.state.setSearchText("cats");
    f.commands->action("Duplicates")->trigger();
    EXPECT_EQ(f.state.selection(), SidebarItem::duplicates());
    EXPECT_TRUE(f.state.searchText().isEmpty());

    // The folders are read again on a refresh; the read made at start may
    // still be on its way, so wait for the one that sees the new settings.
    f.state.setRefreshToken(RefreshToken(1));
    ASSERT_TRUE(test::eventually([&] {
        const QList<QAction*> shown = f.commands->locationActions();
        return shown.size() == 7 && shown[5]->text() == "Filme";
    }));
    const QList<QAction*> locations = f.commands->locationActions();
    f.state.setSearchText("cats");
    locations[5]->trigger();
    EXPECT_TRUE(f.state.searchText().isEmpty());
    const std::optional<SidebarItem> selection = f.state.selection();
    ASSERT_TRUE(selection.has_value());
    const Location* chosen = selection->as<Location>();
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->path, f.home.path("Filme"));
}

TEST(MenuCommands, ControlsFollowThePlayerAndStepTheVolume)
{
    CommandsFixture f;
    QAction* play = f.commands->action("Play");
    ASSERT_NE(play, nullptr);
    play->trigger();
    EXPECT_EQ(play->text(), "Pause");
    for (int i = 0; i < 8; ++i)
        f.commands->action("Volume Down")->trigger();
    EXPECT_EQ(f.player.level, 0.0);
    f.commands->action("Volume Up")->trigger();
    EXPECT_EQ(f.player.level, 0.1);

    f.commands->action("Find…")->trigger();
    EXPECT_EQ(f.state.focusSearchToken(), 1);
    f.commands->action("Refresh")->trigger();
    EXPECT_EQ(f.state.refreshToken(), RefreshToken(1));
}

// End to end

// The real window, offscreen: three files selected in the Images collection
// go to the Trash from the context menu, and leave the collection, its count
// and its size.
TEST(EndToEnd, ThreeSelectedFilesMovedToTheTrashFromTheContextMenu)
{
    test::TestHome home;
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths << home.writeFile(QStringLiteral("Pictures/photo%1.png").arg(i),
                                test::pngBytes(40 + i, 30), 1'700'000'000 + i);
    }
    OvraApplication ovra;
    const AppContext& context = ovra.context();
    QMainWindow* window = ovra.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window, int(test::kPatience.count())));
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    auto loaded = [&] { return context.library->collections().contains(images); };
    ASSERT_TRUE(test::eventually(loaded));
    const SpotlightResult before = context.library->collections().value(images);
    ASSERT_EQ(before.totalCount, 5);

    context.state->setSelection(images);
    FileBrowser* browser = nullptr;
    ASSERT_TRUE(test::eventually([&] {
        browser = window->findChild<FileBrowser*>();
        return browser && browser->isVisible() && browser->tileWidget(paths[0]);
    }));
    const QStringList chosen{paths[0], paths[2], paths[4]};
    QTest::mouseClick(
        browser->tileWidget(chosen[0]), Qt::LeftButton, {},
        static_cast<GalleryCard*>(browser->tileWidget(chosen[0]))->cardRect().center());
    for (const QString& path : chosen.mid(1)) {
        auto* card = static_cast<GalleryCard*>(browser->tileWidget(path));
        QTest::mouseClick(card, Qt::LeftButton, Qt::ControlModifier, card->cardRect().center());
    }
    ASSERT_EQ(context.state->selectedFiles(), QSet<QString>(chosen.cbegin(), chosen.cend()));

    auto* card = static_cast<GalleryCard*>(browser->tileWidget(chosen[1]));
    const QPoint at = card->cardRect().center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, card->mapToGlobal(at));
    QApplication::sendEvent(card, &rightClick);
    QMenu* menu = nullptr;
    ASSERT_TRUE(test::eventually(
        [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
    QAction* trash = menu->findChild<QAction*>("Move to Trash");
    ASSERT_NE(trash, nullptr);
    EXPECT_NE(menu->findChild<QAction*>("Open 3 Items"), nullptr);
    trash->trigger();
    menu->close();

    ASSERT_TRUE(test::eventually(
        [&] { return context.library->collections().value(images).totalCount == 2; }));
    const SpotlightResult after = context.library->collections().value(images);
    qint64 trashedSize = 0;
    for (const FileItem& item : before.items)
        if (chosen.contains(item.path)) trashedSize += item.size;
    EXPECT_EQ(after.totalSize, before.totalSize - trashedSize);
    for (const FileItem& item : after.items)
        EXPECT_FALSE(chosen.contains(item.path));
    for (const QString& path : chosen) {
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_TRUE(inTrash(QFileInfo(path).fileName()));
    }
    EXPECT_TRUE(context.state->selectedFiles().isEmpty());
    // The screen follows: the browser lists the two files left.
    ASSERT_TRUE(test::eventually([&] { return browser->content().shown.size() == 2; }));
}
