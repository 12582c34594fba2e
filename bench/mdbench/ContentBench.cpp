#include "ContentBench.h"

#include "common/BenchOutput.h"

#include "platform/FileTime.h"
#include "platform/content/ContentIndex.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

namespace ovra::bench {
namespace {

using content::ContentIndex;
using content::FileStamp;

// ---- output --------------------------------------------------------------------

// Processor seconds spent so far by this process and by its children that
// have ended (the helpers, once the index that kept them is gone).
double processorSeconds()
{
    auto seconds = [](int who) {
        rusage usage{};
        ::getrusage(who, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    return seconds(RUSAGE_SELF) + seconds(RUSAGE_CHILDREN);
}

void printLine(QJsonObject fields)
{
    QJsonObject line{{QStringLiteral("bench"), QStringLiteral("content")}};
    for (auto it = fields.begin(); it != fields.end(); ++it)
        line.insert(it.key(), it.value());
    std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

void metric(const QString& name, double value, const QString& unit, QJsonObject extra = {})
{
    extra.insert(QStringLiteral("metric"), name);
    extra.insert(QStringLiteral("value"), value);
    extra.insert(QStringLiteral("unit"), unit);
    printLine(extra);
}

// How many times faster we are than the peer (the peer's figure over ours).
void ratio(const QString& peer, const QString& compares, double ours, double theirs)
{
    metric(QStringLiteral("ratio"), ours > 0 ? theirs / ours : 0.0, QStringLiteral("x (peer/ours)"),
           {{QStringLiteral("peer"), peer},
            {QStringLiteral("compares"), compares},
            {QStringLiteral("ours"), ours},
            {QStringLiteral("theirs"), theirs}});
}

// ---- the corpus ------------------------------------------------------------------

// Accented words every format can carry (all within Windows-1252, which is what
// the generated PDFs' standard font encodes), with the plain spelling people type.
struct AccentedWord {
    const char* written;
    const char* typed;
};
constexpr AccentedWord kAccentedWords[] = {
    {"Résumé", "resume"},          {"café", "cafe"},           {"naïve", "naive"},
    {"Zürich", "zurich"},          {"façade", "facade"},       {"crème", "creme"},
    {"brûlée", "brulee"},          {"Ångström", "angstrom"},   {"Øresund", "oresund"},
    {"piñata", "pinata"},          {"jalapeño", "jalapeno"},   {"Straße", "strasse"},
    {"fiancée", "fiancee"},        {"Noël", "noel"},           {"smörgåsbord", "smorgasbord"},
    {"Ærøskøbing", "aeroskobing"}, {"Reykjavík", "reykjavik"}, {"Curaçao", "curacao"},
    {"œuvre", "oeuvre"},           {"Šibenik", "sibenik"}};

class Corpus {
public:
    explicit Corpus(std::uint64_t seed)
        : m_random(seed)
    {
        makeVocabulary();
    }

    const QStringList& vocabulary() const { return m_vocabulary; }

    // One document's words as paragraphs of lines.
    QList<QStringList> paragraphs()
    {
        std::uniform_int_distribution<int> wordCount(80, 1200);
        const int words = wordCount(m_random);
        QList<QStringList> result;
        QStringList paragraph;
        QString line;
        std::bernoulli_distribution hasAccented(0.25);
        std::uniform_int_distribution<int> accentedPick(0, int(std::size(kAccentedWords)) - 1);
        for (int i = 0; i < words; ++i) {
            const QString word =
                hasAccented(m_random) && i % 97 == 0
                    ? QString::fromUtf8(kAccentedWords[accentedPick(m_random)].written)
                    : sampleWord();
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
            if (line.size() > 70) {
                paragraph << line;
                line.clear();
                if (paragraph.size() >= 6) {
                    result << paragraph;
                    paragraph.clear();
                }
            }
        }
        if (!line.isEmpty()) paragraph << line;
        if (!paragraph.isEmpty()) result << paragraph;
        return result;
    }

private:
    // Pronounceable made-up words, so that no language's stemming or stop list
    // makes the peers disagree about what a word is.
    void makeVocabulary()
    {
        static const char* const onsets[] = {"b",  "d",  "f",  "g",  "k",  "l", "m",
                                             "n",  "p",  "r",  "s",  "t",  "v", "z",
                                             "br", "tr", "kl", "st", "pl", "gr"};
        static const char* const vowels[] = {"a", "e", "i", "o", "u", "ai", "ou", "ea"};
        static const char* const codas[] = {"", "", "", "n", "r", "l", "m", "x", "th", "k"};
        std::uniform_int_distribution<int> syllables(2, 4);
        QSet<QString> seen;
        while (m_vocabulary.size() < kVocabularySize) {
            QString word;
            const int n = syllables(m_random);
            for (int s = 0; s < n; ++s) {
                word += QLatin1String(onsets[m_random() % std::size(onsets)]);
                word += QLatin1String(vowels[m_random() % std::size(vowels)]);
                if (s == n - 1) word += QLatin1String(codas[m_random() % std::size(codas)]);
            }
            if (seen.contains(word)) continue;
            seen.insert(word);
            m_vocabulary << word;
        }
        // Word frequencies of natural text fall off as a power of their rank.
        double sum = 0;
        for (int r = 0; r < kVocabularySize; ++r) {
            sum += 1.0 / std::pow(r + 1.0, 1.05);
            m_cumulative.push_back(sum);
        }
    }

    QString sampleWord()
    {
        std::uniform_real_distribution<double> u(0, m_cumulative.back());
        const auto it = std::lower_bound(m_cumulative.begin(), m_cumulative.end(), u(m_random));
        return m_vocabulary[int(it - m_cumulative.begin())];
    }

    static constexpr int kVocabularySize = 20000;
    std::mt19937_64 m_random;
    QStringList m_vocabulary;
    std::vector<double> m_cumulative;
};

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool writeZip(const QString& path, const QList<QPair<const char*, QByteArray>>& entries)
{
    int error = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) return false;
    for (const auto& [name, data] : entries) {
        void* copy = std::malloc(std::size_t(data.size()) + 1);
        std::memcpy(copy, data.constData(), std::size_t(data.size()));
        zip_source_t* source = zip_source_buffer(archive, copy, zip_uint64_t(data.size()), 1);
        if (!source || zip_file_add(archive, name, source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

QString xmlEscaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// Some words wrapped in inline markup that must not split them.
QString styledWords(const QString& line, const QString& open, const QString& close, int salt)
{
    QStringList words = line.split(u' ');
    for (int i = 0; i < words.size(); ++i) {
        if ((i + salt) % 11 == 0) words[i] = open + words[i] + close;
    }
    return words.join(u' ');
}

bool writeTxt(const QString& path, const QList<QStringList>& paragraphs)
{
    QString text;
    for (const QStringList& p : paragraphs)
        text += p.join(u'\n') + QStringLiteral("\n\n");
    return writeBytes(path, text.toUtf8());
}

bool writeMarkdown(const QString& path, const QList<QStringList>& paragraphs)
{
    QString text = QStringLiteral("# ") + paragraphs.value(0).value(0) + QStringLiteral("\n\n");
    for (int i = 0; i < paragraphs.size(); ++i) {
        for (const QString& line : paragraphs[i])
            text += styledWords(line, QStringLiteral("**"), QStringLiteral("**"), i) + u'\n';
        text += u'\n';
    }
    return writeBytes(path, text.toUtf8());
}

QString htmlEscaped(const QString& text)
{
    // Accented letters as character references, as many pages write them.
    QString out;
    for (const QChar ch : text.toHtmlEscaped()) {
        if (ch.unicode() < 0x80)
            out += ch;
        else
            out += QStringLiteral("&#%1;").arg(ch.unicode());
    }
    return out;
}

bool writeHtml(const QString& path, const QList<QStringList>& paragraphs)
{
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                       "<style>p { margin: 0 }</style></head><body>\n")
            .arg(htmlEscaped(paragraphs.value(0).value(0)));
    for (int i = 0; i < paragraphs.size(); ++i) {
        html += QStringLiteral("<p>");
        for (const QString& line : paragraphs[i])
            html +=
                styledWords(htmlEscaped(line), QStringLiteral("<b>"), QStringLiteral("</b>"), i) +
                u'\n';
        html += QStringLiteral("</p>\n");
    }
    return writeBytes(path, (html + QStringLiteral("</body></html>\n")).toUtf8());
}

bool writeDocx(const QString& path, const QList<QStringList>& paragraphs)
{
    QString body;
    for (const QStringList& p : paragraphs) {
        for (const QString& line : p)
            body += QStringLiteral("<w:p><w:r><w:t xml:space=\"preserve\">%1</w:t></w:r></w:p>")
                        .arg(xmlEscaped(line));
    }
    const QByteArray document =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
            "<w:body>%1</w:body></w:document>")
            .arg(body)
            .toUtf8();
    return writeZip(
        path,
        {{"[Content_Types].xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
          "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
          "<Default Extension=\"rels\" "
          "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
          "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
          "<Override PartName=\"/word/document.xml\" "
          "ContentType=\"application/"
          "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
         {"_rels/.rels",
          "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" "
          "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
          "officeDocument\" "
          "Target=\"word/document.xml\"/></Relationships>"},
         {"word/document.xml", document}});
}

bool writeOdt(const QString& path, const QList<QStringList>& paragraphs)
{
    QString body;
    for (int i = 0; i < paragraphs.size(); ++i) {
        for (const QString& line : paragraphs[i])
            body += QStringLiteral("<text:p>%1</text:p>")
                        .arg(styledWords(xmlEscaped(line), QStringLiteral("<text:span>"),
                                         QStringLiteral("</text:span>"), i));
    }
    const QByteArray content =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<office:document-content "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
            "<office:body><office:text>%1</office:text></office:body></office:document-content>")
            .arg(body)
            .toUtf8();
    return writeZip(
        path,
        {{"mimetype", "application/vnd.oasis.opendocument.text"},
         {"META-INF/manifest.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<manifest:manifest "
          "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
          "manifest:version=\"1.2\">"
          "<manifest:file-entry manifest:full-path=\"/\" "
          "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
          "<manifest:file-entry manifest:full-path=\"content.xml\" "
          "manifest:media-type=\"text/xml\"/>"
          "<manifest:file-entry manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/>"
          "</manifest:manifest>"},
         // Office suites always write the metadata part, and recoll skips a file without it.
         {"meta.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<office:document-meta xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
          "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" office:version=\"1.2\">"
          "<office:meta><meta:generator>ovra-mdbench</meta:generator></office:meta></"
          "office:document-meta>"},
         {"content.xml", content}});
}

// A PDF string in the standard font's Windows-1252 encoding.
QByteArray pdfString(const QString& text)
{
    QByteArray out = "(";
    for (const QChar ch : text) {
        uchar byte = 0;
        const char16_t c = ch.unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
            byte = uchar(c);
        else if (c == 0x0152)
            byte = 0x8C; // Œ
        else if (c == 0x0153)
            byte = 0x9C; // œ
        else if (c == 0x0160)
            byte = 0x8A; // Š
        else if (c == 0x0161)
            byte = 0x9A; // š
        else
            byte = '?';
        if (byte == '(' || byte == ')' || byte == '\\')
            out += '\\' + QByteArray(1, char(byte));
        else if (byte >= 0x80)
            out += '\\' + QByteArray::number(byte, 8);
        else
            out += char(byte);
    }
    return out + ")";
}

// A PDF whose pages carry the text in the standard Helvetica font: a real text
// layer, as a word processor's export has.
bool writePdf(const QString& path, const QList<QStringList>& paragraphs)
{
    constexpr int kLinesPerPage = 60;
    QStringList lines;
    for (const QStringList& p : paragraphs)
        lines << p << QString();
    QList<QByteArray> contents;
    for (int start = 0; start < lines.size(); start += kLinesPerPage) {
        QByteArray stream = "BT /F1 10 Tf 12 TL 50 800 Td\n";
        for (int i = start; i < std::min<int>(start + kLinesPerPage, lines.size()); ++i)
            stream += pdfString(lines[i]) + " Tj T*\n";
        contents << stream + "ET";
    }
    const int pages = int(contents.size());
    QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    QList<qsizetype> offsets;
    auto object = [&](const QByteArray& body) {
        offsets << pdf.size();
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    // 1 catalog, 2 pages, 3 font, then page and content pairs.
    object("<< /Type /Catalog /Pages 2 0 R >>");
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(4 + 2 * i) + " 0 R ";
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (int i = 0; i < pages; ++i) {
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 "
               "0 R >> >> "
               "/Contents " +
               QByteArray::number(5 + 2 * i) + " 0 R >>");
        object("<< /Length " + QByteArray::number(contents[i].size()) + " >>\nstream\n" +
               contents[i] + "\nendstream");
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return writeBytes(path, pdf);
}

bool generateCorpus(const QString& dir, int documents, Corpus& corpus)
{
    using Writer = bool (*)(const QString&, const QList<QStringList>&);
    static const QPair<const char*, Writer> kinds[] = {{"txt", writeTxt},   {"md", writeMarkdown},
                                                       {"html", writeHtml}, {"docx", writeDocx},
                                                       {"odt", writeOdt},   {"pdf", writePdf}};
    constexpr int kPerFolder = 100;
    for (int i = 0; i < documents; ++i) {
        const QString folder =
            dir + QStringLiteral("/folder-%1").arg(i / kPerFolder, 3, 10, QLatin1Char('0'));
        if (i % kPerFolder == 0 && !QDir().mkpath(folder)) return false;
        const auto& [suffix, write] = kinds[i % std::size(kinds)];
        const QString path = folder + QStringLiteral("/doc-%1.").arg(i, 5, 10, QLatin1Char('0')) +
                             QLatin1String(suffix);
        if (!write(path, corpus.paragraphs())) return false;
    }
    return true;
}

// ---- the two indexers --------------------------------------------------------------

std::vector<FileStamp> walk(const QString& dir, std::int64_t* totalBytes = nullptr)
{
    std::vector<FileStamp> stamps;
    QDirIterator it(dir, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    std::int64_t bytes = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        stamps.push_back({path, st.st_size, fileTimeSeconds(st.st_mtim)});
        bytes += st.st_size;
    }
    if (totalBytes) *totalBytes = bytes;
    return stamps;
}

std::int64_t databaseBytes(const QString& path)
{
    std::int64_t bytes = 0;
    for (const char* suffix : {"", "-wal"})
        bytes += QFileInfo(path + QLatin1String(suffix)).size();
    return bytes;
}

struct ProcessRun {
    bool succeeded = false;
    double seconds = 0;
    QByteArray output;
};

ProcessRun runProcess(const QString& program, const QStringList& args, int timeoutSeconds)
{
    ProcessRun run;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForStarted(10000)) return run;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutSeconds * 1000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.output = process.readAllStandardOutput();
    run.succeeded = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return run;
}

QSet<QString> recollPaths(const QByteArray& output)
{
    QSet<QString> paths;
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("file://")) paths.insert(QString::fromUtf8(line.mid(7)).trimmed());
    }
    return paths;
}

struct Query {
    QString word;
    bool isPrefix;
};

QList<Query> chooseQueries(const QStringList& vocabulary)
{
    QList<Query> queries;
    // Words from the most common to the rarest, and the accented words typed plainly.
    for (const int rank : {0, 1, 3, 7, 15, 30, 60, 120, 250, 500, 1000, 2000, 4000, 8000, 16000})
        queries.push_back({vocabulary.value(rank), false});
    for (const AccentedWord& w : kAccentedWords)
        queries.push_back({QString::fromUtf8(w.typed), false});
    // Word beginnings, as the search field asks for them.
    for (const int rank : {2, 40, 400, 3000})
        queries.push_back({vocabulary.value(rank).left(4), true});
    return queries;
}

QString listed(const QSet<QString>& paths, int max)
{
    QStringList sorted(paths.begin(), paths.end());
    sorted.sort();
    return sorted.mid(0, max).join(QStringLiteral(", "));
}

} // namespace

int runContentBench(const Arguments& args)
{
    if (const QString unknown =
            args.firstUnknown({"--docs", "--dir", "--threads", "--repeat"}, {"--no-peer"});
        !unknown.isEmpty()) {
        std::fprintf(stderr, "content: unknown option %s\n", qPrintable(unknown));
        return 2;
    }
    const int documents = int(args.integer(QStringLiteral("--docs"), 10000));
    QString dir = args.text(QStringLiteral("--dir"));
    const int threads = int(args.integer(QStringLiteral("--threads"), 0));
    const int repeat = std::max(1, int(args.integer(QStringLiteral("--repeat"), 20)));
    const bool runPeer = !args.flag(QStringLiteral("--no-peer"));
    QTemporaryDir work;
    if (!work.isValid()) return 1;
    if (dir.isEmpty()) dir = work.path() + QStringLiteral("/corpus");
    dir = QFileInfo(dir).absoluteFilePath();
    QDir().mkpath(dir);

    // 1. The corpus.
    Corpus corpus(20240601);
    QElapsedTimer timer;
    timer.start();
    if (!generateCorpus(dir, documents, corpus)) {
        std::fprintf(stderr, "content: cannot write the corpus in %s\n", qPrintable(dir));
        return 1;
    }
    std::int64_t corpusBytes = 0;
    const std::vector<FileStamp> stamps = walk(dir, &corpusBytes);
    metric(QStringLiteral("corpus_documents"), double(stamps.size()), QStringLiteral("files"),
           {{QStringLiteral("dir"), dir}});
    metric(QStringLiteral("corpus_bytes"), double(corpusBytes), QStringLiteral("bytes"));
    metric(QStringLiteral("corpus_generate_seconds"), double(timer.nsecsElapsed()) / 1e9,
           QStringLiteral("s"));

    // 2. Our index: a full build on all cores, then a pass with nothing changed
    //    (walking the folder included, as recollindex walks it too). The files are
    //    read in the extraction helpers, as in the app; a full build read in this
    //    process comes first, to show what the isolation costs.
    ContentIndex::Options options;
    options.databasePath = work.path() + QStringLiteral("/ovra/in-process.sqlite");
    options.threads = threads;
    options.niceness = 0; // the peer runs at normal priority too
    options.usesHelpers = false;
    const int usedThreads = threads > 0 ? threads : QThread::idealThreadCount();
    double inProcessSeconds = 0;
    {
        ContentIndex inProcess(options);
        const double processorBefore = processorSeconds();
        timer.restart();
        inProcess.update(walk(dir));
        inProcessSeconds = double(timer.nsecsElapsed()) / 1e9;
        metric(QStringLiteral("ovra_index_full_in_process_seconds"), inProcessSeconds,
               QStringLiteral("s"), {{QStringLiteral("threads"), usedThreads}});
        metric(QStringLiteral("ovra_index_full_in_process_cpu_seconds"),
               processorSeconds() - processorBefore, QStringLiteral("s"));
    }
    options.databasePath = work.path() + QStringLiteral("/ovra/content-index.sqlite");
    options.usesHelpers = true;
    options.helperProgram = QStringLiteral(OVRA_EXTRACT_PROGRAM);
    // The index that made the full build ends with it, so that its helpers'
    // processor time is counted; the passes after it open the same file again.
    ContentIndex::UpdateResult full;
    double fullSeconds = 0;
    double fullProcessorSeconds = 0;
    {
        ContentIndex building(options);
        if (!building.isOpen()) {
            std::fprintf(stderr, "content: cannot open %s\n", qPrintable(options.databasePath));
            return 1;
        }
        const double processorBefore = processorSeconds();
        timer.restart();
        full = building.update(walk(dir));
        fullSeconds = double(timer.nsecsElapsed()) / 1e9;
        fullProcessorSeconds = -processorBefore;
    }
    fullProcessorSeconds += processorSeconds();
    ContentIndex index(options);
    metric(QStringLiteral("ovra_index_full_seconds"), fullSeconds, QStringLiteral("s"),
           {{QStringLiteral("threads"), usedThreads},
            {QStringLiteral("read"), double(full.read)},
            {QStringLiteral("rejected"), double(full.rejected)}});
    metric(QStringLiteral("ovra_index_documents_per_second"), double(full.read) / fullSeconds,
           QStringLiteral("docs/s"));
    metric(QStringLiteral("ovra_index_full_cpu_seconds"), fullProcessorSeconds, QStringLiteral("s"),
           {{QStringLiteral("helpers"), QStringLiteral("included")}});
    metric(QStringLiteral("ovra_helpers_share_of_in_process"),
           100.0 * fullSeconds / inProcessSeconds, QStringLiteral("%"),
           {{QStringLiteral("target"), QStringLiteral("<= 110")}});
    metric(QStringLiteral("ovra_index_database_bytes"), double(databaseBytes(options.databasePath)),
           QStringLiteral("bytes"));

    timer.restart();
    const ContentIndex::UpdateResult again = index.update(walk(dir));
    const double incrementalSeconds = double(timer.nsecsElapsed()) / 1e9;
    metric(QStringLiteral("ovra_index_incremental_seconds"), incrementalSeconds,
           QStringLiteral("s"),
           {{QStringLiteral("read"), double(again.read)},
            {QStringLiteral("unchanged"), double(again.unchanged)}});
    metric(QStringLiteral("ovra_incremental_share_of_full"),
           100.0 * incrementalSeconds / fullSeconds, QStringLiteral("%"),
           {{QStringLiteral("target"), QStringLiteral("< 5")}});

    // 3. Our queries: each word a number of times; latency per call.
    const QList<Query> queries = chooseQueries(corpus.vocabulary());
    std::vector<double> wordLatencies;
    std::vector<double> prefixLatencies;
    QHash<QString, QSet<QString>> ours;
    for (const Query& q : queries) {
        for (int r = 0; r < repeat; ++r) {
            timer.restart();
            QSet<QString> found = index.matchingPaths(q.word, q.isPrefix);
            (q.isPrefix ? prefixLatencies : wordLatencies)
                .push_back(double(timer.nsecsElapsed()) / 1e6);
            if (r == 0) ours.insert(q.word + (q.isPrefix ? QStringLiteral("*") : QString()), found);
        }
    }
    metric(QStringLiteral("ovra_query_word_median_ms"), percentile(wordLatencies, 0.5),
           QStringLiteral("ms"));
    metric(QStringLiteral("ovra_query_word_p95_ms"), percentile(wordLatencies, 0.95),
           QStringLiteral("ms"), {{QStringLiteral("target"), QStringLiteral("< 20")}});
    metric(QStringLiteral("ovra_query_prefix_median_ms"), percentile(prefixLatencies, 0.5),
           QStringLiteral("ms"));
    metric(QStringLiteral("ovra_query_prefix_p95_ms"), percentile(prefixLatencies, 0.95),
           QStringLiteral("ms"));

    if (!runPeer) return 0;

    // 4. The peer: recollindex with its default configuration, pointed at the folder.
    const QString confDir = work.path() + QStringLiteral("/recoll");
    QDir().mkpath(confDir);
    if (!writeBytes(confDir + QStringLiteral("/recoll.conf"), ("topdirs = " + dir + "\n").toUtf8()))
        return 1;
    const ProcessRun recollFull =
        runProcess(QStringLiteral("recollindex"), {QStringLiteral("-c"), confDir}, 3600);
    if (!recollFull.succeeded) {
        std::fprintf(
            stderr,
            "content: recollindex failed or is missing (scripts/install-deps.sh installs it)\n");
        return 1;
    }
    metric(QStringLiteral("recoll_index_full_seconds"), recollFull.seconds, QStringLiteral("s"));
    metric(QStringLiteral("recoll_index_documents_per_second"),
           double(stamps.size()) / recollFull.seconds, QStringLiteral("docs/s"));
    const ProcessRun recollAgain =
        runProcess(QStringLiteral("recollindex"), {QStringLiteral("-c"), confDir}, 3600);
    metric(QStringLiteral("recoll_index_incremental_seconds"), recollAgain.seconds,
           QStringLiteral("s"));
    ratio(QStringLiteral("recollindex"), QStringLiteral("index_full_seconds"), fullSeconds,
          recollFull.seconds);
    ratio(QStringLiteral("recollindex"), QStringLiteral("index_incremental_seconds"),
          incrementalSeconds, recollAgain.seconds);

    // 5. The same queries through recollq, without stem expansion (our index has
    //    none); a query's time includes starting the program and opening its index.
    std::vector<double> recollLatencies;
    int sameFiles = 0;
    int compared = 0;
    for (const Query& q : queries) {
        const QString key = q.word + (q.isPrefix ? QStringLiteral("*") : QString());
        const ProcessRun run =
            runProcess(QStringLiteral("recollq"),
                       {QStringLiteral("-c"), confDir, QStringLiteral("-b"), QStringLiteral("-n"),
                        QStringLiteral("0"), QStringLiteral("-s"), QString(), key},
                       120);
        if (!run.succeeded) {
            std::fprintf(stderr, "content: recollq failed for %s\n", qPrintable(key));
            continue;
        }
        recollLatencies.push_back(run.seconds * 1000.0);
        const QSet<QString> theirs = recollPaths(run.output);
        const QSet<QString> mine = ours.value(key);
        const QSet<QString> onlyOurs = QSet<QString>(mine).subtract(theirs);
        const QSet<QString> onlyTheirs = QSet<QString>(theirs).subtract(mine);
        ++compared;
        if (onlyOurs.isEmpty() && onlyTheirs.isEmpty()) ++sameFiles;
        metric(QStringLiteral("matching_files"), double(mine.size()), QStringLiteral("files"),
               {{QStringLiteral("query"), key},
                {QStringLiteral("recoll"), double(theirs.size())},
                {QStringLiteral("only_ovra"), double(onlyOurs.size())},
                {QStringLiteral("only_recoll"), double(onlyTheirs.size())},
                {QStringLiteral("only_ovra_examples"), listed(onlyOurs, 3)},
                {QStringLiteral("only_recoll_examples"), listed(onlyTheirs, 3)}});
    }
    metric(QStringLiteral("queries_with_same_files"), sameFiles, QStringLiteral("queries"),
           {{QStringLiteral("of"), compared}});
    const double recollMedian = percentile(recollLatencies, 0.5);
    metric(QStringLiteral("recollq_median_ms"), recollMedian, QStringLiteral("ms"));
    metric(QStringLiteral("recollq_p95_ms"), percentile(recollLatencies, 0.95),
           QStringLiteral("ms"));
    std::vector<double> allOurs = wordLatencies;
    allOurs.insert(allOurs.end(), prefixLatencies.begin(), prefixLatencies.end());
    ratio(QStringLiteral("recollq"), QStringLiteral("query_median_ms"), percentile(allOurs, 0.5),
          recollMedian);
    return 0;
}

} // namespace ovra::bench
