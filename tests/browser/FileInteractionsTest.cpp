#include "BrowserFixtures.h"
#include "browser/AppFileInteractions.h"
#include "browser/FileBrowser.h"
#include "browser/FileContextMenu.h"
#include "library/Trash.h"
#include "platform/UserFile.h"
#include "support/Wait.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;

namespace {

using Titles = QStringList;

FileItem typed(const QString& name, FileCategory category, const char* mimeType)
{
    FileItem item = file(name, category);
    item.contentType = UniformType::forMimeType(QLatin1String(mimeType));
    return item;
}

class FakePlayer : public PlayerSummary {
public:
    bool hasCurrent() const override { return false; }
    void play(const FileItem& item, const QList<FileItem>& list) override
    {
        played << item.name;
        queue = list;
    }
    QStringList played;
    QList<FileItem> queue;
};

// Catches what would go to the default application.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList paths;
public slots:
    void open(const QUrl& url) { paths << url.toLocalFile(); }
};

} // namespace

// The menu as a model of its targets

TEST(FileContextMenuModel, SeveralTargetsGetTheCountedEntriesAndNoSingleOnes)
{
    const QList<FileItem> targets{file("a.txt"), file("b.txt"), file("c.txt")};
    const FileContextMenuModel model = fileContextMenuModel(targets, {}, true, std::nullopt);
    EXPECT_EQ(model.titles(), (Titles{"Open 3 Items", "-", "Show in Folder", "Copy", "Copy Path",
                                      "-", "Move to Trash"}));
    EXPECT_TRUE(model.entries.last().destructive);
}

TEST(FileContextMenuModel, APinnedFolder)
{
    const FileItem dir = folder("Dir");
    EXPECT_EQ(fileContextMenuModel({dir}, {dir.path}, true, QStringLiteral("Web")).titles(),
              (Titles{"Open", "Open with Default App", "-", "Show in Folder", "Remove from Sidebar",
                      "Copy", "Copy Path", "-", "Move to Trash"}));
    EXPECT_TRUE(
        fileContextMenuModel({dir}, {}, true, std::nullopt).titles().contains("Pin to Sidebar"));
}

TEST(FileContextMenuModel, MusicPlaysWhereThereIsAPlayer)
{
    const FileItem song = file("s.mp3", FileCategory::music);
    EXPECT_EQ(fileContextMenuModel({song}, {}, true, std::nullopt).titles().mid(0, 3),
              (Titles{"Play", "Preview", "Open with Default App"}));
    EXPECT_FALSE(fileContextMenuModel({song}, {}, false, std::nullopt).titles().contains("Play"));
}

TEST(FileContextMenuModel, CopyTextCountsOnlyReadableTargets)
{
    const FileItem a = typed("a.png", FileCategory::images, "image/png");
    const FileItem b = typed("b.png", FileCategory::images, "image/png");
    const FileItem svg = typed("c.svg", FileCategory::images, "image/svg+xml");
    const FileContextMenuModel three = fileContextMenuModel({a, svg, b}, {}, true, std::nullopt);
    EXPECT_TRUE(three.titles().contains("Copy Text from 2 Files"));
    EXPECT_EQ(three.readable, (QList<FileItem>{a, b}));

    EXPECT_FALSE(
        fileContextMenuModel({svg}, {}, true, std::nullopt).titles().contains("Copy Text"));

    const FileItem pdf = typed("d.pdf", FileCategory::documents, "application/pdf");
    const Titles titles = fileContextMenuModel({pdf}, {}, true, std::nullopt).titles();
    EXPECT_EQ(titles.mid(0, 2), (Titles{"Preview", "Open with Default App"}));
    EXPECT_TRUE(titles.contains("Copy Text"));
}

TEST(FileContextMenuModel, TheDownloadSourceEntryIsForOneFileOnly)
{
    const FileItem a = file("a.zip", FileCategory::archives);
    const Titles one = fileContextMenuModel({a}, {}, true, QStringLiteral("GitHub")).titles();
    EXPECT_EQ(one.at(one.size() - 3), "Show All from GitHub");
    EXPECT_FALSE(
        fileContextMenuModel({a}, {}, true, std::nullopt).titles().filter("Show All from").size());
    EXPECT_FALSE(fileContextMenuModel({a, file("b")}, {}, true, QStringLiteral("GitHub"))
                     .titles()
                     .filter("Show All from")
                     .size());
    EXPECT_TRUE(fileContextMenuModel({}, {}, true, std::nullopt).entries.isEmpty());
}

