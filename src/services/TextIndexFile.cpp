#include "TextIndexFile.h"

#include "platform/Checksum.h"
#include "platform/OwnFile.h"

#include <QByteArrayView>
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

// Far beyond the recognised words of any home. A link at either file's path is
// no index of ours: it is not read, and the next save replaces it.
constexpr OwnFile::Rule kFileRule{1024LL * 1024 * 1024, OwnFile::Links::notFollowed};

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

std::optional<TextIndexEntry> entryFromJson(const QJsonValue& value)
{
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue modified = object.value(kModifiedKey);
    const QJsonValue text = object.value(kTextKey);
    if (!modified.isDouble() || !text.isString()) return std::nullopt;
    return TextIndexEntry{modified.toDouble(), text.toString()};
}

std::optional<TextIndexEntries> readBinary(OwnFile& in)
{
    const std::uint64_t size = in.size();
    if (size < kHeaderSize) return std::nullopt;
    // Read, not mapped: a mapped file that shrinks under us (another program, a
    // network file system) would end the process on the next page.
    const QByteArray read = in.readAll();
    if (std::uint64_t(read.size()) != size) return std::nullopt;
    const char* bytes = read.constData();
    Input header(bytes, kHeaderSize);
    std::uint32_t magic = 0, version = 0;
    std::uint64_t payloadSize = 0, sum = 0;
    header.get(magic), header.get(version), header.get(payloadSize), header.get(sum);
    if (magic != kMagic || version != kVersion || payloadSize != size - kHeaderSize)
        return std::nullopt;
    const char* payload = bytes + kHeaderSize;
    if (checksum(payload, std::size_t(payloadSize)) != sum) return std::nullopt;
    return parsePayload(payload, std::size_t(payloadSize));
}

// A file that is there but cannot be read (too large, a disk error) may be the
// user's only copy: it is moved aside. Something that is no file at all (a
// FIFO, a link) holds nothing, and the next save replaces it.
bool isKeptAside(OwnFile::Status status)
{
    return status == OwnFile::Status::tooLarge || status == OwnFile::Status::unreadable;
}

Loaded readJson(OwnFile& file, const QString& path)
{
    Loaded loaded;
    if (!file.isOpen() && !isKeptAside(file.status())) return loaded;
    QJsonParseError error;
    const QByteArray bytes = file.readAll();
    const QJsonDocument document =
        file.isOpen() ? QJsonDocument::fromJson(bytes, &error) : QJsonDocument();
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (std::optional<TextIndexEntry> entry = entryFromJson(it.value()))
            loaded.entries.insert(it.key(), *entry);
    }
    if (!document.isObject() || (loaded.entries.isEmpty() && !object.isEmpty()))
        loaded.unreadable.append(path);
    return loaded;
}

} // namespace

Loaded read(const QString& file, const QString& quickFile)
{
    OwnFile json = OwnFile::open(file, kFileRule);
    OwnFile quick = OwnFile::open(quickFile, kFileRule);
    // A JSON file there that cannot be read may be newer than the copy.
    const bool quickIsCurrent =
        quick.isOpen() &&
        (json.isOpen() ? quick.modifiedNs() >= json.modifiedNs() : !isKeptAside(json.status()));
    if (quickIsCurrent) {
        if (std::optional<TextIndexEntries> entries = readBinary(quick))
            return Loaded{std::move(*entries), {}, !json.isOpen()};
    }
    Loaded loaded = readJson(json, file);
    loaded.needsSave = loaded.unreadable.isEmpty() && json.isOpen();
    return loaded;
}

Loaded readJson(const QString& path)
{
    OwnFile file = OwnFile::open(path, kFileRule);
    return readJson(file, path);
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
