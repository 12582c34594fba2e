#include "library/QueryVocabulary.h"

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::NaturalSearch;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList tokens(const char* text)
{
    return tokenize(s(text));
}

QStringList list(std::initializer_list<const char*> words)
{
    QStringList result;
    for (const char* word : words)
        result << s(word);
    return result;
}

std::optional<SizeReading> sizeOf(const char* text, qsizetype index = 0)
{
    return size(index, tokenize(s(text)));
}

} // namespace

TEST(Tokenize, Pieces)
{
    const std::pair<const char*, QStringList> cases[] = {
        {"Big PDFs from Last Week", list({"big", "pdfs", "from", "last", "week"})},
        {"a,b;c!d?e(f)g", list({"a", "b", "c", "d", "e", "f", "g"})},
        // Every Unicode space and line break separates.
        {"a\tb\nc\u00A0d\u3000e\u2028f\r\ng", list({"a", "b", "c", "d", "e", "f", "g"})},
        {" \n\t ", {}},
        {">5mb", list({">", "5mb"})},
        {"size<2gb", list({"size", "<", "2gb"})},
        {"Mom's Photos.", list({"mom", "photos"})},
        {"photo.png from bbc.co.uk", list({"photo.png", "from", "bbc.co.uk"})},
        {"note: done...", list({"note", "done"})},
        {"james's' cats's's", list({"james", "cats's"})},
        {"'s ...", {}},
        // Leading punctuation stays; a typographic apostrophe is part of the word.
        {".hidden -5mb Mom\u2019s", list({".hidden", "-5mb", "mom\u2019s"})},
        {"\u00C9T\u00C9 Stra\u00DFE", list({"\u00E9t\u00E9", "stra\u00DFe"})},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(tokens(text), expected) << text;
}

TEST(Vocabulary, WordsThatMeetInTwoRoles)
{
    EXPECT_EQ(comparator(s(">")), Bound::atLeast);
    EXPECT_EQ(comparator(s("lighter")), Bound::atMost);
    EXPECT_FALSE(comparator(s("big")));
    EXPECT_FALSE(multiplier(s("byte")));
    EXPECT_FALSE(multiplier(s("kib")));
    EXPECT_EQ(dateUnit(s("weekend")), DateUnit::week);
    EXPECT_FALSE(dateUnit(s("hour")));
    // "inside" leads a folder, so it is filler.
    EXPECT_TRUE(stopwords().contains(s("inside")));
    // "rtf" and "pages" are bare extensions; "docx" brings its family.
    EXPECT_FALSE(kinds().contains(s("rtf")));
    EXPECT_TRUE(bareExtensions().contains(s("pages")));
    EXPECT_EQ(kinds().value(s("docx")).extensions, list({"doc", "docx", "pages", "rtf"}));
    EXPECT_EQ(kinds().value(s("source")).category, FileCategory::code);
}

TEST(ReadSize, NumberAndUnitInOneOrTwoTokens)
{
    const struct {
        const char* text;
        qint64 bytes;
        int tokens;
    } cases[] = {
        {"5mb", 5'000'000, 1},       {"5 mb", 5'000'000, 2},
        {"5 megs", 5'000'000, 2},    {"5megs", 5'000'000, 1},
        {"1.5gb", 1'500'000'000, 1}, {".5gb", 500'000'000, 1},
        {"5.gb", 5'000'000'000, 1},  {"2 t", 2'000'000'000'000, 2},
        {"0.0000001kb", 0, 1},       {"9000000000000000000b", 9'000'000'000'000'000'000, 1},
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
    for (const char* text : {"5", "0mb", "0 mb", "-5mb", "5 minutes", "5 mbs", "mb", "1.2.3mb",
                             ".mb", "\u00BDmb", "\u00B2mb", "\u0665mb", "over500kb", ""})
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
    EXPECT_EQ(year(u"2026", 2025), 2026);
    EXPECT_FALSE(year(u"2026", 2024));
    for (const char16_t* text : {u"1989", u"99", u"02024", u"+999", u""})
        EXPECT_FALSE(year(text, 2026));
}

TEST(ReadInteger, SignedDecimalThatFits)
{
    EXPECT_EQ(integer(u"+42"), 42);
    EXPECT_EQ(integer(u"9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(integer(u"-9223372036854775808"), std::numeric_limits<qint64>::min());
    for (const char16_t* text :
         {u"9223372036854775808", u"", u"+", u"-", u"+-1", u"1e3", u"4.0", u" 4", u"\u0664"})
        EXPECT_FALSE(integer(text));
}
