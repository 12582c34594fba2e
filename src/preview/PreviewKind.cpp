#include "PreviewKind.h"

namespace ovra {

PreviewKind previewKind(const FileItem& item)
{
    const auto conforms = [&](const UniformType& type) {
        return item.contentType && item.contentType->conforms(type);
    };
    switch (item.category) {
    case FileCategory::images: return PreviewKind::image;
    case FileCategory::videos: return PreviewKind::video;
    case FileCategory::music: return PreviewKind::audio;
    case FileCategory::folders:
    case FileCategory::apps: return PreviewKind::other;
    default: break;
    }
    if (conforms(UniformType::pdf())) return PreviewKind::pdf;
    if (conforms(UniformType::movie())) return PreviewKind::video;
    if (conforms(UniformType::audio())) return PreviewKind::audio;
    if (item.category == FileCategory::code || conforms(UniformType::text()))
        return PreviewKind::text;
    return PreviewKind::other;
}

} // namespace ovra
