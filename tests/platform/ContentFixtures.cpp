#include "ContentFixtures.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <zip.h>

namespace ovra::test {

bool writeZip(const QString& path, const ZipEntries& entries)
{
    int error = 0;
    zip_t* archive = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) return false;
    for (const auto& [name, data] : entries) {
        // libzip reads the buffer at close time; give it a copy it owns.
        void* copy = malloc(std::size_t(data.size()) + 1);
        memcpy(copy, data.constData(), std::size_t(data.size()));
        zip_source_t* source = zip_source_buffer(archive, copy, zip_uint64_t(data.size()), 1);
        if (!source ||
            zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

namespace {

QString escapedXml(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

ZipEntries docxEntries(const QStringList& paragraphs)
{
    QString body;
    for (const QString& paragraph : paragraphs) {
        body += QStringLiteral("<w:p>");
        for (const QString& run : paragraph.split(u'|'))
            body += QStringLiteral("<w:r><w:t xml:space=\"preserve\">%1</w:t></w:r>")
                        .arg(escapedXml(run));
        body += QStringLiteral("</w:p>");
    }
    const QString document =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
            "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
            "<w:body>%1</w:body></w:document>")
            .arg(body);
    return {{QStringLiteral("[Content_Types].xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" "
             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
             "<Override PartName=\"/word/document.xml\" "
             "ContentType=\"application/"
             "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
             "</Types>"},
            {QStringLiteral("_rels/.rels"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" "
             "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
             "officeDocument\" Target=\"word/document.xml\"/>"
             "</Relationships>"},
            {QStringLiteral("word/document.xml"), document.toUtf8()}};
}

ZipEntries odtEntries(const QStringList& paragraphs)
{
    QString body;
    for (const QString& paragraph : paragraphs) {
        body += QStringLiteral("<text:p>");
        const QStringList spans = paragraph.split(u'|');
        for (const QString& span : spans)
            body += QStringLiteral("<text:span>%1</text:span>").arg(escapedXml(span));
        body += QStringLiteral("</text:p>");
    }
    const QString content =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<office:document-content "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
            "<office:body><office:text>%1</office:text></office:body></office:document-content>")
            .arg(body);
    return {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.text"},
            {QStringLiteral("META-INF/manifest.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest:manifest "
             "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
             "manifest:version=\"1.2\">"
             "<manifest:file-entry manifest:full-path=\"/\" "
             "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
             "<manifest:file-entry manifest:full-path=\"content.xml\" "
             "manifest:media-type=\"text/xml\"/>"
             "</manifest:manifest>"},
            {QStringLiteral("content.xml"), content.toUtf8()}};
}

bool canDrawPdfs()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
    if (QCoreApplication::instance()) return false; // a console application: no fonts to draw with
    static int argc = 1;
    static char name[] = "ovra_platform_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(argc, argv); // lives for the test program
    return true;
}

bool writePdf(const QString& path, const QString& text)
{
    if (!canDrawPdfs()) return false;
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter;
    if (!painter.begin(&writer)) return false;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(120);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, writer.width(), writer.height()), Qt::TextWordWrap, text);
    return painter.end();
}

} // namespace ovra::test
