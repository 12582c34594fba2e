#pragma once

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <vector>

namespace ovra {

// The freedesktop icon themes, read by us so that an icon is found and drawn on
// a pool thread: Qt's own theme loader and icon engines keep caches that only
// the GUI thread may touch, and they read the theme's folders and files as they
// answer. Each theme's folders are listed once, on first use; after that a
// look-up reads only the one file it draws. Thread-safe.
class IconTheme {
public:
    // The themes looked in, in order: the one named (with what it inherits),
    // then Adwaita, installed with the app, then hicolor.
    explicit IconTheme(const QString& themeName, QStringList searchPaths = defaultSearchPaths());

    // The desktop's theme, as the GUI thread learnt it before the first look-up.
    static IconTheme& shared();
    // Names the desktop's theme for `shared()`; only the first call counts,
    // and only before the first look-up.
    static void setDesktopTheme(const QString& themeName);

    static QStringList defaultSearchPaths();

    // The file of the first of `names` any theme has, in the size closest to
    // `pixelSide`; empty when none has any of them.
    QString iconFile(const QStringList& names, int pixelSide);
    // That icon drawn at most `pixelSide` pixels square; null when none is found.
    QImage image(const QStringList& names, int pixelSide);

    // The picture in an icon file at most `pixelSide` square (vector icons
    // drawn at that size). Blocks.
    static QImage readIconFile(const QString& path, int pixelSide);
    // An icon file's bytes, read through OwnFile: empty for anything but a
    // regular file of an icon's size. Blocks: call it on a pool thread.
    static QByteArray readIconBytes(const QString& path);

private:
    struct Directory {
        int size = 0;
        int minSize = 0;
        int maxSize = 0;
        int threshold = 2;
        enum class Type { fixed, scalable, threshold } type = Type::threshold;
        bool matches(int pixelSide) const;
        int distance(int pixelSide) const;
    };
    struct Theme {
        std::vector<Directory> directories;
        // Every icon's files, by name: the index of its directory and its path.
        QHash<QString, std::vector<std::pair<int, QString>>> files;
    };

    void load();
    std::unique_ptr<Theme> readTheme(const QString& name, QStringList& inherits) const;

    QString m_themeName;
    QStringList m_searchPaths;
    std::once_flag m_loaded;
    std::vector<std::unique_ptr<Theme>> m_themes;
};

} // namespace ovra
