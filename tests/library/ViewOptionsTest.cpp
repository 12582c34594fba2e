#include "library/ViewOptions.h"

#include <gtest/gtest.h>

using namespace ovra;

// View mode and card size are kept in the user's settings by raw value.
TEST(ViewOptions, StoredRawValuesRoundTripAndUnknownOnesGiveNothing)
{
    for (ViewMode m : kAllViewModes)
        EXPECT_EQ(viewModeFromRaw(rawValue(m)), m);
    for (CardSize s : kAllCardSizes)
        EXPECT_EQ(cardSizeFromRaw(rawValue(s)), s);
    EXPECT_FALSE(viewModeFromRaw(u"Grid"));
    EXPECT_FALSE(cardSizeFromRaw(u"huge"));
    EXPECT_FALSE(sortKeyFromRaw(u""));
}

TEST(ViewOptions, DateFilterCutoffs)
{
    const QDateTime now(QDate(2026, 6, 10), QTime(0, 30));
    const double seconds = now.toSecsSinceEpoch();
    EXPECT_FALSE(cutoff(DateFilter::any, now));
    EXPECT_EQ(cutoff(DateFilter::today, now), seconds - 30 * 60);
    EXPECT_EQ(cutoff(DateFilter::week, now), seconds - 7 * 86400);
    EXPECT_EQ(cutoff(DateFilter::month, now), seconds - 30 * 86400);
    EXPECT_EQ(cutoff(DateFilter::year, now), seconds - 365 * 86400);

    // The start of the day is local, whatever time zone "now" was given in.
    EXPECT_EQ(cutoff(DateFilter::today, now.toUTC()), seconds - 30 * 60);
}
