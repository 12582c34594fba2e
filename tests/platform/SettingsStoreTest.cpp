#include "platform/SettingsStore.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace ovra;

// Typed reads take only a value of their own type, as the INI form writes it;
// the file is written by hand, as another program or a person might leave it.
TEST(SettingsStore, TypedReadsOfAHandWrittenFile)
{
    test::TestHome home;
    const QString path = home.path(QStringLiteral(".config/Ovra/Ovra.conf"));
    EXPECT_EQ(SettingsStore::appFilePath(), path);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\ntext=grid\nlist=a, b\nbytes=@ByteArray(grid)\n"
               "yes=true\nno=false\none=1\n");
    file.close();

    SettingsStore store;
    EXPECT_EQ(store.text("text"), QStringLiteral("grid"));
    EXPECT_FALSE(store.text("list"));
    EXPECT_FALSE(store.text("bytes"));
    EXPECT_FALSE(store.textList("bytes"));
    EXPECT_FALSE(store.textList("missing"));
    EXPECT_EQ(store.flag("yes"), true);
    EXPECT_EQ(store.flag("no"), false);
    EXPECT_FALSE(store.flag("one"));
    EXPECT_FALSE(store.flag("missing"));

    // Every write reaches the file at once.
    store.setFlag(SettingsKey::migratedFromLumo, true);
    file.open(QIODevice::ReadOnly);
    EXPECT_TRUE(file.readAll().contains("migratedFromLumo=true"));
}
