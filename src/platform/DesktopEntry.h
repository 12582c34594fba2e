#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <optional>

namespace ovra {

// The freedesktop key-file format that desktop entries, mimeapps.list and
// mimeinfo.cache share: "key=value" lines under "[group]" headers, "#" comments.
// QSettings would mangle its keys ("Name[de]", "text/plain").
struct KeyFile {
    using Group = QHash<QString, QString>;
    QHash<QString, Group> groups;

    // The first occurrence of a key in a group wins, as the desktop reads it.
    static KeyFile parse(QByteArrayView text);
    // A configuration or system file, following links as the desktop does;
    // empty when it cannot be read. Blocks: call it on a pool thread.
    static KeyFile read(const QString& path);

    Group group(const QString& name) const { return groups.value(name); }
};

// An installed application as its desktop entry describes it.
struct DesktopEntry {
    QString id;   // the desktop file id ("org.gnome.TextEditor.desktop")
    QString path; // the entry's file
    QString name; // in the user's language where the entry has it
    QString icon; // an icon-theme name or an absolute file path; may be empty

    // The entry of a parsed file; none when it is not an application or is
    // marked hidden. `id` defaults to the file's name.
    static std::optional<DesktopEntry> fromKeyFile(const KeyFile& file, const QString& path,
                                                   const QString& id = {});
    // Reads a desktop entry among the user's files (opened as every user file
    // is, so never through a link). Blocks: call it on a pool thread.
    static std::optional<DesktopEntry> read(const QString& path, const QString& id = {});

    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};

// The value of a localised key for a locale named like "de_AT": Key[de_AT],
// then Key[de], then Key itself. Any "@modifier" or ".encoding" of the locale
// name is ignored.
QString localizedValue(const KeyFile::Group& group, const QString& key, const QString& locale);

} // namespace ovra
