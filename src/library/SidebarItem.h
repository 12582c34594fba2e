#pragma once

#include "FileCategory.h"
#include "Location.h"
#include "cleanup_model/CleanupKind.h"

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <array>
#include <functional>
#include <optional>
#include <variant>

namespace ovra {

// The fixed collections the library store fills with its own queries.
enum class SmartCollection { recents, large, screenshots };

inline constexpr std::array<SmartCollection, 3> kAllSmartCollections{
    SmartCollection::recents, SmartCollection::large, SmartCollection::screenshots};

QString rawValue(SmartCollection collection);
std::optional<SmartCollection> smartCollectionFromRaw(QStringView raw);

// Every place the user can select in the sidebar; also the key under which the
// library store caches a collection.
struct SidebarItem {
    // The payloads of the cases that carry none, and of a download source (whose
    // name is the payload, compared exactly, letter case included).
    struct Source {
        QString name;
        friend bool operator==(const Source&, const Source&) = default;
    };
    struct Home {
        friend bool operator==(Home, Home) = default;
    };
    struct Duplicates {
        friend bool operator==(Duplicates, Duplicates) = default;
    };
    struct CleanupHub {
        friend bool operator==(CleanupHub, CleanupHub) = default;
    };
    struct Sources {
        friend bool operator==(Sources, Sources) = default;
    };

    // The cases, in the order of the alternatives of `value`.
    enum class Kind {
        smart,
        category,
        location,
        cleanup,
        source,
        home,
        duplicates,
        cleanupHub,
        sources
    };

    using Value = std::variant<SmartCollection, FileCategory, Location, CleanupKind, Source, Home,
                               Duplicates, CleanupHub, Sources>;
    Value value = Home{};

    static SidebarItem smart(SmartCollection collection) { return {collection}; }
    static SidebarItem category(FileCategory category) { return {category}; }
    static SidebarItem location(Location location) { return {std::move(location)}; }
    static SidebarItem cleanup(CleanupKind kind) { return {kind}; }
    static SidebarItem source(QString name) { return {Source{std::move(name)}}; }
    static SidebarItem home() { return {Home{}}; }
    static SidebarItem duplicates() { return {Duplicates{}}; }
    static SidebarItem cleanupHub() { return {CleanupHub{}}; }
    static SidebarItem sources() { return {Sources{}}; }

    Kind kind() const { return static_cast<Kind>(value.index()); }
    // The payload when the item is of that case, else null:
    // `if (auto* c = item.as<FileCategory>()) …`.
    template <typename T> const T* as() const { return std::get_if<T>(&value); }

    // The heading of the place: "Recents", "Images", a location's title,
    // "Old Installers", "From " + a source's name, "Home", …
    QString title() const;

    friend bool operator==(const SidebarItem&, const SidebarItem&) = default;
};

// The case, then its payload: raw values, all three fields of a location, a
// source's name.
size_t qHash(const SidebarItem& item, size_t seed = 0);

} // namespace ovra

template <> struct std::hash<ovra::SidebarItem> {
    size_t operator()(const ovra::SidebarItem& item) const { return ovra::qHash(item); }
};
