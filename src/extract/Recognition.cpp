#include "Recognition.h"

#include "platform/PathKey.h"
#include "platform/UserFile.h"
#include "platform/content/RecognizedText.h"
#include "platform/thumbnails/PdfPage.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <QDataStream>
#include <QFile>
#include <QIODevice>
#include <QImageReader>
#include <QPainter>
#include <QStringList>

#include <omp.h>

#include <algorithm>
#include <memory>

namespace ovra::extract {
namespace {

const QString kPdfExtension = QStringLiteral("pdf");
const QString kLineSeparator = QStringLiteral("\n");
const QString kPageSeparator = QStringLiteral("\n\n");
// Below this Tesseract refuses the image (and says so on standard error).
constexpr int kMinRecognisedSide = 3;

// One Tesseract engine for the helper's life: loading the language data costs a
// few hundred milliseconds, paid once per helper rather than per file.
class Engine {
public:
    // Starts the engine on first use; tries again on a later call when the language
    // data was missing, so installing it needs no restart.
    bool isReady()
    {
        if (m_isReady) return true;
        keepOpenMpOnThisThread();
        m_api.SetVariable("debug_file", "/dev/null"); // the app writes no log
        m_isReady = m_api.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) == 0;
        if (m_isReady) m_api.SetPageSegMode(tesseract::PSM_AUTO);
        return m_isReady;
    }

    tesseract::TessBaseAPI& api() { return m_api; }

private:
    // Debian's Tesseract asks OpenMP for several threads per engine; with one helper
    // per worker they oversubscribe the cores and stall for minutes. Helpers are
    // started with OMP_THREAD_LIMIT=1; should a runtime not read it, every
    // parallel region started from this thread is still made to run on it alone.
    static void keepOpenMpOnThisThread() { omp_set_max_active_levels(0); }

    tesseract::TessBaseAPI m_api;
    bool m_isReady = false;
};

Engine& threadEngine()
{
    thread_local Engine engine;
    return engine;
}

// Tesseract reads packed RGB; transparent parts become white paper, not black ink.
QImage opaqueRgb(const QImage& image)
{
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB888);
    QImage paper(image.size(), QImage::Format_RGB888);
    paper.fill(Qt::white);
    QPainter painter(&paper);
    painter.drawImage(0, 0, image);
    painter.end();
    return paper;
}

QStringList recognisedLines(tesseract::TessBaseAPI& api)
{
    QStringList lines;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it) return lines;
    do {
        const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
        if (!text) continue;
        const QString line = QString::fromUtf8(text.get()).trimmed();
        if (!line.isEmpty()) lines.append(line);
    } while (it->Next(tesseract::RIL_TEXTLINE));
    return lines;
}

QList<content::RecognizedWord> recognisedWords(tesseract::TessBaseAPI& api)
{
    QList<content::RecognizedWord> found;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it) return found;
    int line = -1;
    do {
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) ++line;
        const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
        if (!text) continue;
        const QString word = QString::fromUtf8(text.get()).trimmed();
        int left = 0, top = 0, right = 0, bottom = 0;
        if (word.isEmpty() || !it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
            continue;
        found.append(
            {word, QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), std::max(line, 0)});
    } while (it->Next(tesseract::RIL_WORD));
    return found;
}

int longestSide(const QSize& size)
{
    return std::max(size.width(), size.height());
}

// JPEG decoders scale while they decode, by up to an eighth of each side; every
// other decoder makes the whole picture first.
qint64 decodedPixels(const QImageReader& reader, const QSize& size)
{
    const qint64 pixels = qint64(size.width()) * size.height();
    return reader.format() == "jpeg" ? pixels / 64 : pixels;
}

std::optional<QString> imageText(const QString& path)
{
    const std::optional<UserFile> file = UserFile::open(path);
    if (!file) return std::nullopt;
    QFile device;
    if (!device.open(file->fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    QImageReader reader(&device);
    reader.setAutoTransform(true); // text stands upright as the camera held it
    // The header's size is checked before anything is decoded. Decoders that cannot
    // tell it beforehand (GIF) are bounded by Qt's own allocation limit.
    const QSize size = reader.size();
    if (size.isValid()) {
        if (size.isEmpty() || decodedPixels(reader, size) > content::kMaxDecodedPixels)
            return std::nullopt;
        if (longestSide(size) > content::kMaxImageSide)
            reader.setScaledSize(
                size.scaled(content::kMaxImageSide, content::kMaxImageSide, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    if (longestSide(image.size()) > content::kMaxImageSide)
        image = image.scaled(content::kMaxImageSide, content::kMaxImageSide, Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    return pictureText(image);
}

std::optional<QString> pdfTextLayer(const PdfPages& document)
{
    QStringList pages;
    for (int i = 0; i < document.count(); ++i)
        pages.append(document.text(i));
    const QString text = pages.join(kLineSeparator).trimmed();
    if (text.isEmpty()) return std::nullopt;
    return text;
}

// A scanned PDF: its first pages rendered and recognised, one segment per page
// (empty for a page without legible text) so page breaks stay where they were.
std::optional<QString> pdfRecognisedPages(const PdfPages& document)
{
    const int count = std::min(document.count(), content::kMaxRenderedPages);
    QStringList pages;
    for (int i = 0; i < count; ++i) {
        const std::optional<RawImage> page = document.render(i, content::kRenderedPageSide);
        if (!page) continue;
        const QImage image(reinterpret_cast<const uchar*>(page->pixels.constData()), page->width,
                           page->height, page->bytesPerLine, QImage::Format_RGB32);
        const std::optional<QString> text = pictureText(image);
        if (!text) return std::nullopt;
        pages.append(*text);
    }
    // Pages that exist but none could be drawn: the text is unknown, not absent.
    if (count > 0 && pages.isEmpty()) return std::nullopt;
    return pages.join(kPageSeparator);
}

std::optional<QString> pdfText(const QString& path)
{
    const std::unique_ptr<PdfPages> document = PdfPages::open(path);
    if (!document) return std::nullopt;
    if (std::optional<QString> layer = pdfTextLayer(*document)) return layer;
    return pdfRecognisedPages(*document);
}

} // namespace

std::optional<QString> pictureText(const QImage& image)
{
    Engine& engine = threadEngine();
    if (!engine.isReady()) return std::nullopt;
    if (image.width() < kMinRecognisedSide || image.height() < kMinRecognisedSide) return QString();
    const QImage rgb = opaqueRgb(image);
    tesseract::TessBaseAPI& api = engine.api();
    api.SetImage(rgb.constBits(), rgb.width(), rgb.height(), 3, int(rgb.bytesPerLine()));
    QStringList lines;
    if (api.Recognize(nullptr) == 0) lines = recognisedLines(api);
    api.Clear();
    return lines.join(kLineSeparator);
}

std::optional<QByteArray> pictureWords(const QImage& image)
{
    Engine& engine = threadEngine();
    if (!engine.isReady()) return std::nullopt;
    QList<content::RecognizedWord> found;
    if (image.width() >= kMinRecognisedSide && image.height() >= kMinRecognisedSide) {
        const QImage rgb = opaqueRgb(image);
        tesseract::TessBaseAPI& api = engine.api();
        api.SetImage(rgb.constBits(), rgb.width(), rgb.height(), 3, int(rgb.bytesPerLine()));
        if (api.Recognize(nullptr) == 0) found = recognisedWords(api);
        api.Clear();
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    content::writeWords(out, found);
    return bytes;
}

std::optional<QString> fileText(const QString& path)
{
    if (pathExtension(path) == kPdfExtension) return pdfText(path);
    return imageText(path);
}

} // namespace ovra::extract
