#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace ovra::extract {

// Text recognition as the helper runs it: one Tesseract engine for the process,
// on its one thread. Every function gives nothing when the text could not be
// read this time (the file could not be opened or decoded, or the engine or its
// language data is missing), and "" for a picture read that holds no text.

// The text of one file: a PDF's own text layer, else the recognised text of its
// first pages; an image's recognised text.
std::optional<QString> fileText(const QString& path);

// The text lines of one picture in reading order, joined by "\n".
std::optional<QString> pictureText(const QImage& image);

// The words of one picture with their boxes, in the form the app reads back
// (TextRecognizer's words).
std::optional<QByteArray> pictureWords(const QImage& image);

} // namespace ovra::extract
