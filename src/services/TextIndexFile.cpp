#include "TextIndexFile.h"

#include "platform/Checksum.h"
#include "platform/UserFile.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace ovra::TextIndexFile {
namespace {

constexpr std::uint32_t kMagic = 0x5854564f; // "OVTX"
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 4 + 4 + 8 + 8;
constexpr std::size_t kRecordHeaderSize = 8 + 4 + 4;
// A string's length has this bit set when it is stored in UTF-16 units; else it
// is stored in Latin-1, one byte a character, as almost all recognised text can.
constexpr std::uint32_t kWide = 0x8000'0000u;
constexpr qsizetype kLongestString = 0x7fff'ffff;

const QString kModifiedKey = QStringLiteral("modified");
const QString kTextKey = QStringLiteral("text");

bool isLatin1(const QString& text)
{
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    char16_t bits = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        bits |= units[i];
    return bits < 0x100;
}

std::size_t storedSize(const QString& text)
{
    return std::size_t(text.size()) * (isLatin1(text) ? 1 : 2);
}

class Output {
public:
    explicit Output(char* at)
        : m_at(at)
    {
    }
    template <typename T> void put(T value)
    {
        std::memcpy(m_at, &value, sizeof(T));
        m_at += sizeof(T);
    }
    void putLength(const QString& text)
    {
        put<std::uint32_t>(std::uint32_t(text.size()) | (isLatin1(text) ? 0 : kWide));
    }
    void putUnits(const QString& text)
    {
        const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
        const qsizetype count = text.size();
        if (isLatin1(text)) {
            for (qsizetype i = 0; i < count; ++i)
                m_at[i] = char(units[i]);
            m_at += count;
        } else {
            std::memcpy(m_at, units, std::size_t(count) * 2);
            m_at += count * 2;
        }
    }

private:
    char* m_at;
};

class Input {
public:
    Input(const char* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    template <typename T> bool get(T& value)
    {
        if (m_size - m_pos < sizeof(T)) return false;
        std::memcpy(&value, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return true;
    }
    bool getText(std::uint32_t length, QString& text)
    {
        const std::size_t count = length & ~kWide;
        const bool isWide = length & kWide;
        if ((m_size - m_pos) / (isWide ? 2 : 1) < count) return false;
        const char* at = m_data + m_pos;
        if (isWide) {
            text = QString(qsizetype(count), Qt::Uninitialized);
            std::memcpy(text.data(), at, count * 2);
            m_pos += count * 2;
        } else {
            text = QString::fromLatin1(at, qsizetype(count));
            m_pos += count;
        }
        return true;
    }
    std::size_t left() const { return m_size - m_pos; }

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

void writeHeader(char* header, const char* payload, std::size_t size)
{
    Output out(header);
    out.put<std::uint32_t>(kMagic);
    out.put<std::uint32_t>(kVersion);
    out.put<std::uint64_t>(size);
    out.put<std::uint64_t>(checksum(payload, size));
}

std::optional<TextIndexEntries> readBinary(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return std::nullopt;
    const qint64 size = in.size();
    if (size < qint64(kHeaderSize)) return std::nullopt;
    // Read, not mapped: a mapped file that shrinks under us (another program, a
    // network file system) would end the process on the next page.
    const QByteArray read = in.readAll();
    if (read.size() != size) return std::nullopt;
    const char* bytes = read.constData();
    Input header(bytes, kHeaderSize);
    std::uint32_t magic = 0, version = 0;
    std::uint64_t payloadSize = 0, sum = 0;
    header.get(magic), header.get(version), header.get(payloadSize), header.get(sum);
    if (magic != kMagic || version != kVersion || payloadSize != std::uint64_t(size) - kHeaderSize)
        return std::nullopt;
    const char* payload = bytes + kHeaderSize;
    if (checksum(payload, std::size_t(payloadSize)) != sum) return std::nullopt;
    return parsePayload(payload, std::size_t(payloadSize));
}

std::optional<TextIndexEntry> entryFromJson(const QJsonValue& value)
{
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue modified = object.value(kModifiedKey);
    const QJsonValue text = object.value(kTextKey);
    if (!modified.isDouble() || !text.isString()) return std::nullopt;
    return TextIndexEntry{modified.toDouble(), text.toString()};
}

} // namespace

Loaded read(const QString& file, const QString& quickFile)
{
    UserFile::checkThread(QFile::encodeName(file).constData());
    const QFileInfo json(file);
    const QFileInfo quick(quickFile);
    if (quick.exists() && (!json.exists() || quick.lastModified() >= json.lastModified())) {
        if (std::optional<TextIndexEntries> entries = readBinary(quickFile))
            return Loaded{std::move(*entries), {}, !json.exists()};
    }
    Loaded loaded = readJson(file);
    loaded.needsSave = loaded.unreadable.isEmpty() && json.exists();
    return loaded;
}

Loaded readJson(const QString& path)
{
    Loaded loaded;
    QFile file(path);
    if (!file.exists()) return loaded;
    QJsonParseError error;
    const QJsonDocument document = file.open(QIODevice::ReadOnly)
                                       ? QJsonDocument::fromJson(file.readAll(), &error)
                                       : QJsonDocument();
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (std::optional<TextIndexEntry> entry = entryFromJson(it.value()))
            loaded.entries.insert(it.key(), *entry);
    }
    if (!document.isObject() || (loaded.entries.isEmpty() && !object.isEmpty()))
        loaded.unreadable.append(path);
    return loaded;
}

QByteArray encodedJson(const TextIndexEntries& entries)
{
    // Inserting keys in the object's own order appends each one; in hash order
    // every insert would shift the rest.
    QStringList paths = entries.keys();
    std::sort(paths.begin(), paths.end());
    QJsonObject object;
    for (const QString& path : std::as_const(paths)) {
        const TextIndexEntry& entry = entries[path];
        object.insert(path, QJsonObject{{kModifiedKey, entry.modified}, {kTextKey, entry.text}});
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray encoded(const TextIndexEntries& entries)
{
    std::size_t size = kHeaderSize + 8;
    std::uint64_t count = 0;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        // Longer than a length can say: never recognised from one file.
        if (it.key().size() > kLongestString || it->text.size() > kLongestString) continue;
        size += kRecordHeaderSize + storedSize(it.key()) + storedSize(it->text);
        ++count;
    }
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    Output out(bytes.data() + kHeaderSize);
    out.put<std::uint64_t>(count);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it.key().size() > kLongestString || it->text.size() > kLongestString) continue;
        out.put<double>(it->modified);
        out.putLength(it.key());
        out.putLength(it->text);
        out.putUnits(it.key());
        out.putUnits(it->text);
    }
    writeHeader(bytes.data(), bytes.constData() + kHeaderSize, size - kHeaderSize);
    return bytes;
}

QByteArray withHeader(QByteArrayView payload)
{
    QByteArray bytes(qsizetype(kHeaderSize), Qt::Uninitialized);
    bytes.append(payload);
    writeHeader(bytes.data(), bytes.constData() + kHeaderSize, std::size_t(payload.size()));
    return bytes;
}

std::optional<TextIndexEntries> parsePayload(const char* payload, std::size_t size)
{
    Input in(payload, size);
    std::uint64_t count = 0;
    if (!in.get(count) || count > in.left() / kRecordHeaderSize) return std::nullopt;
    TextIndexEntries entries;
    entries.reserve(qsizetype(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        double modified = 0;
        std::uint32_t pathLength = 0, textLength = 0;
        QString path, text;
        if (!in.get(modified) || !in.get(pathLength) || !in.get(textLength) ||
            !in.getText(pathLength, path) || !in.getText(textLength, text))
            return std::nullopt;
        entries.insert(path, TextIndexEntry{modified, std::move(text)});
    }
    if (in.left() != 0) return std::nullopt;
    return entries;
}

} // namespace ovra::TextIndexFile
