#pragma once

#include "TextIndexEntry.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace ovra {

// The texts of the text index as a search compares them: case and accents are
// folded away once, when an entry comes in, and the folded texts lie end to end
// in one buffer, so a term is looked for in every entry by one scan of memory.
//
// A folded text is kept as bytes, each UTF-16 unit in the bytes UTF-8 gives its
// value (a surrogate too, on its own). Those byte strings contain each other
// exactly when the folded texts do, unit for unit.
class TextIndexSearch {
public:
    // Case and accents ignored, the same in every locale: "Café" and "CAFE" fold alike.
    static QString folded(const QString& text);

    // The search over a whole index, made at once.
    static TextIndexSearch built(const TextIndexEntries& entries);

    // A path found, with the modification time of the version whose text was read.
    struct Hit {
        QString path;
        double modified = 0;
        friend bool operator==(const Hit&, const Hit&) = default;
    };

    // Replaces what the path held before. An entry without text is never found.
    void insert(const QString& path, const QString& text, double modified = 0);
    void remove(const QString& path);

    // The paths whose text contains every term (folded here), in the order
    // their entries came in. No terms match nothing.
    QStringList find(const QStringList& terms) const;
    // The same, each with the version its text describes.
    QList<Hit> findHits(const QStringList& terms) const;

    // The paths of entries that can be found, for tests.
    qsizetype size() const { return m_slotOfPath.size(); }

private:
    struct Slot {
        QString path;
        qsizetype begin = 0;
        qsizetype end = 0;
        double modified = 0;
        bool isLive = true;
    };

    // The live slots holding every term, in the order of their bytes.
    std::vector<qsizetype> slotsHolding(const QStringList& terms) const;
    qsizetype slotAt(qsizetype offset, qsizetype from) const;
    bool containsTheRest(const Slot& slot, const std::vector<std::string>& terms) const;
    void compact();

    std::string m_bytes;
    std::vector<Slot> m_slots; // in the order of their bytes
    QHash<QString, qsizetype> m_slotOfPath;
    qsizetype m_deadSlots = 0;
};

} // namespace ovra
