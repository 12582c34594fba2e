#pragma once

#include <QFuture>
#include <QImage>
#include <QList>
#include <QString>

#include <memory>

namespace ovra {

// What a preview reads of a file, each read on the preview's threads.
namespace PreviewContent {

// The picture fitted into a square of `maxSide` pixels: its header's
// dimensions are checked before anything is decoded, and the decoder scales
// while it decodes where it can. Null when it cannot be read.
QFuture<QImage> image(const QString& path, int maxSide);
// The same, fitted into `box` (never enlarged), so the view draws it as it is
// instead of scaling it on every paint.
QFuture<QImage> fittedImage(const QString& path, const QSize& box);

// The first part of a text file, never more than kTextHeadBytes, with an
// unfinished character at the cut left out.
// A text view lays out what it is given on the GUI thread: 64 KB (a thousand
// lines of a log) is read and shown well within a frame.
inline constexpr qint64 kTextHeadBytes = 64 * 1024;
QFuture<QString> textHead(const QString& path);
// The decoding of such a head, apart for tests.
QString decodeTextHead(const QByteArray& bytes, bool wasCut);

} // namespace PreviewContent

} // namespace ovra
