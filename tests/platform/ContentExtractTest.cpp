#include "ContentFixtures.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include "platform/content/TextExtractor.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace ovra;
using namespace ovra::content;
using Outcome = ExtractedText::Outcome;

namespace {

QString textOf(const ExtractedText& extracted)
{
    return QString::fromUtf8(extracted.text);
}

// Words as a reader sees them: runs of white space folded to one space.
QString wordsOf(const ExtractedText& extracted)
{
    return textOf(extracted).simplified();
}

} // namespace

TEST(ContentExtract, FormatsComeFromTheSuffix)
{
    EXPECT_EQ(textFormatForFileName(u"notes.TXT"), TextFormat::Plain);
    EXPECT_EQ(textFormatForFileName(u"README.md"), TextFormat::Plain);
    EXPECT_EQ(textFormatForFileName(u"main.cpp"), TextFormat::Plain);
    EXPECT_EQ(textFormatForFileName(u"page.htm"), TextFormat::Html);
    EXPECT_EQ(textFormatForFileName(u"Résumé.pdf"), TextFormat::Pdf);
    EXPECT_EQ(textFormatForFileName(u"a.ods"), TextFormat::OpenDocument);
    EXPECT_EQ(textFormatForFileName(u"a.pptx"), TextFormat::OfficeOpenXml);
    EXPECT_EQ(textFormatForFileName(u"photo.jpg"), TextFormat::None);
    EXPECT_EQ(textFormatForFileName(u"Makefile"), TextFormat::None);
    EXPECT_EQ(textFormatForFileName(u"trailing."), TextFormat::None);
}

TEST(ContentExtract, PlainTextInUtf8AndLatin1)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    TextExtractor extractor;

    const QString utf8 =
        home.writeFile(QStringLiteral("a.txt"), "\xEF\xBB\xBFZ\xC3\xBCrich caf\xC3\xA9\n");
    ExtractedText text = extractor.extract(utf8);
    EXPECT_EQ(text.outcome, Outcome::Text);
    EXPECT_EQ(textOf(text), QStringLiteral("Zürich café\n")); // the byte-order mark is not text

    // Not valid UTF-8, so read as Latin-1; its Windows form gives the curly quotes.
    const QString latin1 = home.writeFile(QStringLiteral("b.md"), "R\xE9sum\xE9 \x93na\xEFve\x94");
    text = extractor.extract(latin1);
    EXPECT_EQ(text.outcome, Outcome::Text);
    EXPECT_EQ(textOf(text), QStringLiteral("Résumé “naïve”"));
}

TEST(ContentExtract, HtmlKeepsOnlyTheReadableWords)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    const QString page = home.writeFile(
        QStringLiteral("page.html"),
        "<!DOCTYPE html><html><head><title>Caf&eacute; menu</title>"
        "<style>p { color: red }</style><script>var hidden = '<p>secret</p>';</script></head>"
        "<body><p>R<b>&eacute;</b>sum&#233; &amp; cover&#x2019;s</p><!-- a comment -->"
        "<div title=\"a > b\">Fish&nbsp;&amp;&nbsp;chips</div><p>AT&T 1 < 2</p></body></html>");
    const ExtractedText text = TextExtractor().extract(page);
    ASSERT_EQ(text.outcome, Outcome::Text);
    const QString words = wordsOf(text);
    EXPECT_TRUE(words.contains(QStringLiteral("Café menu")));
    EXPECT_TRUE(words.contains(QStringLiteral("Résumé & cover’s"))) << words.toStdString();
    EXPECT_TRUE(textOf(text).contains(QStringLiteral("Fish\u00A0&\u00A0chips")));
    EXPECT_TRUE(words.contains(QStringLiteral("AT&T 1 < 2")));
    EXPECT_FALSE(words.contains(QStringLiteral("secret")));
    EXPECT_FALSE(words.contains(QStringLiteral("color")));
    EXPECT_FALSE(words.contains(QStringLiteral("comment")));
}

TEST(ContentExtract, RtfBodyWithoutItsTables)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    const QString rtf = home.writeFile(
        QStringLiteral("letter.rtf"),
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Times New Roman;}}{\\colortbl;\\red255\\green0\\blue0;}"
        "{\\*\\generator Writer}\\f0 Dear Ren\\'e9e,\\par It\\u8217?s {\\b bold}ly done.}");
    const ExtractedText text = TextExtractor().extract(rtf);
    ASSERT_EQ(text.outcome, Outcome::Text);
    EXPECT_EQ(wordsOf(text), QStringLiteral("Dear Renée, It’s boldly done."));
}

