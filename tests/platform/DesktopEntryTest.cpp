#include "platform/DesktopEntry.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace ovra;
using ovra::test::TestHome;

namespace {

const QByteArray kCalculator = "# made by hand\n"
                               "[Desktop Entry]\n"
                               "Type=Application\n"
                               "Name=Calculator\n"
                               "Name[de]=Rechner\n"
                               "Name[pt_BR]=Calculadora\n"
                               "Name = Second Name Is Ignored\n"
                               "Icon=org.gnome.Calculator\n"
                               "\n"
                               "[Desktop Action new-window]\n"
                               "Name=New Window\n";

class LocaleScope {
public:
    explicit LocaleScope(const QString& name)
        : m_saved(QLocale())
    {
        QLocale::setDefault(QLocale(name));
    }
    ~LocaleScope() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

} // namespace

TEST(DesktopEntry, GroupsKeysAndTheFirstValueOfAKey)
{
    const KeyFile file = KeyFile::parse(kCalculator);
    const KeyFile::Group entry = file.group(QStringLiteral("Desktop Entry"));
    EXPECT_EQ(entry.value(QStringLiteral("Name")), u"Calculator");
    EXPECT_EQ(entry.value(QStringLiteral("Name[de]")), u"Rechner");
    EXPECT_EQ(file.group(QStringLiteral("Desktop Action new-window")).value(QStringLiteral("Name")),
              u"New Window");
    // Lines before any group and lines without a key belong nowhere.
    EXPECT_EQ(KeyFile::parse("Name=Orphan\n[G]\n=value\nplain\r\nKey=v\r\n").groups,
              (QHash<QString, KeyFile::Group>{{QStringLiteral("G"), {{"Key", "v"}}}}));
}

TEST(DesktopEntry, NameInTheLanguageOfTheLocale)
{
    const KeyFile::Group entry = KeyFile::parse(kCalculator).group(QStringLiteral("Desktop Entry"));
    const QString name = QStringLiteral("Name");
    EXPECT_EQ(localizedValue(entry, name, QStringLiteral("pt_BR")), u"Calculadora");
    EXPECT_EQ(localizedValue(entry, name, QStringLiteral("de_AT")), u"Rechner");
    EXPECT_EQ(localizedValue(entry, name, QStringLiteral("de_DE.UTF-8@euro")), u"Rechner");
    EXPECT_EQ(localizedValue(entry, name, QStringLiteral("pt_PT")), u"Calculator");
    EXPECT_EQ(localizedValue(entry, name, QStringLiteral("C")), u"Calculator");

    const LocaleScope german(QStringLiteral("de_CH"));
    TestHome home;
    const QString path =
        home.writeFile(QStringLiteral("org.gnome.Calculator.desktop"), kCalculator);
    const UserFile::AllowOnThisThread directReads;
    const std::optional<DesktopEntry> read = DesktopEntry::read(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->name, u"Rechner");
    EXPECT_EQ(read->id, u"org.gnome.Calculator.desktop");
    EXPECT_EQ(read->icon, u"org.gnome.Calculator");
}

TEST(DesktopEntry, OnlyVisibleApplications)
{
    TestHome home;
    const UserFile::AllowOnThisThread directReads;
    const QString link = home.writeFile(QStringLiteral("link.desktop"),
                                        "[Desktop Entry]\nType=Link\nName=Site\nURL=x\n");
    const QString hidden = home.writeFile(
        QStringLiteral("gone.desktop"), "[Desktop Entry]\nType=Application\nName=G\nHidden=true\n");
    const QString plain = home.writeFile(QStringLiteral("plain.desktop"), "Name=Nothing\n");
    EXPECT_FALSE(DesktopEntry::read(link));
    EXPECT_FALSE(DesktopEntry::read(hidden));
    EXPECT_FALSE(DesktopEntry::read(plain));

    // An entry among the user's files is read as every user file is: never
    // through a symbolic link.
    const QString real = home.writeFile(QStringLiteral("real.desktop"), kCalculator);
    const QString alias = home.path(QStringLiteral("alias.desktop"));
    ASSERT_EQ(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(alias).constData()),
              0);
    EXPECT_TRUE(DesktopEntry::read(real));
    EXPECT_FALSE(DesktopEntry::read(alias));
}
