#pragma once

#include <QStringView>

#include <string_view>

namespace ovra::md {

// Folders whose insides are never listed by any collection: application
// bundles, photo and music libraries, frameworks, project and build folders,
// dependency folders and localisation folders. The folder itself is kept.
bool isNoiseFolderName(std::string_view name);

// True when a path, given relative to the folder it was found under, has a
// hidden part or lies inside a noise folder. Judging only the part below the
// scope lets a home folder whose own path holds "/." work.
bool isNoiseRelativePath(QStringView relativePath);

} // namespace ovra::md
