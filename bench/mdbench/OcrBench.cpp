#include "OcrBench.h"

#include "common/BenchOutput.h"
#include "common/PeerProcesses.h"
#include "services/TextIndex.h"
#include "services/TextRecognizer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTransform>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <vector>

namespace ovra::bench {

namespace {

const char* const kWords[] = {
    "account",   "address",  "after",      "again",     "agreement", "almost",   "always",
    "answer",    "applied",  "april",      "archive",   "around",    "attached", "august",
    "balance",   "because",  "before",     "benefit",   "between",   "budget",   "building",
    "business",  "calendar", "camera",     "careful",   "certain",   "change",   "chapter",
    "children",  "choose",   "company",    "complete",  "contract",  "country",  "customer",
    "daily",     "damage",   "delivery",   "design",    "details",   "develop",  "different",
    "document",  "during",   "early",      "education", "energy",    "evening",  "example",
    "family",    "february", "finance",    "finished",  "follow",    "forward",  "friday",
    "garden",    "general",  "government", "group",     "happen",    "health",   "history",
    "holiday",   "hospital", "however",    "important", "include",   "increase", "invoice",
    "journey",   "kitchen",  "language",   "later",     "library",   "light",    "little",
    "machine",   "market",   "meeting",    "member",    "message",   "minute",   "monday",
    "morning",   "mountain", "music",      "nature",    "network",   "number",   "october",
    "office",    "order",    "other",      "payment",   "people",    "perhaps",  "picture",
    "planning",  "possible", "power",      "present",   "problem",   "process",  "product",
    "project",   "public",   "question",   "quickly",   "receipt",   "record",   "report",
    "research",  "result",   "river",      "school",    "science",   "second",   "service",
    "several",   "should",   "simple",     "somewhere", "special",   "station",  "still",
    "student",   "summer",   "support",    "system",    "table",     "teacher",  "thanks",
    "through",   "today",    "together",   "travel",    "tuesday",   "under",    "until",
    "update",    "value",    "village",    "water",     "weather",   "weekend",  "window",
    "winter",    "without",  "woman",      "wonderful", "working",   "written",  "yellow",
    "yesterday", "young",    "bread",      "coffee",    "dinner",    "orange",   "street",
};

QString sentence(QRandomGenerator& random, int words)
{
    QStringList out;
    for (int i = 0; i < words; ++i) {
        QString word = QString::fromLatin1(kWords[random.bounded(int(std::size(kWords)))]);
        if (i == 0) word[0] = word[0].toUpper();
        out << word;
    }
    return out.join(u' ');
}

// A screen of an application: a title, then paragraphs in several sizes, dark
// on light as most windows are.
void writeScreenshot(const QString& path, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(1440, 900, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(int(random.bounded(360)), 12, 250));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    static const int sizes[] = {13, 15, 18, 22};
    const QString family =
        random.bounded(2) ? QStringLiteral("DejaVu Sans") : QStringLiteral("DejaVu Serif");
    int y = 40;
    QFont title(family);
    title.setPixelSize(30);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(20, 20, 30));
    painter.drawText(40, y + 30, sentence(random, 3));
    y += 70;
    while (y < 860) {
        QFont font(family);
        font.setPixelSize(sizes[random.bounded(int(std::size(sizes)))]);
        painter.setFont(font);
        painter.setPen(QColor::fromHsv(0, 0, int(random.bounded(60))));
        const int lines = 2 + int(random.bounded(4));
        const int step = font.pixelSize() * 3 / 2;
        for (int l = 0; l < lines && y + step < 880; ++l) {
            y += step;
            painter.drawText(40, y, sentence(random, 6 + int(random.bounded(7))));
        }
        y += step;
    }
    painter.end();
    image.save(path, "png");
}

// A printed page as a scanner returns it: grey, a little turned, with grain, in
// a PDF that holds only the picture.
void writeScannedPdf(const QString& path, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage page(1700, 2200, QImage::Format_RGB32); // Letter at 200 dpi
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(32);
        painter.setFont(font);
        painter.setPen(QColor(25, 25, 25));
        for (int y = 200; y < 2000; y += 56)
            painter.drawText(180, y, sentence(random, 7 + int(random.bounded(3))));
    }
    const double angle = (random.bounded(200) - 100) / 100.0; // within one degree
    QImage turned = page.transformed(QTransform().rotate(angle), Qt::SmoothTransformation);
    QImage scan(page.size(), QImage::Format_Grayscale8);
    scan.fill(235);
    {
        QPainter painter(&scan);
        painter.drawImage((scan.width() - turned.width()) / 2,
                          (scan.height() - turned.height()) / 2,
                          turned.convertToFormat(QImage::Format_Grayscale8));
    }
    for (int y = 0; y < scan.height(); ++y) {
        uchar* line = scan.scanLine(y);
        for (int x = 0; x < scan.width(); ++x)
            line[x] = uchar(std::clamp(int(line[x]) + int(random.bounded(25)) - 12, 0, 255));
    }
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(200);
    QPainter painter(&writer);
    painter.drawImage(QRect(0, 0, writer.width(), writer.height()), scan);
}

