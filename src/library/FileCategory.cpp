#include "FileCategory.h"

#include <QStringList>

namespace ovra {
namespace {

// "(kMDItemContentTypeTree == 'a' || kMDItemContentTypeTree == 'b')"
QString typeTreeClause(std::initializer_list<const char*> identifiers)
{
    QStringList clauses;
    for (const char* identifier : identifiers)
        clauses << QStringLiteral("kMDItemContentTypeTree == '") + QLatin1String(identifier) +
                       u'\'';
    return u'(' + clauses.join(QStringLiteral(" || ")) + u')';
}

bool conformsToAny(const UniformType& type, std::initializer_list<UniformType> others)
{
    for (const UniformType& other : others)
        if (type.conforms(other)) return true;
    return false;
}

} // namespace

QString rawValue(FileCategory category)
{
    switch (category) {
    case FileCategory::images: return QStringLiteral("images");
    case FileCategory::videos: return QStringLiteral("videos");
    case FileCategory::music: return QStringLiteral("music");
    case FileCategory::documents: return QStringLiteral("documents");
    case FileCategory::archives: return QStringLiteral("archives");
    case FileCategory::apps: return QStringLiteral("apps");
    case FileCategory::code: return QStringLiteral("code");
    case FileCategory::folders: return QStringLiteral("folders");
    case FileCategory::other: return QStringLiteral("other");
    }
    return {};
}

std::optional<FileCategory> fileCategoryFromRaw(QStringView raw)
{
    for (FileCategory category : kAllFileCategories)
        if (raw == rawValue(category)) return category;
    return std::nullopt;
}

FileCategory classify(const std::optional<UniformType>& type, bool isDirectory)
{
    if (isDirectory) return FileCategory::folders;
    if (!type) return FileCategory::other;
    const UniformType& t = *type;
    if (conformsToAny(t, {UniformType::application(), UniformType::applicationBundle()}))
        return FileCategory::apps;
    // A package that is not an application falls through to the rules below.
    if (t.conforms(UniformType::folder()) && !t.conforms(UniformType::package()))
        return FileCategory::folders;
    if (t.conforms(UniformType::image())) return FileCategory::images;
    if (conformsToAny(t, {UniformType::movie(), UniformType::video()})) return FileCategory::videos;
    if (t.conforms(UniformType::audio())) return FileCategory::music;
    // Code before documents: JSON and property lists are text too.
    if (conformsToAny(t, {UniformType::sourceCode(), UniformType::script(), UniformType::json(),
                          UniformType::xml(), UniformType::propertyList()}))
        return FileCategory::code;
    if (conformsToAny(t, {UniformType::archive(), UniformType::diskImage()}))
        return FileCategory::archives;
    if (conformsToAny(t, {UniformType::pdf(), UniformType::compositeContent(),
                          UniformType::presentation(), UniformType::spreadsheet(),
                          UniformType::text()}))
        return FileCategory::documents;
    return FileCategory::other;
}

QString spotlightQuery(FileCategory category)
{
    switch (category) {
    case FileCategory::images: return typeTreeClause({"public.image"});
    case FileCategory::videos:
        // Transport streams share the ".ts" extension with TypeScript sources.
        return typeTreeClause({"public.movie"}) + QStringLiteral(" && kMDItemFSName != '*.ts'c");
    case FileCategory::music: return typeTreeClause({"public.audio"});
    case FileCategory::documents:
        // Plain text and Markdown are everywhere (logs, READMEs inside projects);
        // only those someone opened count as documents.
        return typeTreeClause({"com.adobe.pdf", "public.composite-content", "public.presentation",
                               "public.spreadsheet", "public.rtf"}) +
               QStringLiteral(" || ((kMDItemFSName == '*.txt'c || kMDItemFSName == '*.md'c)"
                              " && kMDItemLastUsedDate == *)");
    case FileCategory::archives: return typeTreeClause({"public.archive", "com.apple.disk-image"});
    case FileCategory::apps: return typeTreeClause({"com.apple.application-bundle"});
    case FileCategory::code:
        return typeTreeClause({"public.source-code"}) +
               QStringLiteral(" && kMDItemLastUsedDate == *");
    case FileCategory::folders: return typeTreeClause({"public.folder"});
    case FileCategory::other: return QStringLiteral("kMDItemFSName == '*'");
    }
    return {};
}

bool fillsTile(FileCategory category)
{
    return category == FileCategory::images || category == FileCategory::videos ||
           category == FileCategory::music;
}

std::array<Rgb, 2> gradient(FileCategory category)
{
    switch (category) {
    case FileCategory::images: return {{{1.0, 0.62, 0.27}, {0.98, 0.27, 0.45}}};
    case FileCategory::videos: return {{{0.62, 0.4, 0.98}, {0.36, 0.25, 0.85}}};
    case FileCategory::music: return {{{1.0, 0.38, 0.44}, {0.9, 0.1, 0.3}}};
    case FileCategory::documents: return {{{0.32, 0.64, 1.0}, {0.16, 0.4, 0.92}}};
    case FileCategory::archives: return {{{0.98, 0.78, 0.32}, {0.88, 0.54, 0.14}}};
    case FileCategory::apps: return {{{0.36, 0.8, 0.96}, {0.18, 0.48, 0.95}}};
    case FileCategory::code: return {{{0.26, 0.84, 0.64}, {0.08, 0.58, 0.5}}};
    case FileCategory::folders: return {{{0.42, 0.76, 0.96}, {0.24, 0.54, 0.86}}};
    case FileCategory::other: return {{{0.66, 0.68, 0.73}, {0.44, 0.46, 0.52}}};
    }
    return {};
}

} // namespace ovra
