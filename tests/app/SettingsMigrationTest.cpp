#include "app/SettingsMigration.h"
#include "platform/SettingsStore.h"
#include "platform/UserFile.h"
#include "platform/XdgPaths.h"

#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRect>
#include <QSettings>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

class SettingsMigrationTest : public ::testing::Test {
protected:
    // Writes the earlier app's settings file as that app would have.
    void writeLegacy(const QList<std::pair<QString, QVariant>>& values)
    {
        QDir().mkpath(xdg::configHome());
        QSettings legacy(SettingsMigration::legacySettingsPath(), QSettings::IniFormat);
        for (const auto& [key, value] : values)
            legacy.setValue(key, value);
        legacy.sync();
    }

    static QString read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    test::TestHome home;
    // The migration runs on a pool thread in the app; here it is called directly.
    const UserFile::AllowOnThisThread directReads;
};

} // namespace

TEST_F(SettingsMigrationTest, TakesOverTheSettingsThisAppHasNoValueFor)
{
    writeLegacy({{"viewMode", "grid"},
                 {"cardSize", "large"},
                 {"pinned", QStringList{"/home/u/Projects", "/home/u/Papers"}},
                 {"liveTextMode", true}});
    SettingsStore own;
    own.setText(SettingsKey::viewMode, QStringLiteral("list"));
    own.setFlag(SettingsKey::liveTextMode, false);
    own.flush();

    SettingsMigration::run();

    const SettingsStore after;
    EXPECT_EQ(after.text(SettingsKey::viewMode), QStringLiteral("list"));
    EXPECT_EQ(after.text(SettingsKey::cardSize), QStringLiteral("large"));
    EXPECT_EQ(after.textList(SettingsKey::pinned),
              (QStringList{"/home/u/Projects", "/home/u/Papers"}));
    EXPECT_EQ(after.flag(SettingsKey::liveTextMode), false) << "a false value is a value";
    EXPECT_EQ(after.flag(SettingsKey::migratedFromLumo), true);
}

TEST_F(SettingsMigrationTest, TakesOverOnlyValuesOfTheTypeTheirReaderExpects)
{
    writeLegacy({{"viewMode", QStringList{"list", "grid"}},
                 {"cardSize", QByteArray("\x01\x02", 2)},
                 {"pinned", QRect(1, 2, 3, 4)},
                 {"liveTextMode", "maybe"}});
    SettingsMigration::run();

    const SettingsStore after;
    for (QLatin1StringView key : {SettingsKey::viewMode, SettingsKey::cardSize, SettingsKey::pinned,
                                  SettingsKey::liveTextMode})
        EXPECT_FALSE(after.contains(key)) << key.data();
    EXPECT_EQ(after.flag(SettingsKey::migratedFromLumo), true);
}

TEST_F(SettingsMigrationTest, ASinglePinAndATextFlagAreTakenAsTheFileFormWritesThem)
{
    writeLegacy({{"pinned", QStringList{"/home/u/Only"}}, {"liveTextMode", "true"}});
    SettingsMigration::run();
    const SettingsStore after;
    EXPECT_EQ(after.textList(SettingsKey::pinned), QStringList{"/home/u/Only"});
    EXPECT_EQ(after.flag(SettingsKey::liveTextMode), true);
}

TEST_F(SettingsMigrationTest, MovesTheEarlierFolderWhenThisAppHasNone)
{
    home.writeFile(".local/share/Lumo/text-index.json", "{\"/a.png\":{}}");
    SettingsMigration::run();
    EXPECT_FALSE(QFileInfo::exists(SettingsMigration::legacyDataFolder()));
    EXPECT_EQ(read(xdg::appDataDir() + "/text-index.json"), QStringLiteral("{\"/a.png\":{}}"));
}

TEST_F(SettingsMigrationTest, LeavesAFileNamedLikeTheEarlierFolderWhereItIs)
{
    home.writeFile(".local/share/Lumo", "not a folder");
    SettingsMigration::run();
    EXPECT_TRUE(QFileInfo(SettingsMigration::legacyDataFolder()).isFile());
    EXPECT_FALSE(QFileInfo::exists(xdg::appDataDir()));
    EXPECT_EQ(SettingsStore().flag(SettingsKey::migratedFromLumo), true);
}

TEST_F(SettingsMigrationTest, NeverMergesIntoOrReplacesThisAppsFolder)
{
    home.writeFile(".local/share/Lumo/text-index.json", "old");
    home.writeFile(".local/share/Ovra/text-index.json", "new");
    SettingsMigration::run();
    EXPECT_EQ(read(xdg::appDataDir() + "/text-index.json"), QStringLiteral("new"));
    EXPECT_EQ(read(SettingsMigration::legacyDataFolder() + "/text-index.json"),
              QStringLiteral("old"));
}

TEST_F(SettingsMigrationTest, WithoutEarlierSettingsTheFolderStillMovesAndNoFileIsMade)
{
    home.makeFolder(".local/share/Lumo");
    SettingsMigration::run();
    EXPECT_TRUE(QFileInfo(xdg::appDataDir()).isDir());
    EXPECT_FALSE(QFileInfo::exists(SettingsMigration::legacySettingsPath()));
    EXPECT_EQ(SettingsStore().flag(SettingsKey::migratedFromLumo), true);
}

TEST_F(SettingsMigrationTest, RunsOnceAndLeavesTheEarlierSettingsAsTheyWere)
{
    writeLegacy({{"viewMode", "list"}});
    const QString legacyBefore = read(SettingsMigration::legacySettingsPath());
    SettingsMigration::run();
    EXPECT_EQ(read(SettingsMigration::legacySettingsPath()), legacyBefore);

    // Deleting the taken-over value, or a folder appearing later, changes nothing
    // on the next start.
    QSettings(SettingsStore::appFilePath(), QSettings::IniFormat).remove("viewMode");
    home.makeFolder(".local/share/Lumo");
    SettingsMigration::run();
    EXPECT_FALSE(SettingsStore().contains(SettingsKey::viewMode));
    EXPECT_FALSE(QFileInfo::exists(xdg::appDataDir()));
}
