#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace ovra {

// An installed application as its freedesktop desktop entry describes it.
struct DesktopEntry {
    QString id;   // the desktop file id ("org.gnome.TextEditor.desktop")
    QString path; // the entry's file
    QString name; // in the user's language where the entry has it
    QString icon; // an icon-theme name or an absolute file path; may be empty

    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};

namespace DefaultApplication {

// The application that opens files of `mimeType`: the user's and the system's
// mimeapps.list defaults first, then their added associations, then the
// applications that declare the type; each for the type and then for the types
// it derives from (a C source falls back to plain text). None when nothing
// installed opens it.
std::optional<DesktopEntry> forMimeType(const QString& mimeType);

// Reads a desktop entry file; none when it is not an application entry or is
// marked hidden.
std::optional<DesktopEntry> readEntry(const QString& path, const QString& id = {});

// The entry of a desktop file id, from the applications folders in order.
std::optional<DesktopEntry> findEntry(const QString& id);

} // namespace DefaultApplication
} // namespace ovra
