#include "AttributeCache.h"

#include "platform/AtomicSave.h"
#include "platform/OwnFile.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ovra::md {
namespace {

constexpr quint32 kMagic = 0x4f564d43; // "OVMC"
constexpr quint32 kVersion = 2;        // 2: the access times around our reads
// Some hundreds of bytes a file with attributes: room for millions of them. A
// link at the cache's path is no cache, and is replaced by the next save.
constexpr OwnFile::Rule kFileRule{2LL * 1024 * 1024 * 1024, OwnFile::Links::notFollowed};

// Qt reserves room for a list's count before reading its elements, so a count
// from a damaged file could ask for gigabytes: it is checked against the bytes
// left (each text takes at least its 4-byte length) first.
void readList(QDataStream& in, QStringList& list)
{
    list.clear();
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok) return;
    constexpr qint64 kSmallestText = 4;
    if (qint64(count) > in.device()->bytesAvailable() / kSmallestText) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString text;
        in >> text;
        list.append(text);
    }
}

template <typename T> void read(QDataStream& in, T& value)
{
    in >> value;
}

void read(QDataStream& in, QStringList& value)
{
    readList(in, value);
}

template <typename T> void writeOptional(QDataStream& out, const std::optional<T>& value)
{
    out << bool(value.has_value());
    if (value) out << *value;
}

template <typename T> void readOptional(QDataStream& in, std::optional<T>& value)
{
    bool present = false;
    in >> present;
    if (!present) return;
    T v{};
    read(in, v);
    value = std::move(v);
}

} // namespace

void AttributeCache::writeContent(QDataStream& out, const ContentAttributes& c)
{
    writeOptional(out, c.pixelWidth);
    writeOptional(out, c.pixelHeight);
    writeOptional(out, c.durationSeconds);
    writeOptional(out, c.title);
    writeOptional(out, c.authors);
    writeOptional(out, c.album);
    writeOptional(out, c.musicalGenre);
    out << c.codecs;
    writeOptional(out, c.numberOfPages);
    writeOptional(out, c.acquisitionMake);
    writeOptional(out, c.acquisitionModel);
    writeOptional(out, c.contentCreationDate);
    out << c.isScreenCapture;
}

void AttributeCache::readContent(QDataStream& in, ContentAttributes& c)
{
    readOptional(in, c.pixelWidth);
    readOptional(in, c.pixelHeight);
    readOptional(in, c.durationSeconds);
    readOptional(in, c.title);
    readOptional(in, c.authors);
    readOptional(in, c.album);
    readOptional(in, c.musicalGenre);
    readList(in, c.codecs);
    readOptional(in, c.numberOfPages);
    readOptional(in, c.acquisitionMake);
    readOptional(in, c.acquisitionModel);
    readOptional(in, c.contentCreationDate);
    in >> c.isScreenCapture;
}

AttributeMap AttributeCache::load(const QString& file)
{
    AttributeMap records;
    const OwnFile own = OwnFile::open(file, kFileRule);
    QFile f;
    if (!own.isOpen() || !f.open(own.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return records;
    QDataStream in(&f);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0, version = 0;
    quint64 count = 0;
    in >> magic >> version >> count;
    if (magic != kMagic || version != kVersion) return records;
    for (quint64 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QByteArray path;
        CachedAttributes r;
        qint64 size = 0;
        in >> path >> size >> r.modified >> r.typeFromContent >> r.hasContent >>
            r.readAccess.before >> r.readAccess.after;
        r.size = size;
        if (r.hasContent) AttributeCache::readContent(in, r.content);
        // A record cut short by damage is dropped, with everything after it.
        if (in.status() != QDataStream::Ok) break;
        records.emplace(path.toStdString(), std::move(r));
    }
    return records;
}

bool AttributeCache::save(const QString& file, const AttributeMap& records)
{
    return save(file, records.size(), [&records](const RecordSink& sink) {
        for (const auto& [path, r] : records)
            sink(path, r);
    });
}

bool AttributeCache::save(const QString& file, quint64 count,
                          const std::function<void(const RecordSink&)>& records)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << kMagic << kVersion << count;
    quint64 written = 0;
    records([&](std::string_view path, const CachedAttributes& r) {
        ++written;
        out << QByteArray::fromRawData(path.data(), qsizetype(path.size())) << qint64(r.size)
            << r.modified << r.typeFromContent << r.hasContent << r.readAccess.before
            << r.readAccess.after;
        if (r.hasContent) AttributeCache::writeContent(out, r.content);
    });
    // A count that does not match the records would make the file unreadable
    // past them: none is written rather than a wrong one.
    return written == count && out.status() == QDataStream::Ok &&
           AtomicSave::save(file, bytes, kFileRule.links);
}

} // namespace ovra::md
