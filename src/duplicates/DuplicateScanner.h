#pragma once

#include "DuplicateGroup.h"
#include "HashCache.h"
#include "library/FileItem.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

class QThreadPool;

namespace ovra {

// The duplicate-finding algorithms. Everything here runs on the calling (worker)
// thread and touches no shared state; parallel parts borrow threads from the
// pool they are given.
namespace DuplicateScanner {

// Reports (done, total); called from worker threads, any number of times.
using Progress = std::function<void(int done, int total)>;

// Where the parallel parts run. Without a pool everything runs on the calling
// thread.

struct Workers {
    QThreadPool* pool = nullptr;
    int threadCount = 1;
    // Polled between files and between the chunks of a file's read; a
    // cancelled scan returns no groups.
    std::function<bool()> isCancelled;
    // Digests of earlier scans: a file found there is not read again, and
    // every file read is added (once its change time is a moment old).
    HashCache* cache = nullptr;
    // Counts the bytes read from the files.
    std::atomic<qint64>* bytesRead = nullptr;
    // Lowers each worker thread's scheduling priority, so scans give way to
    // everything the user does.
    bool lowPriority = true;
};

// Runs `body(i)` for every i in [0, count) on the calling thread and, given a
// pool, on up to `threadCount - 1` of its threads, lowered when asked.
void forEach(const Workers& workers, qsizetype count, const std::function<void(qsizetype)>& body);

// Exact copies. Files are bucketed by size, then keyed by a SHA-256 of their
// first and last 16 KiB, then by a SHA-256 of their whole content; only files
// whose whole contents agree are grouped, however large. Two names of one file
// (a hard link, a path given twice) count as one file. A file whose size on
// disk is not the size it was gathered with joins nothing.
QList<DuplicateGroup> exactDuplicates(const QList<FileItem>& files, const Progress& progress,
                                      const Workers& workers = {});

// Whether two files hold the same bytes now, read side by side; checked
// between chunks for `isCancelled`.
enum class Sameness { same, different, unreadable, cancelled };
Sameness compareContents(const QString& first, const QString& second,
                         const std::function<bool()>& isCancelled = {});

// The 64 lower-case hexadecimal digits of a SHA-256 of the head and tail
// (`full` false) or of the whole content; none when the file cannot be opened
// or read, is not a regular file, or is no longer `size` bytes long.
std::optional<QString> fingerprint(const QString& path, qint64 size, bool full);

// Look-alike photos: descriptors of every photo on every worker, pairs of
// similar shape linked when their descriptors are close, clusters of 2 to 40
// reported with the best photo to keep.
QList<DuplicateGroup> similarPhotos(const QList<FileItem>& files, const Progress& progress,
                                    const Workers& workers = {});

// The descriptor of one image file, decoded at a reduced size; none when it
// cannot be decoded.
std::optional<std::vector<float>> featurePrint(const QString& path);

// The copy of a group of exact copies to keep: outside Downloads first, then
// not named like a copy, then the oldest; the first on a full tie.
QString pickKeeper(const QList<FileItem>& files);
QString pickKeeper(const QList<FileItem>& files, const QString& home);
// The photo to keep: the most pixels, then the largest file; the first on a tie.
QString pickBestPhoto(const QList<FileItem>& files);

// True when a name reads like a copy of another file ("report copy.pdf",
// "photo (1).jpg", "IMG_2.JPG").
bool looksLikeCopy(const QString& name);

// Two photos whose descriptors' dot product reaches this look alike.
// Calibrated on generated pairs (FeaturePrintCalibrationTest: 60 scenes of
// 1200 × 900, each through a JPEG file and the reduced decode). At 0.90:
//  - misses: 1 of 240 altered copies (0.4 %): a copy cropped by 5 % on two
//    edges that cut into a large shape (0.856); halved, re-saved at quality
//    30 and brightened copies all match;
//  - false matches: 0 of 1,770 pairs of different scenes (0 %; the closest
//    pair reached 0.839);
//  - a second shot of the same scene with the camera turned 3° matches in 59
//    of 60 cases (lowest 0.880): the threshold counts it a look-alike.
// Real photos of one place are more alike than generated scenes, so the
// margin to false matches is kept wider than the margin to misses.
inline constexpr float kSimilarityThreshold = 0.90f;
// Pairs whose side ratios differ by more are never compared.
inline constexpr float kShapeTolerance = 0.08f;
inline constexpr int kMinGroupSize = 2;
inline constexpr int kMaxGroupSize = 40;
inline constexpr int kPhotoProgressStep = 10;
// The longest side a photo is decoded at.
inline constexpr int kPhotoDecodeSide = 360;

} // namespace DuplicateScanner

} // namespace ovra
