#include "library/Fmt.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace ovra;

namespace {

class FmtTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

double at(int year, int month, int day, int hour, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute)).toSecsSinceEpoch();
}

} // namespace

TEST_F(FmtTest, Bytes)
{
    const std::pair<qint64, const char*> rows[] = {
        {0, "Zero KB"},
        {1, "1 byte"},
        {999, "999 bytes"},
        {1000, "1 KB"},
        {1500, "2 KB"},
        {999'499, "999 KB"},
        {999'500, "1 MB"}, // would round to 1,000 KB
        {1'500'000, "1.5 MB"},
        {12'345'678, "12.3 MB"},
        {999'960'000, "1 GB"},
        {2'345'678'901, "2.35 GB"},
        {1'230'000'000'000, "1.23 TB"},
        {std::numeric_limits<qint64>::max(), "9.22 EB"},
        {-1, "-1 byte"},
    };
    for (const auto& [count, text] : rows)
        EXPECT_EQ(Fmt::bytes(count), QString::fromUtf8(text)) << count;

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Fmt::bytes(1'500'000), QStringLiteral("1,5 MB"));
}

TEST_F(FmtTest, Duration)
{
    EXPECT_EQ(Fmt::duration(std::nan("")), QStringLiteral("0:00"));
    EXPECT_EQ(Fmt::duration(INFINITY), QStringLiteral("0:00"));
    EXPECT_EQ(Fmt::duration(-1), QStringLiteral("0:00"));
    EXPECT_EQ(Fmt::duration(0), QStringLiteral("0:00"));
    EXPECT_EQ(Fmt::duration(59.5), QStringLiteral("1:00"));
    EXPECT_EQ(Fmt::duration(65.4), QStringLiteral("1:05"));
    EXPECT_EQ(Fmt::duration(3599.4), QStringLiteral("59:59"));
    EXPECT_EQ(Fmt::duration(3600), QStringLiteral("1:00:00"));
    EXPECT_EQ(Fmt::duration(3725), QStringLiteral("1:02:05"));
    EXPECT_EQ(Fmt::duration(1e300), QStringLiteral("2500000000000000:00:00"));
}

TEST_F(FmtTest, DateIsRelativeUnderSixDays)
{
    const QDateTime now(QDate(2026, 6, 10), QTime(12, 0));
    const double n = now.toSecsSinceEpoch();
    EXPECT_EQ(Fmt::date(n, now), QStringLiteral("now"));
    EXPECT_EQ(Fmt::date(n - 30, now), QStringLiteral("30 seconds ago"));
    EXPECT_EQ(Fmt::date(n - 60, now), QStringLiteral("1 minute ago"));
    EXPECT_EQ(Fmt::date(n - 2 * 3600, now), QStringLiteral("2 hours ago"));
    EXPECT_EQ(Fmt::date(at(2026, 6, 9, 23), now), QStringLiteral("13 hours ago"));
    EXPECT_EQ(Fmt::date(at(2026, 6, 9, 10), now), QStringLiteral("yesterday"));
    EXPECT_EQ(Fmt::date(n - (5 * 86400 + 23 * 3600), now), QStringLiteral("6 days ago"));
    EXPECT_EQ(Fmt::date(n - 6 * 86400, now), QStringLiteral("4 Jun 2026"));

    // Named days are calendar days: 34 hours before 8 am is the day before yesterday.
    EXPECT_EQ(Fmt::date(at(2026, 6, 8, 22), QDateTime(QDate(2026, 6, 10), QTime(8, 0))),
              QStringLiteral("2 days ago"));

    // Every future date is relative, however far.
    EXPECT_EQ(Fmt::date(n + 86400, now), QStringLiteral("tomorrow"));
    EXPECT_EQ(Fmt::date(n + 3 * 86400, now), QStringLiteral("in 3 days"));
    EXPECT_EQ(Fmt::date(n + 14 * 86400, now), QStringLiteral("in 2 weeks"));
    EXPECT_EQ(Fmt::date(at(2027, 7, 1, 12), now), QStringLiteral("next year"));
    EXPECT_FALSE(Fmt::date(1e300, now).isEmpty());
}

TEST_F(FmtTest, AbbreviatedDateFollowsTheLocale)
{
    const QDateTime now(QDate(2026, 12, 20), QTime(12, 0));
    EXPECT_EQ(Fmt::date(at(2026, 12, 8, 9), now), QStringLiteral("8 Dec 2026"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(Fmt::date(at(2026, 12, 8, 9), now), QStringLiteral("Dec 8, 2026"));
}
