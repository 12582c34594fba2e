#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace ovra::test {

// Documents for the content tests, written the way their own programs write them:
// zip containers through libzip, PDFs with a text layer through Qt's PDF writer.

using ZipEntries = QList<QPair<QString, QByteArray>>;
// Writes a zip archive (deflated entries); false on failure.
bool writeZip(const QString& path, const ZipEntries& entries);

// A minimal Word document: one paragraph per item; "|" inside an item splits it
// into separate runs, as Word does mid-word.
ZipEntries docxEntries(const QStringList& paragraphs);
// A minimal OpenDocument text: one paragraph per item; "|" splits it into spans.
ZipEntries odtEntries(const QStringList& paragraphs);

// True when a GUI application exists or could be made for drawing PDFs.
bool canDrawPdfs();
// A PDF whose single page carries `text` as real text.
bool writePdf(const QString& path, const QString& text);

} // namespace ovra::test
