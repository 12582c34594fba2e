#pragma once

#include "library/FileItem.h"

namespace ovra {

// How a preview shows a file.
enum class PreviewKind {
    image, // the picture, decoded at the size shown
    pdf,   // its pages, scrolling
    text,  // the first part of the file as plain text
    audio, // playing controls under the file's picture
    video, // the film with playing controls
    other, // the file's icon and details
};

PreviewKind previewKind(const FileItem& item);

} // namespace ovra
