#include "ui/FileActions.h"
#include "library/AppState.h"
#include "ui/Commands.h"
#include "ui/StandardFolders.h"

#include "platform/UserFile.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

using namespace ovra;

namespace {

FileItem item(const QString& path, FileCategory category = FileCategory::documents)
{
    FileItem f;
    f.path = path;
    f.name = path.section(u'/', -1);
    f.category = category;
    return f;
}

} // namespace

// What a paste in the desktop's file manager, or in a text field, receives.
TEST(Clipboard, CopyOffersUrisTheFileManagersCopyListAndPaths)
{
    const QList<FileItem> files{item(QStringLiteral("/h/a b.png")),
                                item(QStringLiteral("/h/c.pdf"))};
    FileActions::copy(files);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->urls(), (QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/h/a b.png")),
                                         QUrl::fromLocalFile(QStringLiteral("/h/c.pdf"))}));
    EXPECT_TRUE(data->hasFormat(QStringLiteral("text/uri-list")));
    // "copy", never "cut": a paste there copies and leaves the user's file in place.
    EXPECT_EQ(data->data(QStringLiteral("x-special/gnome-copied-files")),
              QByteArray("copy\nfile:///h/a%20b.png\nfile:///h/c.pdf"));
    EXPECT_EQ(data->text(), QStringLiteral("/h/a b.png\n/h/c.pdf"));
}

TEST(Clipboard, CopyPathIsPlainTextOnePathALineWithoutATrailingBreak)
{
    FileActions::copyPath({item(QStringLiteral("/h/one")), item(QStringLiteral("/h/two"))});
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->text(), QStringLiteral("/h/one\n/h/two"));
    EXPECT_FALSE(data->hasUrls());

    FileActions::copyPath({});
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
}

TEST(Clipboard, ADragCarriesTheFileUrl)
{
    std::unique_ptr<QMimeData> data(FileActions::dragMimeData(item(QStringLiteral("/h/x.zip"))));
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/h/x.zip"))});
}

// With no launcher and no file manager on the machine, opening or showing a
// file must not fail in silence.
struct NoDesktop {
    NoDesktop()
        : path(qgetenv("PATH"))
        , bus(qgetenv("DBUS_SESSION_BUS_ADDRESS"))
    {
        qputenv("PATH", home.root().toLocal8Bit());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.root().toLocal8Bit() + "/no-bus");
    }
    ~NoDesktop()
    {
        qputenv("PATH", path);
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    }
    test::TestHome home;
    QByteArray path;
    QByteArray bus;
};

TEST(DesktopHandOver, AFileNoApplicationOpensIsNamedInAToast)
{
    NoDesktop desktop;
    AppState state;
    FileActions::openExternally(state, {item(QStringLiteral("/h/setup.run"))});
    ASSERT_TRUE(state.toast());
    EXPECT_EQ(
        state.toast()->message,
        QStringLiteral("Couldn\u2019t open \u201Csetup.run\u201D: no application is set up to "
                       "open it"));

    state.setToast(std::nullopt);
    FileActions::openExternally(
        state, {item(QStringLiteral("/h/a.run")), item(QStringLiteral("/h/b.run"))});
    ASSERT_TRUE(state.toast());
    EXPECT_TRUE(state.toast()->message.startsWith(QStringLiteral("Couldn\u2019t open 2 items")));
}

TEST(DesktopHandOver, AFolderNothingCanShowIsNamedInAToast)
{
    NoDesktop desktop;
    AppState state;
    FileActions::reveal(state, {item(QStringLiteral("/h/report.pdf"))});
    ASSERT_TRUE(test::eventually([&] { return state.toast().has_value(); }));
    EXPECT_EQ(
        state.toast()->message,
        QStringLiteral("Couldn\u2019t show \u201Creport.pdf\u201D: no file manager is set up"));
}

