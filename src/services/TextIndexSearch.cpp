#include "TextIndexSearch.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include <emmintrin.h>

namespace ovra {
namespace {

bool isAscii(const char16_t* units, qsizetype count)
{
    char16_t bits = 0;
    for (qsizetype i = 0; i < count; ++i)
        bits |= units[i];
    return bits < 0x80;
}

void appendUnit(char16_t unit, std::string& out)
{
    if (unit < 0x80) {
        out.push_back(char(unit));
    } else if (unit < 0x800) {
        out.push_back(char(0xC0 | (unit >> 6)));
        out.push_back(char(0x80 | (unit & 0x3F)));
    } else {
        out.push_back(char(0xE0 | (unit >> 12)));
        out.push_back(char(0x80 | ((unit >> 6) & 0x3F)));
        out.push_back(char(0x80 | (unit & 0x3F)));
    }
}

// Nearly all recognised text is ASCII, which decomposes to itself, holds no
// marks and folds by lowering A to Z: it skips the Unicode tables.
void appendFolded(const QString& text, std::string& out)
{
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype count = text.size();
    if (isAscii(units, count)) {
        const std::size_t at = out.size();
        out.resize(at + std::size_t(count));
        char* bytes = out.data() + at;
        for (qsizetype i = 0; i < count; ++i) {
            const char16_t unit = units[i];
            bytes[i] = char(unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit);
        }
        return;
    }
    const QString folded = TextIndexSearch::folded(text);
    for (const QChar c : folded)
        appendUnit(c.unicode(), out);
}

// Where the needle first occurs in the text, or null. Sixteen places are tried
// at once for the needle's first and last byte, and only where both agree are
// the bytes between compared: three to five times the pace of memmem on
// recognised text, where needles are short words.
const char* findIn(std::string_view text, std::string_view needle)
{
    const std::size_t length = needle.size();
    if (length == 0) return text.data();
    if (length > text.size()) return nullptr;
    if (length == 1)
        return static_cast<const char*>(std::memchr(text.data(), needle[0], text.size()));
    const char* const data = text.data();
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    std::size_t at = 0;
    for (; at + length + 15 <= text.size(); at += 16) {
        const __m128i atFirst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        const __m128i atLast =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + length - 1));
        auto mask = unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(first, atFirst), _mm_cmpeq_epi8(last, atLast))));
        while (mask != 0) {
            const std::size_t start = at + std::size_t(std::countr_zero(mask));
            if (std::memcmp(data + start + 1, needle.data() + 1, length - 2) == 0)
                return data + start;
            mask &= mask - 1;
        }
    }
    return static_cast<const char*>(memmem(data + at, text.size() - at, needle.data(), length));
}

bool contains(std::string_view text, const std::string& needle)
{
    return findIn(text, needle) != nullptr;
}

} // namespace

QString TextIndexSearch::folded(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString result;
    result.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing) result.append(c);
    }
    return result.toCaseFolded();
}

TextIndexSearch TextIndexSearch::built(const TextIndexEntries& entries)
{
    TextIndexSearch search;
    qsizetype units = 0;
    for (const TextIndexEntry& entry : entries)
        units += entry.text.size();
    search.m_bytes.reserve(std::size_t(units));
    search.m_slots.reserve(std::size_t(entries.size()));
    search.m_slotOfPath.reserve(entries.size());
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it->text.isEmpty()) continue;
        const std::size_t begin = search.m_bytes.size();
        appendFolded(it->text, search.m_bytes);
        search.m_slotOfPath.insert(it.key(), qsizetype(search.m_slots.size()));
        search.m_slots.push_back(
            {it.key(), qsizetype(begin), qsizetype(search.m_bytes.size()), it->modified, true});
    }
    return search;
}

void TextIndexSearch::insert(const QString& path, const QString& text, double modified)
{
    remove(path);
    if (text.isEmpty()) return;
    const std::size_t begin = m_bytes.size();
    appendFolded(text, m_bytes);
    m_slotOfPath.insert(path, qsizetype(m_slots.size()));
    m_slots.push_back({path, qsizetype(begin), qsizetype(m_bytes.size()), modified, true});
}

