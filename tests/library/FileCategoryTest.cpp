#include "library/FileCategory.h"

#include <gtest/gtest.h>

using namespace ovra;

namespace {

std::optional<UniformType> type(const char* identifier)
{
    auto t = UniformType::withIdentifier(QString::fromLatin1(identifier));
    EXPECT_TRUE(t) << identifier;
    return t;
}

} // namespace

TEST(FileCategory, ClassifyTakesTheFirstRuleThatHolds)
{
    EXPECT_EQ(classify(std::nullopt, false), FileCategory::other);
    EXPECT_EQ(classify(std::nullopt, true), FileCategory::folders);
    EXPECT_EQ(classify(type("public.png"), true), FileCategory::folders);
    EXPECT_EQ(classify(type("public.folder"), false), FileCategory::folders);
    EXPECT_EQ(classify(type("com.apple.application-bundle"), false), FileCategory::apps);
    EXPECT_EQ(classify(type("public.png"), false), FileCategory::images);
    EXPECT_EQ(classify(type("public.mpeg-4"), false), FileCategory::videos);
    EXPECT_EQ(classify(type("public.json"), false), FileCategory::code);
    EXPECT_EQ(classify(type("com.apple.property-list"), false), FileCategory::code);
    EXPECT_EQ(classify(type("public.plain-text"), false), FileCategory::documents);
    EXPECT_EQ(classify(type("com.adobe.pdf"), false), FileCategory::documents);
    EXPECT_EQ(classify(type("public.disk-image"), false), FileCategory::archives);
    EXPECT_EQ(classify(type("public.data"), false), FileCategory::other);
    EXPECT_EQ(classify(UniformType(), false), FileCategory::other);
}

TEST(FileCategory, SpotlightQueries)
{
    EXPECT_EQ(spotlightQuery(FileCategory::images),
              QStringLiteral("(kMDItemContentTypeTree == 'public.image')"));
    EXPECT_EQ(
        spotlightQuery(FileCategory::videos),
        QStringLiteral("(kMDItemContentTypeTree == 'public.movie') && kMDItemFSName != '*.ts'c"));
    EXPECT_EQ(
        spotlightQuery(FileCategory::documents),
        QStringLiteral(
            "(kMDItemContentTypeTree == 'com.adobe.pdf' || kMDItemContentTypeTree == "
            "'public.composite-content' || kMDItemContentTypeTree == 'public.presentation' || "
            "kMDItemContentTypeTree == 'public.spreadsheet' || kMDItemContentTypeTree == "
            "'public.rtf') || ((kMDItemFSName == '*.txt'c || kMDItemFSName == '*.md'c) && "
            "kMDItemLastUsedDate == *)"));
    EXPECT_EQ(
        spotlightQuery(FileCategory::archives),
        QStringLiteral("(kMDItemContentTypeTree == 'public.archive' || kMDItemContentTypeTree == "
                       "'com.apple.disk-image')"));
    EXPECT_EQ(spotlightQuery(FileCategory::apps),
              QStringLiteral("(kMDItemContentTypeTree == 'com.apple.application-bundle')"));
    EXPECT_EQ(spotlightQuery(FileCategory::code),
              QStringLiteral(
                  "(kMDItemContentTypeTree == 'public.source-code') && kMDItemLastUsedDate == *"));
    EXPECT_EQ(spotlightQuery(FileCategory::folders),
              QStringLiteral("(kMDItemContentTypeTree == 'public.folder')"));
    EXPECT_EQ(spotlightQuery(FileCategory::other), QStringLiteral("kMDItemFSName == '*'"));
}

TEST(FileCategory, RawValuesRoundTripAndUnknownOnesGiveNothing)
{
    for (FileCategory c : kAllFileCategories)
        EXPECT_EQ(fileCategoryFromRaw(rawValue(c)), c);
    EXPECT_FALSE(fileCategoryFromRaw(u"Images"));
    EXPECT_FALSE(fileCategoryFromRaw(u""));
}
