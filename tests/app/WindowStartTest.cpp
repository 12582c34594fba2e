#include "app/ContentView.h"
#include "app/OvraApplication.h"
#include "app/StartupPipeline.h"
#include "cleanup_views/CleanupSection.h"
#include "cleanup_views/SourceViews.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"

#include "support/ChildProcesses.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>

#include <unistd.h>

using namespace ovra;

namespace {

// Notes whether the window's content existed when the window first painted.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QMainWindow*& window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
    }
    ~FirstPaint() override { qApp->removeEventFilter(this); }

    bool hasPainted = false;
    bool hadContent = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!hasPainted && m_window && event->type() == QEvent::Paint && widget &&
            widget->window() == m_window) {
            hasPainted = true;
            hadContent = m_window->findChild<ContentView*>() != nullptr;
        }
        return false;
    }

private:
    QMainWindow*& m_window;
};

} // namespace

TEST(WindowStart, TheWindowPaintsBeforeItsContentIsBuiltWhileTheCollectionsAlreadyLoad)
{
    test::TestHome home;
    for (int i = 0; i < 3; ++i)
        home.writeFile(QStringLiteral("Pictures/photo%1.png").arg(i), test::pngBytes(40 + i, 30));
    home.writeFile(QStringLiteral("Documents/notes.txt"), "notes");

    OvraApplication ovra;
    LibraryStore& library = *ovra.context().library;
    QSignalSpy answers(&library, &LibraryStore::collectionsChanged);
    QMainWindow* window = nullptr;
    FirstPaint firstPaint(window);
    // What was loading when the content view was made.
    QList<SidebarItem> loadingAtContent;
    QObject watching;
    QObject::connect(&library, &LibraryStore::loadingChanged, &watching, [&] {
        if (!loadingAtContent.isEmpty() || !window || window->findChild<ContentView*>()) return;
        if (library.loading().size() == StartupPipeline::startupList().size())
            loadingAtContent = StartupPipeline::startupList();
    });
    window = ovra.showWindow();

    EXPECT_EQ(window->findChild<ContentView*>(), nullptr);
    EXPECT_EQ(ovra.commands(), nullptr);

    ContentView* content = nullptr;
    ASSERT_TRUE(test::eventually(
        [&] { return (content = window->findChild<ContentView*>()) && content->isVisible(); }));
    EXPECT_TRUE(firstPaint.hasPainted);
    EXPECT_FALSE(firstPaint.hadContent) << "the first frame waits for nothing to be built";
    EXPECT_NE(ovra.commands(), nullptr);
    EXPECT_EQ(loadingAtContent, StartupPipeline::startupList())
        << "all nine collections load before the content is built";
    // The home screen has its sections of cleanup suggestions and download sources.
    EXPECT_NE(window->findChild<CleanupSection*>(), nullptr);
    EXPECT_NE(window->findChild<SourcesSection*>(), nullptr);

    ASSERT_TRUE(content->pipeline());
    QSignalSpy finished(content->pipeline(), &StartupPipeline::finished);
    ASSERT_TRUE(test::eventually([&] { return !finished.isEmpty(); }));
    EXPECT_EQ(content->pipeline()->token(), ovra.context().state->refreshToken().value());
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    EXPECT_EQ(library.collections().value(images).totalCount, 3);
    // The pipeline waited for the loads the window started: none ran twice.
    EXPECT_EQ(answers.count(), StartupPipeline::startupList().size());
}

TEST(WindowStart, AWindowThatIsNeverPaintedStillGetsItsContentAndCollections)
{
    test::TestHome home;
    home.writeFile(QStringLiteral("Pictures/photo.png"), test::pngBytes(40, 30));
    OvraApplication ovra;
    QMainWindow* window = ovra.showWindow();
    // Hidden before the event loop ever ran: no frame comes.
    window->hide();
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    LibraryStore& library = *ovra.context().library;
    ASSERT_TRUE(test::eventually(
        [&] { return library.collections().contains(images) && !library.isLoading(images); }));
    EXPECT_NE(window->findChild<ContentView*>(), nullptr);
    EXPECT_EQ(library.collections().value(images).totalCount, 1);
}

// A save cut short by a kill leaves its temporary beside the file it was to
// replace, wherever the app keeps it: a start removes every one of them, in the
// settings', the text index's and the caches' folders and in each folder of the
// shared thumbnails, and leaves alone a file of the user's that merely looks
// like one.
TEST(WindowStart, AStartRemovesTheTemporariesOfSavesCutShortBesideEveryFileOfOurs)
{
    test::TestHome home;
    home.writeFile(QStringLiteral("Documents/notes.txt"), "notes");
    const pid_t child = test::endedProcess();
    ASSERT_GT(child, 0);
    const QString suffix =
        QStringLiteral(".tmp-") + QString::number(child) + QStringLiteral("-abc");
    const double twoHoursAgo = double(std::time(nullptr)) - 2 * 60 * 60;
    const QString picture = QStringLiteral("0123456789abcdef0123456789abcdef.png");
    QStringList stale;
    for (const QString& file : {QStringLiteral(".config/Ovra/Ovra.conf"),
                                QStringLiteral(".local/share/Ovra/text-index.json"),
                                QStringLiteral(".local/share/Ovra/text-index.bin"),
                                QStringLiteral(".cache/Ovra/metadata-index.tables"),
                                QStringLiteral(".cache/thumbnails/normal/") + picture,
                                QStringLiteral(".cache/thumbnails/x-large/") + picture})
        stale << home.writeFile(file + suffix, "x", twoHoursAgo);
    QStringList notOurs;
    for (const QString& file :
         {QStringLiteral(".config/Ovra/notes"), QStringLiteral(".cache/Ovra/my-notes"),
          QStringLiteral(".cache/thumbnails/normal/notes.png")})
        notOurs << home.writeFile(file + suffix, "x", twoHoursAgo);

    OvraApplication ovra;
    ovra.showWindow();
    EXPECT_TRUE(test::eventually([&] {
        return std::none_of(stale.cbegin(), stale.cend(),
                            [](const QString& path) { return QFile::exists(path); });
    }));
    for (const QString& path : notOurs)
        EXPECT_TRUE(QFile::exists(path)) << qPrintable(path);
}
