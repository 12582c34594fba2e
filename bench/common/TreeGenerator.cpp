#include "TreeGenerator.h"

#include "platform/Background.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QImage>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra::bench {
namespace {

constexpr int kFilesPerFolder = 20;
constexpr std::array<const char*, 24> kExtensions{
    "txt",  "pdf",  "jpg", "png", "mp3",  "mp4", "docx", "zip",    "js",  "py",  "md",   "csv",
    "json", "html", "cpp", "h",   "xlsx", "mov", "flac", "tar.gz", "dmg", "log", "heic", "odt"};
constexpr std::array<const char*, 12> kWords{"report", "invoice", "holiday", "notes",
                                             "draft",  "photo",   "budget",  "meeting",
                                             "scan",   "song",    "clip",    "backup"};

QByteArray smallPng()
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void writeFile(const std::string& path, const QByteArray& content, off_t sparseSize, double mtime,
               double atime)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (!content.isEmpty()) {
        const ssize_t written = ::write(fd, content.constData(), size_t(content.size()));
        (void)written;
    }
    if (sparseSize > 0 && ::ftruncate(fd, sparseSize) != 0) {
        // A file system without sparse files keeps the small size.
    }
    const timespec times[2] = {{time_t(atime), 0}, {time_t(mtime), 0}};
    futimens(fd, times);
    ::close(fd);
}

} // namespace

void generateTree(const QString& root, long files, int threads)
{
    const long folders = std::max(1L, files / kFilesPerFolder);
    const QByteArray png = smallPng();
    const std::string base = root.toStdString();
    QDir().mkpath(root);
    const double now = double(::time(nullptr));

    // Folders: a few top-level ones like a home folder, then two levels below.
    auto folderPath = [&](long f) {
        static const std::array<const char*, 6> tops{"Documents", "Pictures", "Music",
                                                     "Downloads", "Projects", "Videos"};
        return base + '/' + tops[size_t(f % 6)] + "/group" + std::to_string((f / 6) % 100) +
               "/folder" + std::to_string(f);
    };
    auto work = [&](int t) {
        std::mt19937_64 rng(1234567 + t);
        for (long f = t; f < folders; f += threads) {
            const std::string dir = folderPath(f);
            QDir().mkpath(QString::fromStdString(dir));
            const long first = f * kFilesPerFolder;
            const long last = std::min(files, first + kFilesPerFolder);
            for (long i = first; i < last; ++i) {
                const char* ext = kExtensions[size_t(rng() % kExtensions.size())];
                std::string name = std::string(kWords[size_t(rng() % kWords.size())]) + '-' +
                                   std::to_string(i) + '.' + ext;
                QByteArray content;
                off_t sparse = 0;
                const unsigned roll = unsigned(rng() % 1000);
                if (roll < 10) {
                    name = "Screenshot from 2025-0" + std::to_string(1 + rng() % 9) + "-1" +
                           std::to_string(rng() % 9) + " 10-22-" + std::to_string(10 + i % 50) +
                           ".png";
                    content = png;
                } else if (roll < 30 && std::string(ext) == "png") {
                    content = png;
                } else if (roll < 32) {
                    sparse = off_t(150'000'000 + (rng() % 100) * 1'000'000);
                } else {
                    content = QByteArray(int(rng() % 2048), 'x');
                }
                const double mtime = now - double(rng() % (2 * 365 * 86400));
                const double atime =
                    (rng() % 10 == 0) ? std::min(now, mtime + double(rng() % (30 * 86400))) : mtime;
                writeFile(dir + '/' + name, content, sparse, mtime, atime);
            }
        }
    };
    background::forEach(threads, threads, [&](qsizetype t) { work(int(t)); });
}

} // namespace ovra::bench
