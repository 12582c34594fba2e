#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace ovra::test {

// Generators for real files of the kinds the app reads: images with chosen sizes
// and camera data, audio and video with tags, PDFs with pages and a text layer.
// Every one is small and quick to make. Byte-returning ones pair with
// TestHome::writeFile; path-taking ones write the file themselves and report a
// failure to the running test when they cannot.

// Images

// A PNG of the given size; `texts` become tEXt chunks (zTXt when a value is long,
// iTXt when it is not Latin-1), e.g. {"Software", "gnome-screenshot"}.
QByteArray pngBytes(int width, int height, const QList<std::pair<QString, QString>>& texts = {});

// A picture as a PNG file holds it.
QByteArray pngBytes(const QImage& image);
// Lines of large dark type on white, as a scanned note: what the recogniser reads.
QImage typedNote(const QStringList& lines);

// What the camera wrote, as EXIF keeps it: dates as "YYYY:MM:DD HH:MM:SS",
// offsets as "+HH:MM". Empty fields are left out.
struct ExifSpec {
    QByteArray make{};
    QByteArray model{};
    QByteArray dateTimeOriginal{};
    QByteArray offsetTimeOriginal{};
    bool bigEndian = true; // "MM" (most cameras) or "II"
};

// The EXIF block (a TIFF structure, without JPEG's "Exif\0\0" prefix).
QByteArray exifBytes(const ExifSpec& exif);
// A JPEG of the given size; with `exif`, an APP1 EXIF segment right after SOI.
QByteArray jpegBytes(int width, int height, const std::optional<ExifSpec>& exif = std::nullopt);
// A greyscale, uncompressed TIFF of the given size, with the camera fields in
// IFD0 and its EXIF sub-IFD.
QByteArray tiffBytes(int width, int height, const ExifSpec& exif = {});
// A single-colour GIF of the given size.
QByteArray gifBytes(int width, int height);
// A BMP of the given size.
QByteArray bmpBytes(int width, int height);

// Audio and video

struct MediaTags {
    QString title{};
    QString artist{};
    QString album{};
    QString genre{};
};

// A mono 16-bit PCM WAV of `seconds` with a LIST/INFO chunk for the tags (INAM,
// IART, IPRD, IGNR).
QByteArray wavBytes(double seconds, const MediaTags& tags = {});

// Whether this build of FFmpeg can make the given file kind: "flac", "ogg"
// (Vorbis), "m4a" (AAC), "mp3", "mp4" (MPEG-4 video + AAC), "mkv" (MPEG-4 video +
// FLAC), "avi" (Motion JPEG + PCM).
bool canEncode(const QString& extension);
// Encoded audio (silence) of `seconds` with the tags, the codec chosen by the
// path's extension as listed above.
bool writeAudio(const QString& path, double seconds, const MediaTags& tags = {});
// A video of the given size and length at 10 frames a second, with a silent
// audio track when `withAudio`; codecs by the path's extension as listed above.
bool writeVideo(const QString& path, int width, int height, double seconds, bool withAudio = false,
                const MediaTags& tags = {});

// PDF

struct PdfSpec {
    int pages = 1;
    QString title{};
    QString author{};
    // Drawn on each page in turn ("Page N" for pages without one).
    QStringList pageTexts{};
    // False: each page is a picture of its text, so the PDF has no text layer
    // (what a scanner makes).
    bool textLayer = true;
};
bool writePdf(const QString& path, const PdfSpec& spec);
// A one-page PDF encrypted with a user password nobody knows.
bool writeLockedPdf(const QString& path);

} // namespace ovra::test
