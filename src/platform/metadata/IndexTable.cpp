#include "IndexTable.h"

#include <QByteArray>

#include <algorithm>
#include <limits>

#include <sys/xattr.h>

namespace ovra::md {

void Table::appendPath(std::uint32_t entry, std::string& out) const
{
    // Paths are rebuilt from names on demand, never stored: measured going up
    // the chain of folders, then written from the end, at any depth.
    std::size_t length = 0;
    for (std::uint32_t e = entry; e != kNone; e = entries[e].parent)
        length += 1 + entries[e].nameLength;
    out += rootUtf8;
    const bool rootEndsWithSlash = !out.empty() && out.back() == '/';
    if (rootEndsWithSlash && length > 0) --length; // the first name needs no slash of its own
    const std::size_t prefix = out.size();
    out.resize(prefix + length);
    std::size_t end = out.size();
    for (std::uint32_t e = entry; e != kNone; e = entries[e].parent) {
        const std::string_view part = name(e);
        end -= part.size();
        std::copy(part.begin(), part.end(), out.begin() + std::ptrdiff_t(end));
        if (end > prefix) out[--end] = '/';
    }
}

QString Table::path(std::uint32_t entry) const
{
    std::string s;
    s.reserve(128);
    appendPath(entry, s);
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::uint32_t Table::find(std::string_view absolutePath) const
{
    std::string_view rest = absolutePath;
    if (rest.substr(0, rootUtf8.size()) != rootUtf8) return kNone;
    rest.remove_prefix(rootUtf8.size());
    if (!rest.empty() && rootUtf8 != "/") {
        if (rest.front() != '/') return kNone;
    }
    std::uint32_t folder = rootFolder;
    std::uint32_t found = kNone;
    while (!rest.empty()) {
        while (!rest.empty() && rest.front() == '/')
            rest.remove_prefix(1);
        if (rest.empty()) break;
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (folder == kNone) return kNone;
        const Folder& f = folders[folder];
        found = kNone;
        for (std::uint32_t i = f.childBegin; i < f.childBegin + f.childCount; ++i) {
            if (name(i) == part) {
                found = i;
                break;
            }
        }
        if (found == kNone) return kNone;
        folder = entries[found].isFolder() ? entries[found].extra : kNone;
    }
    return found;
}

bool Table::isBelow(std::uint32_t entry, std::uint32_t folderEntry) const
{
    for (std::uint32_t e = entry; e != kNone; e = entries[e].parent)
        if (e == folderEntry) return true;
    return false;
}

double Table::lastUsed(std::uint32_t entry) const
{
    const Entry& e = entries[entry];
    double used = std::numeric_limits<double>::quiet_NaN();
    if (!e.isFolder()) {
        double accessed = e.accessed;
        // Our own read may have set the access time; the user's last use, if
        // any, is the time it replaced.
        if (const Extra* x = extra(e);
            x && x->readAccess.isRecorded() && accessed == x->readAccess.after)
            accessed = x->readAccess.before;
        if (accessed > e.modified + kUsedAfterWriteSeconds) used = accessed;
    }
    if (!recentlyUsed.empty()) {
        if (auto it = recentlyUsed.find(entry); it != recentlyUsed.end())
            used = std::isnan(used) ? it->second : std::max(used, it->second);
    }
    return used;
}

OriginCache::OriginCache(std::size_t entries)
    : m_state(new std::atomic<std::uint8_t>[entries]())
    , m_size(entries)
    , m_pages(new std::atomic<std::atomic<const Origins*>*>[(entries >> kPageBits) + 1]())
{
}

OriginCache::~OriginCache()
{
    for (std::size_t p = 0; p <= (m_size >> kPageBits); ++p) {
        std::atomic<const Origins*>* page = m_pages[p].load(std::memory_order_relaxed);
        if (!page) continue;
        for (std::uint32_t i = 0; i <= kPageMask; ++i)
            delete page[i].load(std::memory_order_relaxed);
        delete[] page;
    }
}

const OriginCache::Origins* OriginCache::read(std::uint32_t entry, const std::string& path) const
{
    // One cheap call tells whether the file carries any user attribute at all;
    // nearly none do, so the origin itself is read only for those.
    char names[1024];
    const ssize_t n = llistxattr(path.c_str(), names, sizeof names);
    bool has = n < 0 && errno == ERANGE;
    for (ssize_t i = 0; i < n;) {
        const std::string_view attr(names + i);
        if (attr == "user.xdg.origin.url" || attr == "user.xdg.referrer.url") has = true;
        i += ssize_t(attr.size()) + 1;
    }
    QStringList list;
    if (has) list = readWhereFroms(QByteArray::fromRawData(path.data(), qsizetype(path.size())));
    if (list.isEmpty()) {
        // Another thread may have found origins meanwhile (the file changed):
        // what was published first stays.
        std::uint8_t expected = Unknown;
        if (m_state[entry].compare_exchange_strong(expected, None, std::memory_order_acq_rel) ||
            expected == None)
            return nullptr;
        return m_pages[entry >> kPageBits].load(std::memory_order_acquire)[entry & kPageMask].load(
            std::memory_order_acquire);
    }

    std::atomic<std::atomic<const Origins*>*>& pageSlot = m_pages[entry >> kPageBits];
    std::atomic<const Origins*>* page = pageSlot.load(std::memory_order_acquire);
    if (!page) {
        auto* made = new std::atomic<const Origins*>[kPageMask + 1]();
        if (pageSlot.compare_exchange_strong(page, made, std::memory_order_acq_rel))
            page = made;
        else
            delete[] made;
    }
    auto* origins = new Origins{list, {}};
    origins->utf8.reserve(std::size_t(list.size()));
    for (const QString& s : std::as_const(list)) {
        const QByteArray bytes = s.toUtf8();
        origins->utf8.emplace_back(bytes.constData(), std::size_t(bytes.size()));
    }
    const Origins* published = nullptr;
    if (!page[entry & kPageMask].compare_exchange_strong(published, origins,
                                                         std::memory_order_acq_rel)) {
        delete origins;
        return published;
    }
    std::uint8_t expected = Unknown;
    if (!m_state[entry].compare_exchange_strong(expected, Some, std::memory_order_acq_rel))
        return expected == None ? nullptr : origins;
    return origins;
}

const OriginCache::Origins* Table::originsOf(std::uint32_t entry) const
{
    if (entries[entry].isFolder()) return nullptr;
    return origins->find(entry, [&] {
        std::string p;
        appendPath(entry, p);
        return p;
    });
}

QStringList Table::whereFroms(std::uint32_t entry) const
{
    const OriginCache::Origins* o = originsOf(entry);
    return o ? o->list : QStringList();
}

std::size_t Table::memoryBytes() const
{
    std::size_t bytes = entries.capacity() * sizeof(Entry) + folders.capacity() * sizeof(Folder) +
                        names.capacity() + extras.capacity() * sizeof(Extra);
    for (const Extra& x : extras) {
        auto strings = [](const std::optional<QString>& s) {
            return s ? std::size_t(s->size()) * 2 : 0;
        };
        bytes += strings(x.content.title) + strings(x.content.album) +
                 strings(x.content.musicalGenre) + strings(x.content.acquisitionMake) +
                 strings(x.content.acquisitionModel);
    }
    bytes += recentlyUsed.size() * 32 + entries.size(); // one origin state a file
    return bytes;
}

} // namespace ovra::md
