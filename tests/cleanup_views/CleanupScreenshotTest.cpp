#include "cleanup/CleanupFixtures.h"
#include "platform/UserFile.h"

#include "app/OvraApplication.h"
#include "cleanup/CleanupStore.h"
#include "cleanup/SourceStore.h"
#include "library/AppState.h"
#include "support/FixtureFiles.h"
#include "support/Wait.h"

#include <QDir>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;

// Renders the hub, one review, the sources hub and one source for a person to
// look at, into the folder OVRA_SCREENSHOTS names; skipped without it.
TEST(CleanupScreenshots, HubReviewSourcesAndOneSource)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString out = qEnvironmentVariable("OVRA_SCREENSHOTS");
    if (out.isEmpty()) GTEST_SKIP() << "set OVRA_SCREENSHOTS to a folder";
    QDir().mkpath(out);

    TestHome home;
    const double old = daysAgo(150);
    const QByteArray picture = pngBytes(640, 400);
    const std::pair<const char*, const char*> downloads[] = {
        {"Downloads/team-photo.png", "https://files.slack.com/f/team-photo.png"},
        {"Downloads/whiteboard.png", "https://files.slack.com/f/whiteboard.png"},
        {"Downloads/quarterly-report.pdf", "https://files.slack.com/f/quarterly-report.pdf"},
        {"Downloads/release-notes.pdf", "https://github.com/o/r/release-notes.pdf"},
        {"Downloads/source.tar.gz", "https://github.com/o/r/archive/source.tar.gz"},
        {"Downloads/boarding-pass.pdf", "https://mail.google.com/mail/u/0"},
        {"Downloads/lecture.pdf", "https://www.ox.ac.uk/lecture.pdf"},
        {"Downloads/invoice-2024.pdf", "https://billing.example.com/invoice-2024.pdf"},
    };
    for (const auto& [path, origin] : downloads) {
        const QString file = QString(path).endsWith(".png")
                                 ? writeAged(home, path, picture, old)
                                 : writeSized(home, path, 2'400'000, old);
        setOrigin(file, origin);
    }
    writeSized(home, "Downloads/debian-12.iso", 650'000'000, daysAgo(40));
    writeSized(home, "Downloads/tool_1.2_amd64.deb", 12'000'000, daysAgo(20));
    writeSized(home, "Videos/holiday-2019.mp4", 900'000'000, daysAgo(400));
    for (int i = 0; i < 4; ++i)
        writeAged(home, QString("Pictures/Screenshot from 2024-0%1-02 10-00-00.png").arg(i + 1),
                  picture, daysAgo(60 + i));
    writeSized(home, "Applications/OldEditor.AppImage", 95'000'000, daysAgo(300));

    OvraApplication app;
    const AppContext& context = app.context();
    auto* cleanup = qobject_cast<CleanupStore*>(context.cleanup);
    auto* sources = qobject_cast<SourceStore*>(context.sources);
    QMainWindow* window = app.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window, int(test::kPatience.count())));
    ASSERT_TRUE(test::eventually([&] {
        return sources->hasLoaded() && cleanup->loadedToken() >= 0 && !cleanup->loading();
    }));

    const auto shoot = [&](const SidebarItem& item, const QString& name) {
        context.state->setSelection(item);
        // Thumbnails arrive from their workers.
        QTest::qWait(1500);
        EXPECT_TRUE(window->grab().save(out + u'/' + name));
    };
    shoot(SidebarItem::cleanupHub(), "cleanup-hub.png");
    shoot(SidebarItem::cleanup(CleanupKind::oldDownloads), "cleanup-review.png");
    shoot(SidebarItem::sources(), "sources-hub.png");
    shoot(SidebarItem::source("Slack"), "source-slack.png");
}
