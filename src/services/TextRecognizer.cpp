#include "TextRecognizer.h"

#include "platform/PathKey.h"

#include <QDataStream>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace ovra::TextRecognizer {
namespace {

using content::HelperReply;
using content::protocol::RecognitionKind;

const QString kExcludedImageExtension = QStringLiteral("svg");

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

// A picture as a helper takes it: i32 width, i32 height, rows of packed RGB.
QByteArray pictureRequest(RecognitionKind kind, const QImage& picture)
{
    const QImage rgb = opaqueRgb(picture);
    const std::int32_t size[2] = {rgb.width(), rgb.height()};
    const qsizetype row = qsizetype(rgb.width()) * 3;
    QByteArray request(1 + qsizetype(sizeof size) + row * rgb.height(), Qt::Uninitialized);
    request[0] = char(kind);
    std::memcpy(request.data() + 1, size, sizeof size);
    char* out = request.data() + 1 + sizeof size;
    for (int y = 0; y < rgb.height(); ++y, out += row)
        std::memcpy(out, rgb.constScanLine(y), std::size_t(row));
    return request;
}

// The picture no larger than the helpers read, and the factor that takes its
// pixels back to the picture's.
std::pair<QImage, double> bounded(const QImage& image)
{
    if (std::max(image.width(), image.height()) <= kMaxImageSide) return {image, 1.0};
    const QImage smaller =
        image.scaled(kMaxImageSide, kMaxImageSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return {smaller, double(image.width()) / smaller.width()};
}

HelperReply askOne(content::HelperPool& helpers, QByteArray request)
{
    return helpers.ask(content::protocol::RequestKind::Recognize, {std::move(request)}).front();
}

// A helper's text: a file that crashed or stalled the helper was read and holds
// no text, so it is not tried again until it changes.
std::optional<QString> textOf(const HelperReply& reply)
{
    switch (reply.status) {
    case HelperReply::Status::Answered:
        if (reply.outcome != content::ExtractedText::Outcome::Text) return std::nullopt;
        return QString::fromUtf8(reply.bytes);
    case HelperReply::Status::Rejected: return QString();
    case HelperReply::Status::NotAsked: break;
    }
    return std::nullopt;
}

} // namespace

bool canRead(const FileItem& item)
{
    if (item.category == FileCategory::images)
        return pathExtension(item.path) != kExcludedImageExtension;
    return item.contentType && item.contentType->conforms(UniformType::pdf());
}

std::optional<QString> recognize(const QImage& image, content::HelperPool& helpers)
{
    if (image.isNull()) return QString();
    return textOf(
        askOne(helpers, pictureRequest(RecognitionKind::PictureText, bounded(image).first)));
}

std::optional<QList<RecognizedWord>> words(const QImage& image, content::HelperPool& helpers)
{
    QList<RecognizedWord> found;
    if (image.isNull()) return found;
    const auto [picture, scale] = bounded(image);
    const HelperReply reply =
        askOne(helpers, pictureRequest(RecognitionKind::PictureWords, picture));
    if (reply.status == HelperReply::Status::Rejected) return found;
    if (reply.status != HelperReply::Status::Answered ||
        reply.outcome != content::ExtractedText::Outcome::Text)
        return std::nullopt;
    QDataStream in(reply.bytes);
    content::readWords(in, found);
    if (in.status() != QDataStream::Ok) return std::nullopt;
    if (scale != 1.0) {
        for (RecognizedWord& word : found)
            word.box = QRectF(word.box.x() * scale, word.box.y() * scale, word.box.width() * scale,
                              word.box.height() * scale)
                           .toAlignedRect();
    }
    return found;
}

std::optional<QString> text(const QString& path)
{
    return textUsing(path, content::HelperPool::shared());
}

std::optional<QString> textUsing(const QString& path, content::HelperPool& helpers)
{
    return textOf(askOne(
        helpers, content::ExtractHelper::file(std::uint8_t(RecognitionKind::FileText), path)));
}

} // namespace ovra::TextRecognizer
