#pragma once

#include "platform/UniformType.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace ovra {

// The nine kinds every file is sorted into, in the order the app lists them.
// A category has no title of its own: the sidebar entry for it gives the title.
enum class FileCategory { images, videos, music, documents, archives, apps, code, folders, other };

inline constexpr std::array<FileCategory, 9> kAllFileCategories{
    FileCategory::images,    FileCategory::videos,   FileCategory::music,
    FileCategory::documents, FileCategory::archives, FileCategory::apps,
    FileCategory::code,      FileCategory::folders,  FileCategory::other};

// The categories loaded as library collections at start-up.
inline constexpr std::array<FileCategory, 6> kLibraryCategories{
    FileCategory::images,    FileCategory::videos,   FileCategory::music,
    FileCategory::documents, FileCategory::archives, FileCategory::apps};

QString rawValue(FileCategory category);
std::optional<FileCategory> fileCategoryFromRaw(QStringView raw);

// The category of a file of type `type`. A directory is always a folder; a
// package (an application bundle, say) is not a directory and goes by its type.
FileCategory classify(const std::optional<UniformType>& type, bool isDirectory);

// The metadata query string that finds files of the category.
QString spotlightQuery(FileCategory category);

// Whether a real thumbnail fills the whole tile (pictures, video frames, album
// art) rather than sitting on the placeholder.
bool fillsTile(FileCategory category);

// An sRGB colour at full opacity, components 0 to 1. The library stays free of Qt
// Gui; views turn it into a QColor.
struct Rgb {
    double r = 0;
    double g = 0;
    double b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The placeholder tile's two colours, start then end.
std::array<Rgb, 2> gradient(FileCategory category);

} // namespace ovra
