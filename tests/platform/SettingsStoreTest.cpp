#include "platform/SettingsStore.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

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

// The file stays in the form QSettings reads and writes, whichever of the two
// wrote it, for texts that need escapes, quotes and more than one byte.
TEST(SettingsStore, FilesRoundTripWithQSettings)
{
    test::TestHome home;
    const QString path = home.path(QStringLiteral("round.conf"));
    const QStringList awkward{QStringLiteral(" lead"),
                              QStringLiteral("a, b; c=d"),
                              QStringLiteral("@at"),
                              QStringLiteral("quote \" back \\"),
                              QStringLiteral("tab\tnl\n\x01"
                                             "7"),
                              QStringLiteral("Zoë 日本 😀"),
                              QString()};
    {
        SettingsStore store(path);
        store.setTextList("list", awkward);
        store.setTextList("empty", {});
        store.setTextList("one", {QStringLiteral("only")});
        for (qsizetype i = 0; i < awkward.size(); ++i)
            store.setText(QStringLiteral("text%1").arg(i), awkward[i]);
        store.setFlag("flag", true);
    }
    {
        QSettings qt(path, QSettings::IniFormat);
        EXPECT_EQ(qt.value("list").toStringList(), awkward);
        EXPECT_FALSE(qt.value("empty").isValid());
        EXPECT_EQ(qt.value("one").toString(), QStringLiteral("only"));
        for (qsizetype i = 0; i < awkward.size(); ++i)
            EXPECT_EQ(qt.value(QStringLiteral("text%1").arg(i)).toString(), awkward[i]) << i;
        EXPECT_EQ(qt.value("flag").toString(), QStringLiteral("true"));
        qt.setValue("fromQt", awkward);
        qt.setValue("Group/inner", QStringLiteral("x"));
        qt.setValue("bytes", QByteArray("\x01\x02", 2));
        qt.sync();
    }
    SettingsStore store(path);
    EXPECT_EQ(store.textList("list"), awkward);
    EXPECT_EQ(store.textList("fromQt"), awkward);
    EXPECT_EQ(store.textList("one"), QStringList{"only"});
    EXPECT_EQ(store.textList("empty"), QStringList());
    EXPECT_EQ(store.text("Group/inner"), QStringLiteral("x"));
    store.setText("after", QStringLiteral("y"));
    // What this store does not read is written back as it was.
    QSettings qt(path, QSettings::IniFormat);
    EXPECT_EQ(qt.value("bytes").toByteArray(), QByteArray("\x01\x02", 2));
    EXPECT_EQ(qt.value("Group/inner").toString(), QStringLiteral("x"));
    EXPECT_EQ(qt.value("after").toString(), QStringLiteral("y"));
}

// A hostile value of another type (here a list whose count asks for ~103 GB)
// is never handed to Qt's variant decoding; the texts around it still read.
TEST(SettingsStore, ValuesOfOtherTypesAreNeverDecoded)
{
    test::TestHome home;
    const QString path = home.writeFile(
        QStringLiteral(".config/Ovra/Ovra.conf"),
        "[General]\npinned=@Variant(\\0\\0\\0\\v\\xff\\xff\\xff\\xf0)\nviewMode=list\n"
        "mixed=/a, @Variant(\\0\\0\\0\\v\\xff\\xff\\xff\\xf0), /b\n");
    SettingsStore store;
    EXPECT_FALSE(store.textList(SettingsKey::pinned));
    EXPECT_FALSE(store.text(SettingsKey::pinned));
    EXPECT_EQ(store.text(SettingsKey::viewMode), QStringLiteral("list"));
    EXPECT_EQ(store.textList("mixed"), (QStringList{"/a", "/b"}));
    store.setText(SettingsKey::cardSize, QStringLiteral("large"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("pinned=@Variant(\\0\\0\\0\\v\\xff\\xff\\xff\\xf0)\n"));
}

// Whatever the store writes reads back equal after any number of saves, and a
// save never changes what the file held for the other keys.
TEST(SettingsStore, EveryValueReadsBackEqualAfterSaves)
{
    test::TestHome home;
    const QString path = home.path(QStringLiteral("values.conf"));
    const QStringList lists[] = {{QString(), QStringLiteral("b")},
                                 {QString(), QString()},
                                 {QStringLiteral("a"), QString()},
                                 {}};
    const QString texts[] = {QStringLiteral("name\t"), QStringLiteral("\ttab\t\t"),
                             QStringLiteral("ends in \\"), QStringLiteral("v\\ ")};
    {
        SettingsStore store(path);
        for (int i = 0; i < 4; ++i) {
            store.setTextList(QStringLiteral("list%1").arg(i), lists[i]);
            store.setText(QStringLiteral("text%1").arg(i), texts[i]);
        }
        store.setFlag("flag", false);
    }
    for (int save = 0; save < 2; ++save) {
        SettingsStore store(path);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(store.textList(QStringLiteral("list%1").arg(i)), lists[i]) << i;
            EXPECT_EQ(store.text(QStringLiteral("text%1").arg(i)), texts[i]) << i;
        }
        EXPECT_EQ(store.flag("flag"), false);
        store.setText("other", QStringLiteral("save %1").arg(save));
    }
}

// Files written by hand or by another program: a value whose last character is
// an escaped space must not take the next key into it once the store saves;
// keys above the first section belong to the one [General] section.
TEST(SettingsStore, SavingKeepsTheKeysOfAnExistingFile)
{
    test::TestHome home;
    const QString spaced = home.writeFile(QStringLiteral("spaced.conf"), "key=v\\ \nz=1\n");
    const QString loose =
        home.writeFile(QStringLiteral("loose.conf"), "viewMode=grid\n[General]\ncardSize=large\n");
    for (const QString& path : {spaced, loose}) {
        const SettingsStore before(path);
        SettingsStore(path).setText("added", QStringLiteral("x"));
        const SettingsStore after(path);
        for (const char* key : {"key", "z", "viewMode", "cardSize"})
            EXPECT_EQ(after.text(key), before.text(key)) << qPrintable(path) << " " << key;
        EXPECT_EQ(after.text("added"), QStringLiteral("x"));
    }
    QFile file(loose);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("[General]"), 1);
}
