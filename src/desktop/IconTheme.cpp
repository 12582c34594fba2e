#include "IconTheme.h"

#include "platform/DesktopEntry.h"
#include "platform/OwnFile.h"
#include "platform/XdgPaths.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>

#include <algorithm>
#include <climits>
#include <optional>

namespace ovra {

namespace {

const QString kInstalledTheme = QStringLiteral("Adwaita");
const QString kLastTheme = QStringLiteral("hicolor");
const QStringList kExtensions{QStringLiteral(".png"), QStringLiteral(".svg"),
                              QStringLiteral(".xpm")};
// A theme that inherits itself, or a long chain of them, must not loop.
constexpr int kMaxThemes = 12;
// Far beyond any icon a theme ships; a larger file is none worth drawing.
constexpr std::int64_t kMaxIconBytes = 16 * 1024 * 1024;
// Far beyond any icon drawn; an index.theme that says more is damaged. Sizes
// within it keep the sums and differences of the size matching within an int.
constexpr int kLargestSide = 1 << 16;

std::mutex& desktopThemeMutex()
{
    static std::mutex mutex;
    return mutex;
}

QString& desktopTheme()
{
    static QString name;
    return name;
}

// The key's number when it lies within [least, most]; `fallback` when it is
// missing, not a number or out of those bounds.
int number(const KeyFile::Group& group, const QString& key, int least, int most, int fallback)
{
    bool ok = false;
    const qlonglong value = group.value(key).toLongLong(&ok);
    return ok && value >= least && value <= most ? int(value) : fallback;
}

// A theme's folder as `Directories=` names it, spelled so that every spelling
// of one folder is the same ("a//b/", "./a/b" and "a/b" are one: an empty or
// "." component leads nowhere else); nothing for a name that leads outside the
// theme, absolute or with a ".." in it.
std::optional<QString> themeFolder(const QString& name)
{
    if (name.startsWith(u'/')) return std::nullopt;
    QStringList parts;
    for (const QString& part : name.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..") return std::nullopt;
        if (part != u".") parts << part;
    }
    return parts.isEmpty() ? QStringLiteral(".") : parts.join(u'/');
}

// A theme is a folder of its own in each search path, named by one component.
bool isThemeName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/');
}

} // namespace

bool IconTheme::Directory::matches(int pixelSide) const
{
    switch (type) {
    case Type::fixed: return pixelSide == size;
    case Type::scalable: return minSize <= pixelSide && pixelSide <= maxSize;
    case Type::threshold: return size - threshold <= pixelSide && pixelSide <= size + threshold;
    }
    return false;
}

int IconTheme::Directory::distance(int pixelSide) const
{
    switch (type) {
    case Type::fixed: return std::abs(size - pixelSide);
    case Type::scalable:
        if (pixelSide < minSize) return minSize - pixelSide;
        if (pixelSide > maxSize) return pixelSide - maxSize;
        return 0;
    case Type::threshold:
        if (pixelSide < size - threshold) return size - threshold - pixelSide;
        if (pixelSide > size + threshold) return pixelSide - size - threshold;
        return 0;
    }
    return INT_MAX;
}

IconTheme::IconTheme(const QString& themeName, QStringList searchPaths)
    : m_themeName(themeName)
    , m_searchPaths(std::move(searchPaths))
{
}

IconTheme& IconTheme::shared()
{
    // Never destroyed: a pool thread may still be drawing an icon as the
    // program ends.
    static IconTheme* theme = new IconTheme([] {
        const std::lock_guard lock(desktopThemeMutex());
        return desktopTheme();
    }());
    return *theme;
}

void IconTheme::setDesktopTheme(const QString& themeName)
{
    const std::lock_guard lock(desktopThemeMutex());
    if (desktopTheme().isEmpty()) desktopTheme() = themeName;
}

QStringList IconTheme::defaultSearchPaths()
{
    QStringList paths{xdg::home() + QStringLiteral("/.icons"),
                      xdg::dataHome() + QStringLiteral("/icons")};
    for (const QString& dir : xdg::dataDirs())
        paths << dir + QStringLiteral("/icons");
    // Where the installed theme lands, should the environment not say.
    for (const QString& dir :
         {QStringLiteral("/usr/local/share/icons"), QStringLiteral("/usr/share/icons")}) {
        if (!paths.contains(dir)) paths << dir;
    }
    return paths;
}

