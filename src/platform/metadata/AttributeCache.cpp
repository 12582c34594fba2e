#include "AttributeCache.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ovra::md {
namespace {

constexpr quint32 kMagic = 0x4f564d43; // "OVMC"
constexpr quint32 kVersion = 1;

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
    in >> v;
    value = v;
}

void writeContent(QDataStream& out, const ContentAttributes& c)
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

void readContent(QDataStream& in, ContentAttributes& c)
{
    readOptional(in, c.pixelWidth);
    readOptional(in, c.pixelHeight);
    readOptional(in, c.durationSeconds);
    readOptional(in, c.title);
    readOptional(in, c.authors);
    readOptional(in, c.album);
    readOptional(in, c.musicalGenre);
    in >> c.codecs;
    readOptional(in, c.numberOfPages);
    readOptional(in, c.acquisitionMake);
    readOptional(in, c.acquisitionModel);
    readOptional(in, c.contentCreationDate);
    in >> c.isScreenCapture;
}

} // namespace

AttributeMap AttributeCache::load(const QString& file)
{
    AttributeMap records;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return records;
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
        in >> path >> size >> r.modified >> r.typeFromContent >> r.hasContent;
        r.size = size;
        if (r.hasContent) readContent(in, r.content);
        // A record cut short by damage is dropped, with everything after it.
        if (in.status() != QDataStream::Ok) break;
        records.emplace(path.toStdString(), std::move(r));
    }
    return records;
}

bool AttributeCache::save(const QString& file, const AttributeMap& records)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QDataStream out(&f);
    out.setVersion(QDataStream::Qt_6_4);
    out << kMagic << kVersion << quint64(records.size());
    for (const auto& [path, r] : records) {
        out << QByteArray::fromRawData(path.data(), qsizetype(path.size())) << qint64(r.size)
            << r.modified << r.typeFromContent << r.hasContent;
        if (r.hasContent) writeContent(out, r.content);
    }
    return out.status() == QDataStream::Ok && f.commit();
}

} // namespace ovra::md
