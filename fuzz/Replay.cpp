// Replays every corpus file of every target through its entry, in a plain build:
// seeds keep each parser's paths exercised, and each input that once crashed or
// stalled a parser stays a test. A file with a "NAME.skip" beside it is a known
// fault not mended yet; the sidecar's text is the reason it is skipped.

#include "FuzzTargets.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <ctime>

namespace {

using ovra::fuzz::Target;

// Longer than any parser may take over one input in a release build; a slower
// one stalls indexing or the search field. The sanitizers make code several
// times slower, so their builds allow for it.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kSanitizerSlowdown = 5;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr qint64 kSanitizerSlowdown = 5;
#else
constexpr qint64 kSanitizerSlowdown = 1;
#endif
#else
constexpr qint64 kSanitizerSlowdown = 1;
#endif
constexpr qint64 kStallMs = 10'000 * kSanitizerSlowdown;
// A parser is held to that in processor time, which a busy machine hardly
// stretches; on the clock it may take this many times as long, since the test
// may wait for a core most of the time. A parser that blocks still shows.
constexpr qint64 kBusyMachineSlowdown = 6;

// The processor time this process has used, in milliseconds.
qint64 processorMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

struct CorpusFile {
    Target target;
    QString path;
    QString testName;
};

void PrintTo(const CorpusFile& file, std::ostream* out)
{
    *out << qPrintable(file.path);
}

QString identifier(QString text)
{
    for (QChar& c : text)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80)) c = u'_';
    return text;
}

std::vector<CorpusFile> corpus()
{
    std::vector<CorpusFile> files;
    for (const Target& target : ovra::fuzz::targets()) {
        const QDir folder(QStringLiteral(OVRA_FUZZ_CORPUS) + u'/' + QLatin1String(target.name));
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
            if (name.endsWith(QStringLiteral(".skip"))) continue;
            files.push_back({target, folder.filePath(name),
                             identifier(QLatin1String(target.name) + u'_' + name)});
        }
    }
    return files;
}

class Replay : public ::testing::TestWithParam<CorpusFile> {};

} // namespace

TEST_P(Replay, RunsToTheEndInTime)
{
    const CorpusFile& file = GetParam();
    QFile skip(file.path + QStringLiteral(".skip"));
    if (skip.open(QIODevice::ReadOnly)) GTEST_SKIP() << skip.readAll().trimmed().toStdString();
    QFile input(file.path);
    ASSERT_TRUE(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    QElapsedTimer timer;
    timer.start();
    const qint64 processorBefore = processorMs();
    file.target.entry(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                      std::size_t(bytes.size()));
    EXPECT_LT(processorMs() - processorBefore, kStallMs) << "stalled on " << qPrintable(file.path);
    EXPECT_LT(timer.elapsed(), kStallMs * kBusyMachineSlowdown)
        << "stalled on " << qPrintable(file.path);
}

INSTANTIATE_TEST_SUITE_P(Corpus, Replay, ::testing::ValuesIn(corpus()),
                         [](const ::testing::TestParamInfo<CorpusFile>& info) {
                             return info.param.testName.toStdString();
                         });
