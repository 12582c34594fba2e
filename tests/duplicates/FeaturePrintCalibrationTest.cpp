#include "common/PhotoGenerator.h"
#include "duplicates/DuplicateScanner.h"
#include "platform/FeaturePrint.h"
#include "platform/UserFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace ovra {

namespace {

constexpr int kScenes = 60;
const QSize kPhotoSize(1200, 900);

struct Prints {
    std::vector<std::vector<float>> originals;
    std::vector<std::vector<float>> turned;                // the same scene, camera turned 3°
    std::vector<std::vector<std::vector<float>>> variants; // [scene][variant]
};

std::vector<float> printOf(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const auto print = DuplicateScanner::featurePrint(path);
    EXPECT_TRUE(print.has_value()) << name.toStdString();
    return print.value_or(std::vector<float>(FeaturePrint::kLength, 0.0f));
}

// Every photo goes through a JPEG file and the scanner's own reduced decode,
// as a photo in the user's folders would.
const Prints& prints()
{
    static const Prints all = [] {
        QTemporaryDir dir;
        Prints p;
        for (int s = 0; s < kScenes; ++s) {
            const QImage photo = bench::scene(quint32(1000 + s), kPhotoSize);
            const QString base = QStringLiteral("scene%1").arg(s);
            p.originals.push_back(printOf(dir, base + ".jpg", bench::jpeg(photo, 90)));
            p.turned.push_back(
                printOf(dir, base + "-turned.jpg",
                        bench::jpeg(bench::scene(quint32(1000 + s), kPhotoSize, 3.0), 90)));
            std::vector<std::vector<float>> variants;
            for (bench::Variant v : bench::kVariants)
                variants.push_back(printOf(dir, base + "-" + bench::variantName(v) + ".jpg",
                                           bench::jpeg(bench::variant(photo, v), 90)));
            p.variants.push_back(std::move(variants));
        }
        return p;
    }();
    return all;
}

} // namespace

TEST(FeaturePrint, HasFixedUnitLengthAndIgnoresFlatPictures)
{
    // Prints are made on pool threads in the app: here, as one would.
    UserFile::AllowOnThisThread allow;
    RawImage flat;
    flat.width = flat.height = 64;
    flat.bytesPerLine = 64 * 4;
    flat.pixels = QByteArray(64 * 64 * 4, char(0x80));
    EXPECT_FALSE(FeaturePrint::compute(flat).has_value());

    const auto& p = prints();
    for (const auto& print : p.originals) {
        ASSERT_EQ(print.size(), std::size_t(FeaturePrint::kLength));
        EXPECT_NEAR(FeaturePrint::similarity(print, print), 1.0f, 1e-4f);
    }
    EXPECT_EQ(FeaturePrint::similarity(p.originals[0], std::vector<float>(3, 1.0f)), 0.0f);
}

// The threshold's calibration, measured here and written beside
// kSimilarityThreshold: every altered copy must still match its original, and
// fewer than 1 % of pairs of different scenes may.
TEST(FeaturePrint, CalibrationOfTheThreshold)
{
    // Prints are made on pool threads in the app: here, as one would.
    UserFile::AllowOnThisThread allow;
    const auto& p = prints();
    const float threshold = DuplicateScanner::kSimilarityThreshold;
    int misses = 0;
    int copies = 0;
    for (int s = 0; s < kScenes; ++s)
        for (std::size_t v = 0; v < std::size(bench::kVariants); ++v) {
            const float sim = FeaturePrint::similarity(p.originals[s], p.variants[s][v]);
            ++copies;
            if (sim < threshold) {
                ++misses;
                std::printf("miss: scene %d %s %.4f\n", s, bench::variantName(bench::kVariants[v]),
                            sim);
            }
        }
    int falseMatches = 0;
    int different = 0;
    float closest = -1;
    for (int a = 0; a < kScenes; ++a)
        for (int b = a + 1; b < kScenes; ++b) {
            const float sim = FeaturePrint::similarity(p.originals[a], p.originals[b]);
            closest = std::max(closest, sim);
            ++different;
            if (sim >= threshold) ++falseMatches;
        }
    int turnedMatches = 0;
    float turnedLowest = 2;
    for (int s = 0; s < kScenes; ++s) {
        const float sim = FeaturePrint::similarity(p.originals[s], p.turned[s]);
        turnedLowest = std::min(turnedLowest, sim);
        if (sim >= threshold) ++turnedMatches;
    }
    std::printf("threshold %.4f: %d of %d copies missed, %d of %d different pairs matched "
                "(closest %.4f), %d of %d turned shots matched (lowest %.4f)\n",
                threshold, misses, copies, falseMatches, different, closest, turnedMatches, kScenes,
                turnedLowest);
    EXPECT_LE(double(misses) / copies, 0.02);
    EXPECT_LT(double(falseMatches) / different, 0.01);
}

} // namespace ovra