TEST(FileContextMenuModel, TargetsAreTheSelectionOnlyWhenTheClickedFileIsPartOfIt)
{
    AppFixture app;
    const QList<FileItem> list{file("a"), file("b"), file("c"), file("d")};
    app.state.setSelectedFiles({"/t/a", "/t/b", "/t/c"});
    FileContextMenu outside(app.context, app.state.targets(list[3], list), list);
    QMenu* menu = outside.build();
    EXPECT_TRUE(menu->findChild<QAction*>("Preview")); // the single-file entries
    delete menu;
    const QList<FileItem> inside = app.state.targets(list[1], list);
    EXPECT_EQ(inside.size(), 3);
    EXPECT_EQ(app.state.selectedFiles().size(), 3); // building the menu selects nothing
}

// Opening by category

TEST(FileInteractionsOpen, DoubleClickAndReturnOpenByCategory)
{
    AppFixture app;
    FakePlayer player;
    OpenedUrls opened;
    app.context.player = &player;
    AppFileInteractions interactions(app.context);
    const QList<FileItem> list{file("a.png", FileCategory::images),
                               file("s.mp3", FileCategory::music),
                               file("x.zip", FileCategory::archives), folder("Dir")};

    interactions.open(list[0], list);
    ASSERT_TRUE(app.state.previewItem().has_value());
    EXPECT_EQ(app.state.previewItem()->name, "a.png");
    app.state.setPreviewItem(std::nullopt);

    interactions.open(list[2], list);
    EXPECT_EQ(opened.paths, QStringList{"/t/x.zip"});
    EXPECT_FALSE(app.state.previewItem().has_value());

    interactions.open(list[3], list);
    ASSERT_TRUE(app.state.selection() && app.state.selection()->as<Location>());

    // Return in the browser reaches the same rule: the song plays with its list.
    FileBrowser browser(app.context);
    browser.setSourceLookup({});
    browser.setInteractions(&interactions);
    BrowserInput input;
    input.items = list;
    browser.setInput(input);
    browser.resize(900, 700);
    browser.show();
    QApplication::setActiveWindow(&browser);
    browser.refreshNow();
    ASSERT_TRUE(settled(browser));
    browser.setFocus();
    app.state.select(list[1], {});
    QTest::keyClick(&browser, Qt::Key_Return);
    EXPECT_EQ(player.played, QStringList{"s.mp3"});
    EXPECT_EQ(player.queue.size(), 4); // the shown list; the player queues its music

    // Without a player, a song opens in its application.
    EXPECT_EQ(openRule(FileCategory::music, false), OpenRule::openExternally);
    EXPECT_EQ(openRule(FileCategory::code, false), OpenRule::preview);
    EXPECT_EQ(openRule(FileCategory::apps, true), OpenRule::openExternally);
}

// A move from the menu that leaves files behind says which and why; one that
// moves everything says nothing.
TEST(FileContextMenuTrash, ARefusalIsToldAndAFullMoveIsNot)
{
    AppFixture app;
    Trash trash;
    app.context.trash = &trash;
    const auto seenAt = [](const QString& path) {
        const UserFile::AllowOnThisThread reading; // as a store's pool thread
        return *FileItem::fromPath(path);
    };
    const QString picked = app.home.writeFile("Documents/picked.txt", "p");
    const FileItem pickedItem = seenAt(picked);
    const FileItem other = seenAt(app.home.writeFile("Documents/other.txt", "o"));
    const FileItem last = seenAt(app.home.writeFile("Documents/last.txt", "l"));
    // The picked file was replaced by a folder while the menu was open.
    ASSERT_TRUE(QFile::remove(picked));
    ASSERT_TRUE(QDir().mkpath(picked));

    QStringList toasts;
    QObject::connect(&app.state, &AppState::toastChanged, [&] {
        if (app.state.toast()) toasts << app.state.toast()->message;
    });
    const auto trashFromMenu = [&](const QList<FileItem>& targets) {
        const RefreshToken token = app.state.refreshToken();
        FileContextMenu menu(app.context, targets, targets);
        menu.run(fileContextMenuModel(targets, {}, false, std::nullopt),
                 FileContextMenuEntry::Action::moveToTrash);
        return test::eventually([&] { return app.state.refreshToken() > token; });
    };

    ASSERT_TRUE(trashFromMenu({pickedItem}));
    EXPECT_EQ(toasts, QStringList{"Couldn't move “picked.txt” to the Trash: it has been "
                                  "replaced by a folder"});
    EXPECT_TRUE(QFileInfo(picked).isDir());

    toasts.clear();
    ASSERT_TRUE(trashFromMenu({other}));
    EXPECT_TRUE(toasts.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(other.path));

    ASSERT_TRUE(trashFromMenu({pickedItem, last}));
    EXPECT_EQ(toasts, QStringList{"Moved 1 of 2 items to the Trash; “picked.txt” stayed: it has "
                                  "been replaced by a folder"});
}

#include "FileInteractionsTest.moc"
