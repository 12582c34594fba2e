#include "ui/UpdateNotice.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

using namespace ovra;

TEST(UpdateNotice, StartUpSpeaksOnlyOfANewerReleaseTheUserHearsEverything)
{
    const UpdateCheck failed;
    UpdateCheck current;
    current.outcome = UpdateCheck::Outcome::upToDate;
    current.latest = AppcastItem{QStringLiteral("Ovra 1.0"), QStringLiteral("1.0"),
                                 QUrl(QStringLiteral("https://example.org/1.0"))};
    UpdateCheck newer = current;
    newer.outcome = UpdateCheck::Outcome::newer;
    newer.latest->version = QStringLiteral("2.0");

    EXPECT_TRUE(UpdateNotice::title(failed, false).isEmpty()) << "no error dialog at start-up";
    EXPECT_TRUE(UpdateNotice::title(current, false).isEmpty());
    EXPECT_FALSE(UpdateNotice::title(newer, false).isEmpty());
    EXPECT_FALSE(UpdateNotice::title(failed, true).isEmpty());
    EXPECT_FALSE(UpdateNotice::title(current, true).isEmpty());
    EXPECT_EQ(UpdateNotice::text(newer, QStringLiteral("1.0")),
              QStringLiteral("Ovra 2.0 is available; you have 1.0."));

    // A failed check at start-up opens no window.
    Updater updater(QUrl(), QStringLiteral("1.0"));
    UpdateNotice notice(updater);
    emit updater.checked(failed, false);
    QCoreApplication::processEvents(); // a window opened later would be posted by now
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().cbegin(),
                             QApplication::topLevelWidgets().cend(),
                             [](QWidget* w) { return qobject_cast<QMessageBox*>(w); }));
}

TEST(UpdateNotice, CheckForUpdatesIsDisabledWithoutAFeedAddress)
{
    Updater updater(QUrl(), QStringLiteral("1.0"));
    UpdateNotice notice(updater);
    updater.start();
    EXPECT_FALSE(notice.checkForUpdatesAction()->isEnabled());
    EXPECT_EQ(notice.checkForUpdatesAction()->text(), QStringLiteral("Check for Updates…"));
}