QStringList wordsOf(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}]+"));
    return text.toCaseFolded().split(separators, Qt::SkipEmptyParts);
}

void printRun(const char* kind, const char* tool, int files, double seconds, double cores,
              int failed, double load)
{
    std::printf("{\"bench\": \"ocr\", \"kind\": \"%s\", \"tool\": \"%s\", \"files\": %d, "
                "\"seconds\": %.3f, \"per_second\": %.2f, \"cores\": %.2f, \"failed\": %d, "
                "\"load\": %.1f}\n",
                kind, tool, files, seconds, files / seconds, cores, failed, load);
    std::fflush(stdout);
}

// Until the index is in, on this thread's event loop.
double loadedMs(TextIndex& index, QElapsedTimer& timer)
{
    if (!index.hasLoaded()) {
        QEventLoop loop;
        QObject::connect(&index, &TextIndex::hasLoadedChanged, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return timer.nsecsElapsed() / 1e6;
}

void runIndexPart(const QString& dataHome, int entries)
{
    qputenv("XDG_DATA_HOME", dataHome.toUtf8());
    const QString file = TextIndex::fileLocation();
    QDir().mkpath(QFileInfo(file).absolutePath());
    {
        // The JSON file alone, one compact object keyed by path, as an earlier
        // version left it.
        QRandomGenerator random(7);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly)) return;
        QByteArray json = "{";
        for (int i = 0; i < entries; ++i) {
            if (i > 0) json += ',';
            json += "\"/home/user/Pictures/Screenshots/Screenshot " + QByteArray::number(i) +
                    ".png\":{\"modified\":" + QByteArray::number(1.7e9 + i, 'f', 3) +
                    ",\"text\":\"" + sentence(random, 20 + int(random.bounded(40))).toUtf8() +
                    "\"}";
            if (json.size() > (1 << 24)) {
                out.write(json);
                json.clear();
            }
        }
        json += '}';
        out.write(json);
    }
    const auto recognize = [](const QString&) { return std::optional<QString>(QString()); };
    QElapsedTimer timer;
    {
        // The one start that reads the JSON file and writes the quick copy.
        const double load = loadAverage();
        timer.start();
        TextIndex index(recognize);
        const double ms = loadedMs(index, timer);
        index.waitForSaved();
        std::printf("{\"bench\": \"ocr\", \"metric\": \"text_index_migrate_ms\", "
                    "\"entries\": %d, \"value\": %.1f, \"load\": %.1f}\n",
                    int(index.entries().size()), ms, load);
    }
    const double load = loadAverage();
    timer.restart();
    TextIndex index(recognize);
    const double loadMs = loadedMs(index, timer);
    std::printf("{\"bench\": \"ocr\", \"metric\": \"text_index_load_ms\", \"entries\": %d, "
                "\"value\": %.1f, \"target\": 300, \"load\": %.1f}\n",
                int(index.entries().size()), loadMs, load);
    const QList<QStringList> queries = {
        {QStringLiteral("invoice")},
        {QStringLiteral("meeting"), QStringLiteral("monday")},
        {QStringLiteral("wonderful"), QStringLiteral("garden"), QStringLiteral("coffee")},
        {QStringLiteral("nothingmatchesthis")},
        {QStringLiteral("rep")}};
    for (int round = 0; round < 2; ++round) {
        for (const QStringList& terms : queries) {
            // The thread's own time too: on a busy machine the wall time is
            // mostly waiting for a core.
            const double cpuBefore = threadCpuMs();
            timer.restart();
            const QStringList found = index.search(terms);
            const double ms = timer.nsecsElapsed() / 1e6;
            const double cpuMs = threadCpuMs() - cpuBefore;
            std::printf("{\"bench\": \"ocr\", \"metric\": \"text_index_search_ms\", \"query\": "
                        "\"%s\", \"first\": %s, \"found\": %d, \"value\": %.2f, \"cpu_ms\": %.2f, "
                        "\"target\": 30, \"load\": %.1f}\n",
                        qPrintable(terms.join(u' ')), round == 0 ? "true" : "false",
                        int(found.size()), ms, cpuMs, loadAverage());
        }
    }
    std::fflush(stdout);
}

} // namespace

