#include "SidebarItem.h"

namespace ovra {

QString rawValue(SmartCollection collection)
{
    switch (collection) {
    case SmartCollection::recents: return QStringLiteral("recents");
    case SmartCollection::large: return QStringLiteral("large");
    case SmartCollection::screenshots: return QStringLiteral("screenshots");
    }
    return {};
}

std::optional<SmartCollection> smartCollectionFromRaw(QStringView raw)
{
    for (SmartCollection collection : kAllSmartCollections)
        if (raw == rawValue(collection)) return collection;
    return std::nullopt;
}

namespace {

QString title(SmartCollection collection)
{
    switch (collection) {
    case SmartCollection::recents: return QStringLiteral("Recents");
    case SmartCollection::large: return QStringLiteral("Large Files");
    case SmartCollection::screenshots: return QStringLiteral("Screenshots");
    }
    return {};
}

QString title(FileCategory category)
{
    switch (category) {
    case FileCategory::images: return QStringLiteral("Images");
    case FileCategory::videos: return QStringLiteral("Videos");
    case FileCategory::music: return QStringLiteral("Music");
    case FileCategory::documents: return QStringLiteral("Documents");
    case FileCategory::archives: return QStringLiteral("Archives");
    case FileCategory::apps: return QStringLiteral("Apps");
    case FileCategory::code: return QStringLiteral("Code");
    case FileCategory::folders: return QStringLiteral("Folders");
    case FileCategory::other: return QStringLiteral("Other");
    }
    return {};
}

QString title(CleanupKind kind)
{
    switch (kind) {
    case CleanupKind::installers: return QStringLiteral("Old Installers");
    case CleanupKind::oldDownloads: return QStringLiteral("Forgotten Downloads");
    case CleanupKind::oldScreenshots: return QStringLiteral("Old Screenshots");
    case CleanupKind::bigOldVideos: return QStringLiteral("Big Old Videos");
    case CleanupKind::unusedApps: return QStringLiteral("Unused Apps");
    }
    return {};
}

QString title(const Location& location)
{
    return location.title;
}
QString title(const SidebarItem::Source& source)
{
    return QStringLiteral("From ") + source.name;
}
QString title(SidebarItem::Home)
{
    return QStringLiteral("Home");
}
QString title(SidebarItem::Duplicates)
{
    return QStringLiteral("Duplicates");
}
QString title(SidebarItem::CleanupHub)
{
    return QStringLiteral("Clean Up");
}
QString title(SidebarItem::Sources)
{
    return QStringLiteral("Downloaded From");
}

size_t payloadHash(SmartCollection c, size_t seed)
{
    return qHash(rawValue(c), seed);
}
size_t payloadHash(FileCategory c, size_t seed)
{
    return qHash(rawValue(c), seed);
}
size_t payloadHash(CleanupKind k, size_t seed)
{
    return qHash(rawValue(k), seed);
}
size_t payloadHash(const Location& l, size_t seed)
{
    return qHash(l, seed);
}
size_t payloadHash(const SidebarItem::Source& s, size_t seed)
{
    return qHash(s.name, seed);
}
template <typename Empty> size_t payloadHash(const Empty&, size_t seed)
{
    return seed;
}

} // namespace

QString SidebarItem::title() const
{
    return std::visit([](const auto& payload) { return ovra::title(payload); }, value);
}

size_t qHash(const SidebarItem& item, size_t seed)
{
    const size_t caseSeed = ::qHash(static_cast<int>(item.value.index()), seed);
    return std::visit([caseSeed](const auto& payload) { return payloadHash(payload, caseSeed); },
                      item.value);
}

} // namespace ovra
