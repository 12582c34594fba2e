#include "PreviewContent.h"

#include "platform/Background.h"
#include "platform/UserFile.h"
#include "services/ScaledImageReader.h"

namespace ovra::PreviewContent {

QFuture<QImage> image(const QString& path, int maxSide)
{
    return background::run(background::Pool::thumbnails,
                           [path, maxSide] { return readScaledImage(path, maxSide); });
}

QFuture<QImage> fittedImage(const QString& path, const QSize& box)
{
    return background::run(background::Pool::thumbnails, [path, box] {
        const QImage image = readScaledImage(path, std::max(box.width(), box.height()));
        if (image.isNull() || (image.width() <= box.width() && image.height() <= box.height()))
            return image;
        return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    });
}

QString decodeTextHead(const QByteArray& bytes, bool wasCut)
{
    qsizetype end = bytes.size();
    if (wasCut) {
        // Step back over the continuation bytes of a character the cut split.
        qsizetype start = end;
        while (start > 0 && (uchar(bytes.at(start - 1)) & 0xc0) == 0x80 && end - start < 3)
            --start;
        if (start > 0 && uchar(bytes.at(start - 1)) >= 0xc0) end = start - 1;
    }
    QString text = QString::fromUtf8(bytes.constData(), end);
    // A NUL ends a line early in the text view; show it as the replacement mark.
    text.replace(QChar(0), QChar(QChar::ReplacementCharacter));
    return text;
}

QFuture<QString> textHead(const QString& path)
{
    return background::run(background::Pool::files, [path] {
        const std::optional<UserFile> file = UserFile::open(path);
        if (!file) return QString();
        bool wasCut = false;
        const QByteArray head = file->readHead(kTextHeadBytes, &wasCut);
        return decodeTextHead(head, wasCut);
    });
}

} // namespace ovra::PreviewContent