int runOcrBench(const Arguments& args)
{
    const int screenshots = int(args.integer(QStringLiteral("--screenshots"), 200));
    const int pdfs = int(args.integer(QStringLiteral("--pdfs"), 20));
    const int entries = int(args.integer(QStringLiteral("--entries"), 100'000));
    const int cores = std::max(1, QThread::idealThreadCount());
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ovra-ocrbench-XXXXXX"));
    if (!dir.isValid()) return 1;

    QStringList shots;
    for (int i = 0; i < screenshots; ++i)
        shots << dir.filePath(QStringLiteral("screen-%1.png").arg(i));
    QStringList pages;
    for (int i = 0; i < pdfs; ++i)
        pages << dir.filePath(QStringLiteral("scan-%1.pdf").arg(i));
    runParallel(screenshots, cores, [&](int i) {
        writeScreenshot(shots[i], quint32(i + 1));
        return true;
    });
    // QPdfWriter draws through the GUI's font machinery: one at a time here.
    for (int i = 0; i < pdfs; ++i)
        writeScannedPdf(pages[i], quint32(5000 + i));

    const bool hasPeer = !QStandardPaths::findExecutable(QStringLiteral("tesseract")).isEmpty() &&
                         !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
    if (!hasPeer) std::fprintf(stderr, "no tesseract or pdftoppm: the peer is not measured\n");
    // The peer's engines each run single-threaded, or several at once stall.
    std::vector<std::string> peerEnvStrings;
    for (char** e = environ; *e; ++e)
        peerEnvStrings.emplace_back(*e);
    peerEnvStrings.emplace_back("OMP_THREAD_LIMIT=1");
    std::vector<char*> peerEnv;
    for (std::string& s : peerEnvStrings)
        peerEnv.push_back(s.data());
    peerEnv.push_back(nullptr);

    const QString peerDir = dir.filePath(QStringLiteral("peer"));
    QDir().mkpath(peerDir);
    qint64 agreed = 0;
    qint64 peerWords = 0;
    const struct {
        const char* kind;
        const QStringList* files;
        bool isPdf;
    } kinds[] = {{"screenshot", &shots, false}, {"pdf", &pages, true}};
    for (const auto& k : kinds) {
        const int count = int(k.files->size());
        if (count == 0) continue;
        std::vector<QString> ours;
        ours.resize(std::size_t(count));
        double load = loadAverage();
        double cpuBefore = cpuSeconds(RUSAGE_SELF);
        QElapsedTimer wall;
        wall.start();
        const int failed = runParallel(count, cores, [&](int i) {
            const std::optional<QString> text = TextRecognizer::text(k.files->at(i));
            if (text) ours[std::size_t(i)] = *text;
            return text.has_value();
        });
        const double oursSeconds = wall.nsecsElapsed() / 1e9;
        printRun(k.kind, "ovra", count, oursSeconds,
                 (cpuSeconds(RUSAGE_SELF) - cpuBefore) / oursSeconds, failed, load);
        if (!hasPeer) continue;

        load = loadAverage();
        cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
        wall.restart();
        const int peerFailed = runParallel(count, cores, [&](int i) {
            const std::string base =
                (peerDir + QStringLiteral("/%1-%2").arg(QLatin1String(k.kind)).arg(i))
                    .toStdString();
            std::string input = k.files->at(i).toStdString();
            if (k.isPdf) {
                // The page rendered as ours renders it: its longest side at 2000 px.
                if (spawnAndWait({"pdftoppm", "-png", "-singlefile", "-f", "1", "-l", "1",
                                  "-scale-to", std::to_string(TextRecognizer::kRenderedPageSide),
                                  input, base},
                                 peerEnv.data()) != 0)
                    return false;
                input = base + ".png";
            }
            return spawnAndWait({"tesseract", input, base, "-l", "eng"}, peerEnv.data()) == 0;
        });
        const double peerSeconds = wall.nsecsElapsed() / 1e9;
        printRun(k.kind, "tesseract", count, peerSeconds,
                 (cpuSeconds(RUSAGE_CHILDREN) - cpuBefore) / peerSeconds, peerFailed, load);

        qint64 kindAgreed = 0;
        qint64 kindWords = 0;
        for (int i = 0; i < count; ++i) {
            QFile out(peerDir + QStringLiteral("/%1-%2.txt").arg(QLatin1String(k.kind)).arg(i));
            if (!out.open(QIODevice::ReadOnly)) continue;
            const QStringList theirs = wordsOf(QString::fromUtf8(out.readAll()));
            const QStringList mine = wordsOf(ours[std::size_t(i)]);
            const QSet<QString> found(mine.cbegin(), mine.cend());
            for (const QString& word : theirs) {
                ++kindWords;
                if (found.contains(word)) ++kindAgreed;
            }
        }
        agreed += kindAgreed;
        peerWords += kindWords;
        std::printf("{\"bench\": \"ocr\", \"kind\": \"%s\", \"tool\": \"ratio\", "
                    "\"throughput_ratio\": %.2f, \"word_agreement\": %.4f, \"peer_words\": %lld}\n",
                    k.kind, peerSeconds / oursSeconds,
                    kindWords ? double(kindAgreed) / double(kindWords) : 0.0,
                    static_cast<long long>(kindWords));
        std::fflush(stdout);
    }
    if (peerWords > 0) {
        std::printf("{\"bench\": \"ocr\", \"metric\": \"word_agreement\", \"value\": %.4f, "
                    "\"target\": 0.98, \"peer_words\": %lld}\n",
                    double(agreed) / double(peerWords), static_cast<long long>(peerWords));
        std::fflush(stdout);
    }

    runIndexPart(dir.filePath(QStringLiteral("data")), entries);
    return 0;
}

} // namespace ovra::bench