TEST(ContentExtract, OfficeDocumentsFromZipContainers)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    TextExtractor extractor;

    // Word splits words across runs; paragraphs separate them.
    const QString docx = home.path(QStringLiteral("report.docx"));
    ASSERT_TRUE(test::writeZip(docx, test::docxEntries({QStringLiteral("Quar|terly rep|ort"),
                                                        QStringLiteral("Résumé & more")})));
    ExtractedText text = extractor.extract(docx);
    ASSERT_EQ(text.outcome, Outcome::Text);
    EXPECT_EQ(wordsOf(text), QStringLiteral("Quarterly report Résumé & more"));

    const QString odt = home.path(QStringLiteral("essay.odt"));
    ASSERT_TRUE(test::writeZip(
        odt, test::odtEntries({QStringLiteral("Über|all"), QStringLiteral("naïve")})));
    text = extractor.extract(odt);
    ASSERT_EQ(text.outcome, Outcome::Text);
    EXPECT_EQ(wordsOf(text), QStringLiteral("Überall naïve"));

    // A spreadsheet's words are its shared strings; field codes and styles are not words.
    const QString xlsx = home.path(QStringLiteral("budget.xlsx"));
    ASSERT_TRUE(test::writeZip(
        xlsx, {{QStringLiteral("xl/sharedStrings.xml"),
                "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                "<si><t>Rent</t></si><si><r><t>Gro</t></r><r><t>ceries</t></r></si></sst>"},
               {QStringLiteral("xl/styles.xml"), "<styleSheet><t>Calibri</t></styleSheet>"}}));
    text = extractor.extract(xlsx);
    ASSERT_EQ(text.outcome, Outcome::Text);
    EXPECT_EQ(wordsOf(text), QStringLiteral("Rent Groceries"));
}

TEST(ContentExtract, PdfTextLayer)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    if (!test::canDrawPdfs()) GTEST_SKIP() << "no GUI application to draw the PDF with";
    const QString pdf = home.path(QStringLiteral("Résumé.pdf"));
    ASSERT_TRUE(test::writePdf(pdf, QStringLiteral("Curriculum Résumé of Ann")));
    const ExtractedText text = TextExtractor().extract(pdf);
    ASSERT_EQ(text.outcome, Outcome::Text);
    EXPECT_TRUE(wordsOf(text).contains(QStringLiteral("Curriculum Résumé of Ann")))
        << text.text.toStdString();
}

TEST(ContentExtract, SizeAndTimeCaps)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    ExtractLimits limits;
    limits.maxTextBytes = 1001;
    // A run of two-byte characters cut at an odd byte count must stay valid UTF-8.
    const QString big = home.writeFile(QStringLiteral("huge.log"), QString(5000, u'é').toUtf8());
    ExtractedText text = TextExtractor(limits).extract(big);
    ASSERT_EQ(text.outcome, Outcome::Text);
    EXPECT_TRUE(text.isTruncated);
    EXPECT_EQ(text.text.size(), 1000);
    EXPECT_EQ(textOf(text), QString(500, u'é'));

    // A spent time budget keeps what was read so far and says it was cut.
    limits = {};
    limits.timeBudget = std::chrono::milliseconds(0);
    const QString page =
        home.writeFile(QStringLiteral("slow.html"), QByteArray("<p>word</p>").repeated(20000));
    text = TextExtractor(limits).extract(page);
    EXPECT_EQ(text.outcome, Outcome::Text);
    EXPECT_TRUE(text.isTruncated);
    EXPECT_LT(text.text.size(), 20000 * 5);
}

