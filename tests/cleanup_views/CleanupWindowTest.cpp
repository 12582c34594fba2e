#include "cleanup/CleanupFixtures.h"

#include "app/OvraApplication.h"
#include "browser/DetailView.h"
#include "cleanup/CleanupStore.h"
#include "cleanup/SourceStore.h"
#include "cleanup_views/CleanupHubView.h"
#include "cleanup_views/CleanupReviewView.h"
#include "cleanup_views/SourceViews.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "library/Trash.h"
#include "support/QtApp.h"
#include "support/Wait.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;

namespace {

template <typename Screen> Screen* screenOf(QMainWindow* window)
{
    QCoreApplication::processEvents();
    auto* detail = window->findChild<DetailView*>();
    return detail ? qobject_cast<Screen*>(detail->screen()) : nullptr;
}

QStringList paths(const QList<FileItem>& items)
{
    QStringList out;
    for (const FileItem& item : items)
        out << item.path;
    return out;
}

} // namespace

TEST(CleanupWindow, TrashingForgottenDownloadsReachesEveryScreenAndTheTrash)
{
    TestHome home;
    const double old = daysAgo(120);
    const QString a = writeSized(home, "Downloads/old-invoice.pdf", 3000, old);
    const QString b = writeSized(home, "Downloads/old-manual.pdf", 2000, old);
    const QString c = writeSized(home, "Downloads/old-notes.pdf", 1000, old);
    writeSized(home, "Downloads/new.pdf", 500, daysAgo(2));
    if (!setOrigin(a, "https://github.com/o/old-invoice.pdf"))
        GTEST_SKIP() << "no user attributes here";
    setOrigin(b, "https://github.com/o/old-manual.pdf");
    setOrigin(c, "https://files.slack.com/old-notes.pdf");

    OvraApplication app;
    const AppContext& context = app.context();
    auto* cleanup = qobject_cast<CleanupStore*>(context.cleanup);
    auto* sources = qobject_cast<SourceStore*>(context.sources);
    ASSERT_TRUE(cleanup && sources);
    // The library's own forgetting is registered by the shell's file actions;
    // registered here too it is harmless, removal being idempotent.
    context.trash->registerStore(
        context.library,
        [library = context.library](const QSet<QString>& moved) { library->remove(moved); });
    QMainWindow* window = app.showWindow();
    ASSERT_TRUE(test::eventually([&] {
        return sources->hasLoaded() && cleanup->loadedToken() >= 0 && !cleanup->loading();
    }));
    const SidebarItem documents = SidebarItem::category(FileCategory::documents);
    ASSERT_TRUE(waitFor(context.library->result(documents, context.state->refreshToken().value())));

    context.state->setSelection(SidebarItem::cleanup(CleanupKind::oldDownloads));
    auto* review = screenOf<CleanupReviewView>(window);
    ASSERT_TRUE(review);
    EXPECT_EQ(paths(review->items()), (QStringList{a, b, c}));
    EXPECT_EQ(review->freedLabel()->text(), Fmt::bytes(6000) + " can be freed");
    EXPECT_FALSE(review->trashSelectedButton()->isVisibleTo(review));

    context.state->setSelectedFiles({a, b, home.path("Documents/elsewhere.pdf")});
    EXPECT_EQ(review->trashSelectedButton()->text(), "Trash Selected (2)");
    review->trashSelectedButton()->click();
    QMessageBox* confirmation = review->confirmation();
    ASSERT_TRUE(confirmation);
    EXPECT_EQ(confirmation->text(), "Move 2 items to the Trash?");
    QAbstractButton* move = nullptr;
    for (QAbstractButton* button : confirmation->buttons())
        if (confirmation->buttonRole(button) == QMessageBox::DestructiveRole) move = button;
    ASSERT_TRUE(move);
    EXPECT_EQ(move->text(), "Move to Trash (" + Fmt::bytes(5000) + ")");
    move->click();
    ASSERT_TRUE(test::eventually([&] { return context.state->toast().has_value(); }));
    EXPECT_EQ(context.state->toast()->message,
              "Moved 2 items to Trash · " + Fmt::bytes(5000) + " freed");

    // Gone from the review, the selection and the figures…
    EXPECT_EQ(paths(review->items()), QStringList{c});
    EXPECT_EQ(context.state->selectedFiles(), QSet<QString>{home.path("Documents/elsewhere.pdf")});
    EXPECT_EQ(cleanup->totalReclaimable(), 1000);
    context.state->setSelection(SidebarItem::cleanupHub());
    auto* hub = screenOf<CleanupHubView>(window);
    ASSERT_TRUE(hub);
    EXPECT_EQ(hub->subtitleLabel()->text(), "You could free up to " + Fmt::bytes(1000));

    // …from the download sources, whose GitHub group emptied…
    context.state->setSelection(SidebarItem::sources());
    auto* sourcesHub = screenOf<SourcesHubView>(window);
    ASSERT_TRUE(sourcesHub);
    EXPECT_EQ(sourcesHub->subtitleLabel()->text(), "1 downloaded file from 1 source");
    EXPECT_FALSE(sources->group("GitHub"));

    // …from the library and the Downloads folder, and now in the Trash.
    const auto collection = context.library->collections().value(documents);
    EXPECT_FALSE(paths(collection.items).contains(a));
    EXPECT_FALSE(paths(collection.items).contains(b));
    auto listing = LibraryStore::listFolder(home.path("Downloads"));
    ASSERT_TRUE(waitFor(listing));
    QStringList listed = paths(listing.result().items);
    listed.sort();
    EXPECT_EQ(listed, (QStringList{home.path("Downloads/new.pdf"), c}));
    const QString trash = home.path(".local/share/Trash/files/");
    EXPECT_TRUE(QFileInfo::exists(trash + "old-invoice.pdf"));
    EXPECT_TRUE(QFileInfo::exists(trash + "old-manual.pdf"));
}
