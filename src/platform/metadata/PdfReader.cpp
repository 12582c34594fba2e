#include "PdfReader.h"

#include "../UserFile.h"
#include "PdfFile.h"

#include <poppler-document.h>
#include <poppler-global.h>

#include <QByteArray>

#include <memory>

namespace ovra::md {

namespace {

std::optional<QString> text(const poppler::ustring& value)
{
    const poppler::byte_array utf8 = value.to_utf8();
    QString s = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).trimmed();
    if (s.isEmpty()) return std::nullopt;
    return s;
}

// One author as written, unless the field is plainly a list: "A; B" is two
// people, while "Doe, Jane" is one, so only semicolons split.
QStringList splitAuthors(const QString& field)
{
    QStringList authors;
    for (const QString& part : field.split(u';')) {
        const QString name = part.trimmed();
        if (!name.isEmpty()) authors.append(name);
    }
    return authors;
}

} // namespace

void PdfReader::read(const UserFile& file, ContentAttributes& out)
{
    const std::unique_ptr<PdfFile> pdf = PdfFile::open(file);
    if (!pdf || pdf->document().is_locked()) return;
    const poppler::document& document = pdf->document();

    if (const int pages = document.pages(); pages > 0) out.numberOfPages = pages;
    if (auto title = text(document.get_title())) out.title = title;
    if (const auto author = text(document.get_author())) {
        const QStringList authors = splitAuthors(*author);
        if (!authors.isEmpty()) out.authors = authors;
    }
}

} // namespace ovra::md
