#include "platform/XdgPaths.h"
#include "support/TestHome.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <string>

using namespace ovra;

// getpwuid answers in one buffer that the whole process shares, and the
// standard locations are read on several pool threads at once: reading the
// user's name and home must leave an entry that another caller holds as it was.
TEST(XdgPaths, TheUserIsReadWithoutThePasswordDatabasesSharedBuffer)
{
    test::TestHome home;
    const uid_t other = ::getuid() == 0 ? 65534 : 0; // nobody, or root
    const passwd* held = ::getpwuid(other);
    if (!held || !held->pw_name || !held->pw_dir) GTEST_SKIP() << "no user " << other;
    const std::string name = held->pw_name;
    const std::string dir = held->pw_dir;

    EXPECT_FALSE(xdg::userName().isEmpty());
    // Without HOME the home folder comes from the password database too.
    const QByteArray homeVariable = qgetenv("HOME");
    qunsetenv("HOME");
    const auto restore = qScopeGuard([&] { qputenv("HOME", homeVariable); });
    EXPECT_TRUE(xdg::home().startsWith(u'/'));

    EXPECT_EQ(held->pw_name, name);
    EXPECT_EQ(held->pw_dir, dir);
}
