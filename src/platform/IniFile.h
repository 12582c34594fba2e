#pragma once

#include "OwnFile.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace ovra {

// A settings file in the INI form QSettings writes, read and written by hand so
// that nothing in it is decoded until a reader asks for a value, and then only as
// text or a list of texts. Values of other types ("@Variant(…)", "@ByteArray(…)")
// are never decoded: their bytes are kept as they are, and written back unchanged.
class IniFile {
public:
    // Past this a file is not one the app wrote: it reads as empty rather than
    // filling memory (OwnFile's `tooLarge`). A save never writes a larger one.
    static constexpr qint64 kLargestFile = 4 * 1024 * 1024;

    // An empty file when it is missing or cannot be read (OwnFile's rule:
    // `status` says which).
    static IniFile read(const QString& path, OwnFile::Status* status = nullptr);
    // The whole file, as it is saved.
    QByteArray encoded() const;

    // The value's bytes as the file spells them; nothing when missing. A key
    // outside the [General] section is "section/key".
    std::optional<QByteArray> raw(const QString& key) const;
    void setRaw(const QString& key, const QByteArray& value);

private:
    struct Entry {
        QByteArray section; // as written between the brackets
        QByteArray name;    // as written before the "="
        QString key;
        QByteArray value;
    };
    QList<Entry> m_entries;
    // Each key's entry: a file of many keys is read and saved in time that
    // grows with their number, not its square.
    QHash<QString, qsizetype> m_index;
};

// One value in that form: a single element or a comma-separated list.
struct IniValue {
    // Each element, or nothing for an element of a type other than text.
    QList<std::optional<QString>> elements;
    bool isList = false;

    static IniValue decode(const QByteArray& raw);
    static QByteArray encode(const QString& text);
    static QByteArray encode(const QStringList& texts);
};

} // namespace ovra
