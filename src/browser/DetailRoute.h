#pragma once

#include "library/SidebarItem.h"

#include <optional>

namespace ovra {

// The screens the detail area can show.
enum class DetailScreen {
    search,
    home,
    collection,    // a smart collection or a library category
    folder,        // a location
    cleanupReview, // one kind of cleanup suggestion
    source,        // the files of one download source
    duplicates,
    cleanupHub,
    sourcesHub
};

// One screen with what it is built from: the sidebar entry for the screens
// that show one entry's files (collection, folder, cleanup review, source);
// none for the others.
struct DetailRoute {
    DetailScreen screen = DetailScreen::home;
    std::optional<SidebarItem> item;

    friend bool operator==(const DetailRoute&, const DetailRoute&) = default;
};

// The screen for the sidebar selection. An active search wins over any
// selection, so the selected screen comes back once the search text is
// cleared; no selection shows home.
DetailRoute detailRoute(const std::optional<SidebarItem>& selection, bool isSearching);

} // namespace ovra
