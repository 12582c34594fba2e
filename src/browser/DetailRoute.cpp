#include "DetailRoute.h"

namespace ovra {

DetailRoute detailRoute(const std::optional<SidebarItem>& selection, bool isSearching)
{
    if (isSearching) return {DetailScreen::search, std::nullopt};
    if (!selection) return {DetailScreen::home, std::nullopt};
    switch (selection->kind()) {
    case SidebarItem::Kind::smart:
    case SidebarItem::Kind::category: return {DetailScreen::collection, selection};
    case SidebarItem::Kind::location: return {DetailScreen::folder, selection};
    case SidebarItem::Kind::cleanup: return {DetailScreen::cleanupReview, selection};
    case SidebarItem::Kind::source: return {DetailScreen::source, selection};
    case SidebarItem::Kind::home: return {DetailScreen::home, std::nullopt};
    case SidebarItem::Kind::duplicates: return {DetailScreen::duplicates, std::nullopt};
    case SidebarItem::Kind::cleanupHub: return {DetailScreen::cleanupHub, std::nullopt};
    case SidebarItem::Kind::sources: return {DetailScreen::sourcesHub, std::nullopt};
    }
    return {DetailScreen::home, std::nullopt};
}

} // namespace ovra
