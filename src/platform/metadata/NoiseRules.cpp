#include "NoiseRules.h"

#include <QList>
#include <QString>

#include <array>

namespace ovra::md {
namespace {

constexpr std::array<std::string_view, 4> kNoiseNames{"node_modules", "DerivedData", "Pods",
                                                      "site-packages"};
constexpr std::array<std::string_view, 10> kNoiseSuffixes{
    ".app",    ".photoslibrary", ".musiclibrary", ".tvlibrary",   ".framework",
    ".bundle", ".xcodeproj",     ".xcassets",     ".xcworkspace", ".lproj"};

} // namespace

bool isNoiseFolderName(std::string_view name)
{
    for (std::string_view n : kNoiseNames)
        if (name == n) return true;
    for (std::string_view s : kNoiseSuffixes)
        if (name.size() >= s.size() && name.substr(name.size() - s.size()) == s) return true;
    return false;
}

bool isNoiseRelativePath(QStringView relativePath)
{
    const QList<QStringView> parts = relativePath.split(u'/', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts[i].startsWith(u'.')) return true;
        // The last part is the file itself: only the folders above it can make it noise.
        if (i + 1 < parts.size() && isNoiseFolderName(parts[i].toUtf8().toStdString())) return true;
    }
    return false;
}

} // namespace ovra::md