void TextIndexSearch::remove(const QString& path)
{
    const auto it = m_slotOfPath.constFind(path);
    if (it == m_slotOfPath.cend()) return;
    m_slots[std::size_t(*it)].isLive = false;
    m_slotOfPath.erase(it);
    // Half the buffer dead at most: a compaction costs what the live half holds,
    // so every removal pays for it once.
    if (++m_deadSlots > m_slotOfPath.size()) compact();
}

void TextIndexSearch::compact()
{
    std::string bytes;
    std::vector<Slot> kept;
    kept.reserve(std::size_t(m_slotOfPath.size()));
    for (Slot& slot : m_slots) {
        if (!slot.isLive) continue;
        const std::size_t begin = bytes.size();
        bytes.append(m_bytes, std::size_t(slot.begin), std::size_t(slot.end - slot.begin));
        m_slotOfPath[slot.path] = qsizetype(kept.size());
        kept.push_back(
            {std::move(slot.path), qsizetype(begin), qsizetype(bytes.size()), slot.modified, true});
    }
    m_bytes = std::move(bytes);
    m_slots = std::move(kept);
    m_deadSlots = 0;
}

// The slot whose bytes hold this offset: the last one that begins at or before
// it (slots without bytes that begin there too come earlier). Hits come in the
// order of the bytes, so it is looked for from the last hit's slot on, in
// growing steps, and only then halved down.
qsizetype TextIndexSearch::slotAt(qsizetype offset, qsizetype from) const
{
    const auto count = qsizetype(m_slots.size());
    qsizetype low = from;
    qsizetype step = 1;
    while (low + step < count && m_slots[std::size_t(low + step)].begin <= offset) {
        low += step;
        step *= 2;
    }
    const auto begin = m_slots.cbegin();
    const auto after =
        std::upper_bound(begin + low + 1, begin + std::min(low + step, count), offset,
                         [](qsizetype at, const Slot& s) { return at < s.begin; });
    return qsizetype(after - begin) - 1;
}

bool TextIndexSearch::containsTheRest(const Slot& slot, const std::vector<std::string>& terms) const
{
    const std::string_view text(m_bytes.data() + slot.begin, std::size_t(slot.end - slot.begin));
    return std::all_of(terms.cbegin() + 1, terms.cend(),
                       [&](const std::string& term) { return contains(text, term); });
}

std::vector<qsizetype> TextIndexSearch::slotsHolding(const QStringList& terms) const
{
    std::vector<qsizetype> hits;
    if (terms.isEmpty()) return hits;
    std::vector<std::string> needles;
    for (const QString& term : terms) {
        std::string needle;
        appendFolded(term, needle);
        // A term that folds to nothing is in every text.
        if (!needle.empty()) needles.push_back(std::move(needle));
    }
    if (needles.empty()) {
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            if (m_slots[i].isLive) hits.push_back(qsizetype(i));
        return hits;
    }
    // The longest term is the rarest as a rule: the scan looks for it alone, and
    // the few texts that hold it are tried for the rest.
    std::stable_sort(
        needles.begin(), needles.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    const std::string& first = needles.front();
    const char* const data = m_bytes.data();
    const std::size_t size = m_bytes.size();
    std::size_t at = 0;
    qsizetype index = 0;
    while (at < size) {
        const char* hit = findIn(std::string_view(data + at, size - at), first);
        if (!hit) break;
        const auto offset = std::size_t(hit - data);
        index = slotAt(qsizetype(offset), index);
        const Slot& slot = m_slots[std::size_t(index)];
        if (offset + first.size() > std::size_t(slot.end)) {
            at = offset + 1; // runs on into the next entry's text
            continue;
        }
        if (slot.isLive && containsTheRest(slot, needles)) hits.push_back(index);
        at = std::size_t(slot.end);
    }
    return hits;
}

QStringList TextIndexSearch::find(const QStringList& terms) const
{
    const std::vector<qsizetype> found = slotsHolding(terms);
    QStringList paths;
    paths.reserve(qsizetype(found.size()));
    for (const qsizetype slot : found)
        paths.append(m_slots[std::size_t(slot)].path);
    return paths;
}

QList<TextIndexSearch::Hit> TextIndexSearch::findHits(const QStringList& terms) const
{
    const std::vector<qsizetype> found = slotsHolding(terms);
    QList<Hit> hits;
    hits.reserve(qsizetype(found.size()));
    for (const qsizetype index : found) {
        const Slot& slot = m_slots[std::size_t(index)];
        hits.append({slot.path, slot.modified});
    }
    return hits;
}

} // namespace ovra
