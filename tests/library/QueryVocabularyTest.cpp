#include "library/QueryVocabulary.h"

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::NaturalSearch;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

QStringList tokens(const char* text) { return tokenize(s(text)); }

QStringList list(std::initializer_list<const char*> words)
{
    QStringList result;
    for (const char* word : words) result << s(word);
    return result;
}

std::optional<SizeReading> sizeOf(const char* text, qsizetype index = 0)
{
    return size(index, tokenize(s(text)));
}

} // namespace

TEST(Tokenize, SplitsAtSpaceAndSixMarks)
{
    EXPECT_EQ(tokens("Big PDFs from Last Week"), list({"big", "pdfs", "from", "last", "week"}));
    EXPECT_EQ(tokens("a,b;c!d?e(f)g"), list({"a", "b", "c", "d", "e", "f", "g"}));
    // Every Unicode space and line break separates: tab, newline, no-break space,
    // ideographic space, line separator.
    EXPECT_EQ(tokens("a\tb\nc\u00A0d\u3000e\u2028f\r\ng"), list({"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_TRUE(tokens("").isEmpty());
    EXPECT_TRUE(tokens(" \n\t ").isEmpty());
}

TEST(Tokenize, ComparisonSignsStandAlone)
{
    EXPECT_EQ(tokens(">5mb"), list({">", "5mb"}));
    EXPECT_EQ(tokens("size<2gb"), list({"size", "<", "2gb"}));
    EXPECT_EQ(tokens(">>"), list({">", ">"}));
}

TEST(Tokenize, KeepsInnerPunctuationAndStripsTrailing)
{
    EXPECT_EQ(tokens("Mom's Photos."), list({"mom", "photos"}));
    EXPECT_EQ(tokens("photo.png from bbc.co.uk"), list({"photo.png", "from", "bbc.co.uk"}));
    EXPECT_EQ(tokens("note: done..."), list({"note", "done"}));
    EXPECT_EQ(tokens("james's' cats's's"), list({"james", "cats's"}));
    EXPECT_TRUE(tokens("'s").isEmpty());
    EXPECT_TRUE(tokens("...").isEmpty());
    // Leading punctuation stays, and a typographic apostrophe is part of the word.
    EXPECT_EQ(tokens(".hidden -5mb"), list({".hidden", "-5mb"}));
    EXPECT_EQ(tokens("Mom\u2019s"), list({"mom\u2019s"}));
}

TEST(Tokenize, LowerCasesAllOfUnicode)
{
    EXPECT_EQ(tokens("ÉTÉ ÜBER Straße"), list({"été", "über", "straße"}));
}

TEST(Vocabulary, TablesHoldTheirWords)
{
    EXPECT_EQ(stopwords().size(), 67);
    EXPECT_TRUE(stopwords().contains(s("inside")));
    EXPECT_TRUE(stopwords().contains(s("please")));
    EXPECT_FALSE(stopwords().contains(s("photos")));
    EXPECT_EQ(bareExtensions().size(), 31);
    EXPECT_EQ(cameras().size(), 15);
    EXPECT_EQ(months().size(), 24);
    EXPECT_EQ(folders().size(), 6);
    EXPECT_EQ(folders().value(s("movies")), s("Movies"));
    EXPECT_EQ(folders().value(s("icloud")), s("iCloud Drive"));
    EXPECT_EQ(months().value(s("sept")), 9);
    EXPECT_EQ(months().value(s("may")), 5);
    EXPECT_EQ(kinds().size(), 74);
}

TEST(Vocabulary, KindWords)
{
    const Kind photos = kinds().value(s("selfies"));
    EXPECT_EQ(photos.category, FileCategory::images);
    EXPECT_TRUE(photos.extensions.isEmpty());
    EXPECT_EQ(photos.label, s("Photos"));

    const Kind sheets = kinds().value(s("csv"));
    EXPECT_FALSE(sheets.category);
    EXPECT_EQ(sheets.extensions, list({"xlsx", "xls", "csv", "numbers", "tsv"}));
    EXPECT_EQ(sheets.label, s("Spreadsheets"));

    EXPECT_EQ(kinds().value(s("docx")).extensions, list({"doc", "docx", "pages", "rtf"}));
    EXPECT_EQ(kinds().value(s("docx")).label, s("Word documents"));
    EXPECT_TRUE(kinds().value(s("screengrabs")).screenshots);
    EXPECT_EQ(kinds().value(s("zip")).category, FileCategory::archives);
    EXPECT_EQ(kinds().value(s("source")).category, FileCategory::code);
    EXPECT_EQ(kinds().value(s("pkg")).extensions, list({"dmg", "pkg", "mpkg"}));
    EXPECT_FALSE(kinds().contains(s("rtf")));
    EXPECT_FALSE(kinds().contains(s("pages")));
}

TEST(Vocabulary, ComparisonAndUnitWords)
{
    for (const char* word : {"over", "above", "bigger", "larger", "greater", "more", ">", "exceeding", "min"})
        EXPECT_EQ(comparator(s(word)), Bound::atLeast) << word;
    for (const char* word : {"under", "below", "smaller", "less", "<", "lighter", "max"})
        EXPECT_EQ(comparator(s(word)), Bound::atMost) << word;
    EXPECT_FALSE(comparator(s("big")));
    EXPECT_FALSE(comparator(s("over500kb")));

    EXPECT_EQ(multiplier(s("bytes")), 1.0);
    EXPECT_EQ(multiplier(s("k")), 1e3);
    EXPECT_EQ(multiplier(s("megs")), 1e6);
    EXPECT_EQ(multiplier(s("gig")), 1e9);
    EXPECT_EQ(multiplier(s("terabytes")), 1e12);
    EXPECT_FALSE(multiplier(s("byte")));
    EXPECT_FALSE(multiplier(s("kib")));
    EXPECT_FALSE(multiplier(s("mbs")));
    EXPECT_FALSE(multiplier(QString()));

    EXPECT_EQ(dateUnit(s("days")), DateUnit::day);
    EXPECT_EQ(dateUnit(s("weekend")), DateUnit::week);
    EXPECT_EQ(dateUnit(s("weeks")), DateUnit::week);
    EXPECT_EQ(dateUnit(s("months")), DateUnit::month);
    EXPECT_EQ(dateUnit(s("year")), DateUnit::year);
    EXPECT_FALSE(dateUnit(s("hour")));
    EXPECT_EQ(unitName(DateUnit::week), s("week"));
}

TEST(ReadSize, NumberAndUnitInOneOrTwoTokens)
{
    const struct {
        const char* text;
        qint64 bytes;
        int tokens;
    } cases[] = {
        {"5mb", 5'000'000, 1},
        {"5 mb", 5'000'000, 2},
        {"5 megs", 5'000'000, 2},
        {"5megs", 5'000'000, 1},
        {"1.5gb", 1'500'000'000, 1},
        {".5gb", 500'000'000, 1},
        {"5.gb", 5'000'000'000, 1},
        {"2 t", 2'000'000'000'000, 2},
        {"0.0000001kb", 0, 1},
        {"9000000000000000000b", 9'000'000'000'000'000'000, 1},
    };
    for (const auto& c : cases) {
        const auto reading = sizeOf(c.text);
        ASSERT_TRUE(reading) << c.text;
        EXPECT_EQ(reading->bytes, c.bytes) << c.text;
        EXPECT_EQ(reading->tokenCount, c.tokens) << c.text;
    }
    EXPECT_EQ(sizeOf("over 500 kb", 1)->bytes, 500'000);
}

TEST(ReadSize, NoSize)
{
    for (const char* text : {"5", "0mb", "0 mb", "-5mb", "5 minutes", "5 mbs", "mb", "1.2.3mb", ".mb",
                             "\u00BDmb", "\u00B2mb", "\u0665mb", "over500kb", ""})
        EXPECT_FALSE(sizeOf(text)) << text;
    EXPECT_FALSE(sizeOf("5mb", 1));
    EXPECT_FALSE(sizeOf("5mb", -1));
}

TEST(ReadSize, TooLargeForSixtyFourBitsIsNoSize)
{
    EXPECT_FALSE(sizeOf("99999999999tb"));
    EXPECT_FALSE(sizeOf("9223372036854775807b")); // rounds to 2^63 as a double
    EXPECT_FALSE(sizeOf("9223372036854775808 b"));
    EXPECT_FALSE(sizeOf(QByteArray(400, '9').append("tb").constData()));
}

TEST(ReadYear, FourCharactersFrom1990ToNextYear)
{
    EXPECT_EQ(year(u"1990", 2026), 1990);
    EXPECT_EQ(year(u"2026", 2026), 2026);
    EXPECT_EQ(year(u"2026", 2025), 2026);
    EXPECT_EQ(year(u"2027", 2026), 2027);
    EXPECT_FALSE(year(u"2028", 2026));
    EXPECT_FALSE(year(u"2026", 2024));
    EXPECT_FALSE(year(u"1989", 2026));
    EXPECT_FALSE(year(u"99", 2026));
    EXPECT_FALSE(year(u"02024", 2026));
    EXPECT_FALSE(year(u"+999", 2026));
    EXPECT_FALSE(year(u"", 2026));
}

TEST(ReadInteger, SignedDecimalThatFits)
{
    EXPECT_EQ(integer(u"42"), 42);
    EXPECT_EQ(integer(u"+42"), 42);
    EXPECT_EQ(integer(u"-42"), -42);
    EXPECT_EQ(integer(u"9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(integer(u"-9223372036854775808"), std::numeric_limits<qint64>::min());
    for (const char16_t* text : {u"9223372036854775808", u"", u"+", u"-", u"+-1", u"1e3", u"4.0",
                                 u" 4", u"\u0664"})
        EXPECT_FALSE(integer(text));
}