std::unique_ptr<IconTheme::Theme> IconTheme::readTheme(const QString& name,
                                                       QStringList& inherits) const
{
    QStringList roots;
    KeyFile index;
    for (const QString& base : m_searchPaths) {
        const QString root = base + u'/' + name;
        if (!QFileInfo(root).isDir()) continue;
        roots << root;
        if (index.groups.isEmpty()) index = KeyFile::read(root + QStringLiteral("/index.theme"));
    }
    if (index.groups.isEmpty()) return nullptr;
    const KeyFile::Group header = index.group(QStringLiteral("Icon Theme"));
    inherits = header.value(QStringLiteral("Inherits")).split(u',', Qt::SkipEmptyParts);

    auto theme = std::make_unique<Theme>();
    const QStringList names =
        header.value(QStringLiteral("Directories")).split(u',', Qt::SkipEmptyParts);
    // A folder named again adds nothing but the time to list it again. The
    // names as written are kept beside the folders, so a name repeated is
    // passed over before it is taken apart.
    QSet<QString> taken;
    for (const QString& name : names) {
        if (taken.contains(name)) continue;
        taken.insert(name);
        const std::optional<QString> subdir = themeFolder(name);
        if (!subdir || (*subdir != name && taken.contains(*subdir))) continue;
        taken.insert(*subdir);
        const KeyFile::Group group = index.group(name);
        // Folders for screens of a higher scale hold the same icons drawn larger.
        if (group.isEmpty() || number(group, QStringLiteral("Scale"), 1, INT_MAX, 1) != 1) continue;
        Directory directory;
        directory.size = number(group, QStringLiteral("Size"), 0, kLargestSide, 0);
        directory.minSize =
            number(group, QStringLiteral("MinSize"), 0, kLargestSide, directory.size);
        directory.maxSize =
            number(group, QStringLiteral("MaxSize"), 0, kLargestSide, directory.size);
        directory.threshold = number(group, QStringLiteral("Threshold"), 0, kLargestSide, 2);
        const QString type = group.value(QStringLiteral("Type"));
        directory.type = type == u"Fixed"      ? Directory::Type::fixed
                         : type == u"Scalable" ? Directory::Type::scalable
                                               : Directory::Type::threshold;
        const int at = int(theme->directories.size());
        theme->directories.push_back(directory);
        for (const QString& root : roots) {
            const QDir dir(root + u'/' + *subdir);
            for (const QString& file : dir.entryList(QDir::Files | QDir::NoDotAndDotDot)) {
                const qsizetype dot = file.lastIndexOf(u'.');
                if (dot <= 0 || !kExtensions.contains(file.mid(dot))) continue;
                theme->files[file.left(dot)].emplace_back(at, dir.filePath(file));
            }
        }
    }
    return theme;
}

void IconTheme::load()
{
    QStringList queue;
    if (!m_themeName.isEmpty()) queue << m_themeName;
    queue << kInstalledTheme << kLastTheme;
    QStringList seen;
    while (!queue.isEmpty() && seen.size() < kMaxThemes) {
        const QString name = queue.takeFirst();
        if (!isThemeName(name) || seen.contains(name)) continue;
        seen << name;
        QStringList inherits;
        if (std::unique_ptr<Theme> theme = readTheme(name, inherits)) {
            m_themes.push_back(std::move(theme));
            // What a theme inherits comes before the themes named after it.
            queue = inherits + queue;
        }
    }
}

QString IconTheme::iconFile(const QStringList& names, int pixelSide)
{
    std::call_once(m_loaded, [this] { load(); });
    // Every folder's sizes lie within these bounds, so the order of the
    // distances is the same, and none of them overflows.
    pixelSide = std::clamp(pixelSide, 1, kLargestSide);
    for (const QString& name : names) {
        if (name.isEmpty()) continue;
        for (const std::unique_ptr<Theme>& theme : m_themes) {
            const auto found = theme->files.constFind(name);
            if (found == theme->files.cend()) continue;
            // An exact fit if there is one, else the closest size.
            const QString* best = nullptr;
            int bestDistance = INT_MAX;
            for (const auto& [at, path] : *found) {
                const Directory& directory = theme->directories[size_t(at)];
                const int distance =
                    directory.matches(pixelSide) ? -1 : directory.distance(pixelSide);
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = &path;
                }
            }
            if (best) return *best;
        }
    }
    return {};
}

QImage IconTheme::image(const QStringList& names, int pixelSide)
{
    const QString file = iconFile(names, pixelSide);
    return file.isEmpty() ? QImage() : readIconFile(file, pixelSide);
}

QByteArray IconTheme::readIconBytes(const QString& path)
{
    return OwnFile::read(path, {kMaxIconBytes});
}

QImage IconTheme::readIconFile(const QString& path, int pixelSide)
{
    if (pixelSide <= 0) return {};
    QByteArray bytes = readIconBytes(path);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize natural = reader.size();
    // Vector icons have no size of their own worth keeping: drawn at the one asked.
    const bool vector = path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive) ||
                        path.endsWith(QLatin1String(".svgz"), Qt::CaseInsensitive);
    if (vector || natural.width() > pixelSide || natural.height() > pixelSide) {
        const QSize base = natural.isValid() && !natural.isEmpty() ? natural : QSize(1, 1);
        reader.setScaledSize(base.scaled(pixelSide, pixelSide, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.isNull()) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace ovra