TEST(VolumeSteps, StayWithinZeroAndOneOnAGridOfHundredths)
{
    double volume = 0.8;
    volume = Commands::volumeUp(volume);
    EXPECT_EQ(volume, 0.9);
    volume = Commands::volumeUp(volume);
    EXPECT_EQ(volume, 1.0);
    EXPECT_EQ(Commands::volumeUp(volume), 1.0);

    volume = 0.8;
    for (int i = 0; i < 8; ++i)
        volume = Commands::volumeDown(volume);
    EXPECT_EQ(volume, 0.0);
    EXPECT_EQ(Commands::volumeDown(volume), 0.0);
    // A value set elsewhere off the grid comes back onto it.
    EXPECT_EQ(Commands::volumeDown(0.456), 0.36);
}

TEST(Back, GoesUpOneFolderAtATimeAndThenDoesNothing)
{
    test::TestHome home;
    AppState state;
    const SidebarItem location =
        SidebarItem::location({home.root(), QStringLiteral("Home"), QStringLiteral("house")});
    state.setSelection(location);
    state.setFolderPath({QStringLiteral("/a"), QStringLiteral("/a/b"), QStringLiteral("/a/b/c")});
    int changes = 0;
    QObject::connect(&state, &AppState::folderPathChanged, [&] { ++changes; });
    for (int i = 0; i < 4; ++i)
        Commands::back(state);
    EXPECT_TRUE(state.folderPath().isEmpty());
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(state.selection(), location);
}

TEST(CopyTextTargets, PreviewThenSelectionThenFocus)
{
    test::TestHome home;
    AppState state;
    EXPECT_TRUE(Commands::copyTextTargets(state).items.isEmpty());
    EXPECT_TRUE(Commands::copyTextTargets(state).pathsToRead.isEmpty());

    const FileItem focused = item(home.writeFile(QStringLiteral("f.png")), FileCategory::images);
    state.setFocusedItem(focused);
    EXPECT_EQ(Commands::copyTextTargets(state).items, QList<FileItem>{focused});

    const QString kept = home.writeFile(QStringLiteral("b.png"));
    const QString gone = home.path(QStringLiteral("gone.png"));
    state.setSelectedFiles({kept, gone});
    const Commands::CopyTextTargets selected = Commands::copyTextTargets(state);
    EXPECT_TRUE(selected.items.isEmpty());
    EXPECT_EQ(selected.pathsToRead.size(), 2);
    // A selected file that no longer exists is left out. The paths are read
    // here as the command's pool thread reads them.
    const UserFile::AllowOnThisThread reading;
    const QList<FileItem> read = Commands::readItems(selected.pathsToRead);
    ASSERT_EQ(read.size(), 1);
    EXPECT_EQ(read.first().path, kept);

    const FileItem previewed = item(home.writeFile(QStringLiteral("p.pdf")));
    state.preview(previewed, {previewed});
    EXPECT_EQ(Commands::copyTextTargets(state).items, QList<FileItem>{previewed});
    EXPECT_TRUE(Commands::copyTextTargets(state).pathsToRead.isEmpty());
}

// The standard folders are the user-dirs roles, whatever their names.
TEST(StandardFolders, ChosenByRoleSoRenamedAndLocalisedFoldersCount)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    home.makeFolder(QStringLiteral("Filme"));
    home.makeFolder(QStringLiteral("Bilder"));
    home.writeFile(QStringLiteral(".config/user-dirs.dirs"),
                   "XDG_PICTURES_DIR=\"$HOME/Bilder\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    QStringList paths;
    for (const Location& location : StandardFolders::byRole())
        paths.append(location.path);
    const QStringList expected{
        home.path(QStringLiteral("Desktop")),   home.path(QStringLiteral("Documents")),
        home.path(QStringLiteral("Downloads")), home.path(QStringLiteral("Bilder")),
        home.path(QStringLiteral("Filme")),     home.path(QStringLiteral("Music"))};
    EXPECT_EQ(paths, expected);
    const QList<Location> go = StandardFolders::goLocations();
    ASSERT_EQ(go.size(), 7);
    EXPECT_EQ(go.first().path, Location::home());
}
