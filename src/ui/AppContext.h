#pragma once

#include "library/FileItem.h"
#include "library/Summaries.h"

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace ovra {

class AppState;
struct FileItem;
class LibraryStore;
class Trash;
class FileInteractions;
struct SidebarItem;
struct AppContext;
class TextIndex;
namespace md {
class MetadataIndex;
}
namespace content {
class ContentIndex;
class ContentIndexer;
} // namespace content

// The long-lived objects, made once at start-up and handed to every screen's
// constructor (there are no globals). A pointer that is null stands for an object
// this process did not make (tests make only what they drive): whatever shows its
// figures shows nothing.
struct AppContext {
    md::MetadataIndex* index = nullptr;
    std::shared_ptr<content::ContentIndex> contentIndex;
    content::ContentIndexer* contentIndexer = nullptr;
    AppState* state = nullptr;
    LibraryStore* library = nullptr;
    TextIndex* textIndex = nullptr;
    CleanupSummary* cleanup = nullptr;
    SourceSummary* sources = nullptr;
    DuplicateSummary* duplicates = nullptr;
    PlayerSummary* player = nullptr;
    Trash* trash = nullptr;
    // What a double click, a right click or a drag on a file does; every file
    // browser and shelf attaches it.
    FileInteractions* interactions = nullptr;

    // The screens of the tools that sit above the file browser (cleanup,
    // download sources, duplicates). The shell sets their makers, so the detail
    // area shows them without depending on them; an unset maker shows a titled
    // empty state. The item is the sidebar entry the screen shows, if any.
    using ScreenMaker = std::function<QWidget*(
        const AppContext& context, const std::optional<SidebarItem>& item, QWidget* parent)>;
    ScreenMaker cleanupHubScreen;
    ScreenMaker cleanupReviewScreen;
    ScreenMaker sourcesHubScreen;
    ScreenMaker sourceScreen;
    ScreenMaker duplicatesScreen;
    // The home view's sections of cleanup suggestions and download sources;
    // unset, the home view leaves them out.
    ScreenMaker cleanupSection;
    ScreenMaker sourcesSection;
};

} // namespace ovra