TEST(ContentExtract, HostileAndMalformedFiles)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    TextExtractor extractor;

    // A binary file with a text name: NUL bytes, or mostly control characters.
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 7919) & 0xFF));
    EXPECT_EQ(extractor.extract(home.writeFile(QStringLiteral("data.txt"), binary)).outcome,
              Outcome::NoText);
    EXPECT_EQ(extractor
                  .extract(home.writeFile(QStringLiteral("ctl.txt"), QByteArray("\x01\x02\x03\x04"
                                                                                "ab\x05\x06",
                                                                                8)))
                  .outcome,
              Outcome::NoText);
    EXPECT_EQ(
        extractor.extract(home.writeFile(QStringLiteral("fake.rtf"), "not rtf at all")).outcome,
        Outcome::NoText);

    // A zip cut in half has no central directory.
    const QString whole = home.path(QStringLiteral("whole.docx"));
    ASSERT_TRUE(test::writeZip(whole, test::docxEntries({QStringLiteral("some words here")})));
    QFile file(whole);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray zipBytes = file.readAll();
    file.close();
    const QString cut =
        home.writeFile(QStringLiteral("cut.docx"), zipBytes.left(zipBytes.size() / 2));
    EXPECT_EQ(extractor.extract(cut).outcome, Outcome::Rejected);
    EXPECT_EQ(extractor.extract(home.writeFile(QStringLiteral("empty.odt"), "")).outcome,
              Outcome::Rejected);

    // A zip bomb: a small part that inflates a thousandfold is refused as it inflates,
    // whatever sizes the archive declares, and none of its text is kept.
    const QByteArray bomb =
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:body><w:p><w:r><w:t>bomb " +
        QByteArray(40 * 1024 * 1024, ' ') + "</w:t></w:r></w:p></w:body></w:document>";
    const QString bombPath = home.path(QStringLiteral("bomb.docx"));
    ASSERT_TRUE(test::writeZip(bombPath, {{QStringLiteral("word/document.xml"), bomb}}));
    // The time budget runs on the clock, which a busy machine can spend before
    // the inflation is refused: here it is out of the way.
    ExtractLimits patient;
    patient.timeBudget = test::kPatience;
    const ExtractedText bombText = TextExtractor(patient).extract(bombPath);
    EXPECT_EQ(bombText.outcome, Outcome::Rejected);
    EXPECT_TRUE(bombText.text.isEmpty());

    // Too many entries for a document.
    ExtractLimits fewEntries;
    fewEntries.maxArchiveEntries = 2;
    EXPECT_EQ(TextExtractor(fewEntries).extract(whole).outcome, Outcome::Rejected);

    // A PDF that does not parse, and one that needs a password we do not have.
    EXPECT_EQ(
        extractor.extract(home.writeFile(QStringLiteral("junk.pdf"), "%PDF-1.4\n garbage \x01\x02"))
            .outcome,
        Outcome::Rejected);
    // Named as a PDF but none: no text, rather than every byte scanned by the parser.
    EXPECT_EQ(extractor.extract(home.writeFile(QStringLiteral("zeros.pdf"), QByteArray(1 << 20, 0)))
                  .outcome,
              Outcome::NoText);
    QByteArray locked = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    auto object = [&](const QByteArray& body) {
        offsets << locked.size();
        locked += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    object("<< /Length 8 >>\nstream\n\x8a\x11\x42\x99\x03\x77\xde\x10\nendstream");
    object("<< /Filter /Standard /V 1 /R 2 /P -4 /O <" + QByteArray(64, 'a') + "> /U <" +
           QByteArray(64, 'b') + "> >>");
    const qsizetype xref = locked.size();
    locked += "xref\n0 6\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        locked += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    locked +=
        "trailer\n<< /Size 6 /Root 1 0 R /Encrypt 5 0 R /ID [<0123456789abcdef0123456789abcdef> "
        "<0123456789abcdef0123456789abcdef>] >>\nstartxref\n" +
        QByteArray::number(xref) + "\n%%EOF\n";
    EXPECT_EQ(extractor.extract(home.writeFile(QStringLiteral("locked.pdf"), locked)).outcome,
              Outcome::Rejected);
}

TEST(ContentExtract, NeitherFollowsLinksNorBlocksOnSpecialFiles)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    TextExtractor extractor;
    const QString target = home.writeFile(QStringLiteral("real.txt"), "linked words");
    const QString link = home.path(QStringLiteral("link.txt"));
    ASSERT_EQ(::symlink(target.toUtf8().constData(), link.toUtf8().constData()), 0);
    EXPECT_EQ(extractor.extract(link).outcome, Outcome::Unreadable);

    const QString fifo = home.path(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    EXPECT_EQ(extractor.extract(fifo).outcome,
              Outcome::Unreadable); // returns at once, no writer needed

    EXPECT_EQ(extractor.extract(home.path(QStringLiteral("missing.txt"))).outcome,
              Outcome::Unreadable);
}

TEST(ContentExtract, ReadingLeavesTheAccessTimeAlone)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    // An access time older than the modification time: any ordinary read would
    // update it, even on a relatime mount.
    const QString path = home.writeFile(QStringLiteral("diary.txt"), "private words", 1700000000.0);
    test::TestHome::setTimes(path, 1600000000.0, std::nullopt);
    ASSERT_EQ(TextExtractor().extract(path).outcome, Outcome::Text);
    struct stat st {};
    ASSERT_EQ(::stat(path.toUtf8().constData(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1600000000);
}
