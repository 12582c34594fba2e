#include "ExifReader.h"

#include "ByteSource.h"

#include <QDateTime>

#include <limits>

namespace ovra::md {

namespace {

// Tags we read.
constexpr std::uint16_t kNewSubfileType = 0x00FE;
constexpr std::uint16_t kImageWidth = 0x0100;
constexpr std::uint16_t kImageLength = 0x0101;
constexpr std::uint16_t kMake = 0x010F;
constexpr std::uint16_t kModel = 0x0110;
constexpr std::uint16_t kExifIfdPointer = 0x8769;
constexpr std::uint16_t kDateTimeOriginal = 0x9003;
constexpr std::uint16_t kOffsetTimeOriginal = 0x9011;

// Field types.
constexpr std::uint16_t kTypeAscii = 2;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

// A real IFD has a few dozen entries; a count in the thousands is damage.
constexpr std::uint32_t kMaxEntries = 1024;
// Make, model and dates are short; anything longer is not what we want.
constexpr std::uint32_t kMaxStringLength = 256;

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint64_t valueOffset; // where the value's bytes are, inline or not
};

class TiffWalker {
public:
    TiffWalker(const ByteSource& source, bool bigEndian)
        : m_source(source)
        , m_bigEndian(bigEndian)
    {
    }

    template <typename Visit> void forEachEntry(std::uint64_t ifdOffset, Visit&& visit) const
    {
        const auto count = m_source.u16(ifdOffset, m_bigEndian);
        if (!count || *count > kMaxEntries) return;
        for (std::uint32_t i = 0; i < *count; ++i) {
            const std::uint64_t at = ifdOffset + 2 + 12ull * i;
            const auto tag = m_source.u16(at, m_bigEndian);
            const auto type = m_source.u16(at + 2, m_bigEndian);
            const auto n = m_source.u32(at + 4, m_bigEndian);
            const auto inlineOrOffset = m_source.u32(at + 8, m_bigEndian);
            if (!tag || !type || !n || !inlineOrOffset) return;
            const std::uint64_t bytes = std::uint64_t(typeSize(*type)) * *n;
            visit(Entry{*tag, *type, *n, bytes <= 4 ? at + 8 : *inlineOrOffset});
        }
    }

    std::optional<std::uint32_t> unsignedValue(const Entry& entry) const
    {
        if (entry.count < 1) return std::nullopt;
        if (entry.type == kTypeShort) return m_source.u16(entry.valueOffset, m_bigEndian);
        if (entry.type == kTypeLong) return m_source.u32(entry.valueOffset, m_bigEndian);
        return std::nullopt;
    }

    std::optional<QString> stringValue(const Entry& entry) const
    {
        if (entry.type != kTypeAscii || entry.count == 0 || entry.count > kMaxStringLength)
            return std::nullopt;
        QByteArray bytes(entry.count, Qt::Uninitialized);
        if (!m_source.read(entry.valueOffset, bytes.data(), entry.count)) return std::nullopt;
        const qsizetype nul = bytes.indexOf('\0');
        if (nul >= 0) bytes.truncate(nul);
        // EXIF says ASCII; cameras write UTF-8 or Latin-1 at times, and fromUtf8
        // keeps the former right and the latter readable.
        QString text = QString::fromUtf8(bytes).trimmed();
        if (text.isEmpty()) return std::nullopt;
        return text;
    }

private:
    static std::uint32_t typeSize(std::uint16_t type)
    {
        switch (type) {
        case 1:
        case 2:
        case 6:
        case 7: return 1; // BYTE, ASCII, SBYTE, UNDEFINED
        case 3:
        case 8: return 2; // SHORT, SSHORT
        case 4:
        case 9:
        case 11:
        case 13: return 4; // LONG, SLONG, FLOAT, IFD
        case 5:
        case 10:
        case 12: return 8; // RATIONAL, SRATIONAL, DOUBLE
        case 16:
        case 17:
        case 18: return 8; // LONG8, SLONG8, IFD8 (BigTIFF)
        default: return 1;
        }
    }

    const ByteSource& m_source;
    bool m_bigEndian;
};

std::optional<int> positiveInt(std::optional<std::uint32_t> value)
{
    if (!value || *value == 0 || *value > std::uint32_t(std::numeric_limits<int>::max()))
        return std::nullopt;
    return int(*value);
}

} // namespace

TiffFields ExifReader::readTiff(const ByteSource& source)
{
    TiffFields fields;
    bool bigEndian;
    if (source.matches(0, QByteArrayView("MM\0*", 4)))
        bigEndian = true;
    else if (source.matches(0, QByteArrayView("II*\0", 4)))
        bigEndian = false;
    else
        return fields;
    const auto ifd0 = source.u32(4, bigEndian);
    if (!ifd0) return fields;

    const TiffWalker walker(source, bigEndian);
    std::optional<std::uint32_t> exifIfd;
    bool isReducedImage = false;
    walker.forEachEntry(*ifd0, [&](const Entry& e) {
        switch (e.tag) {
        case kNewSubfileType:
            isReducedImage = (walker.unsignedValue(e).value_or(0) & 1) != 0;
            break;
        case kImageWidth: fields.imageWidth = positiveInt(walker.unsignedValue(e)); break;
        case kImageLength: fields.imageHeight = positiveInt(walker.unsignedValue(e)); break;
        case kMake: fields.make = walker.stringValue(e); break;
        case kModel: fields.model = walker.stringValue(e); break;
        case kExifIfdPointer: exifIfd = walker.unsignedValue(e); break;
        default: break;
        }
    });
    // Camera raw files (DNG, NEF) open with a small preview and keep the real
    // image in sub-IFDs: the preview's size would be wrong, so give none.
    if (isReducedImage) {
        fields.imageWidth.reset();
        fields.imageHeight.reset();
    }
    if (!exifIfd || *exifIfd == *ifd0) return fields;

    std::optional<QString> dateTime;
    std::optional<QString> offset;
    walker.forEachEntry(*exifIfd, [&](const Entry& e) {
        if (e.tag == kDateTimeOriginal)
            dateTime = walker.stringValue(e);
        else if (e.tag == kOffsetTimeOriginal)
            offset = walker.stringValue(e);
    });
    if (dateTime)
        fields.dateTimeOriginal = parseExifDateTime(*dateTime, offset.value_or(QString()));
    return fields;
}

std::optional<double> ExifReader::parseExifDateTime(const QString& dateTime, const QString& offset)
{
    // "YYYY:MM:DD HH:MM:SS": digits at fixed places, separators between them.
    if (dateTime.size() < 19) return std::nullopt;
    const auto number = [&](qsizetype at, qsizetype length) -> int {
        int value = 0;
        for (qsizetype i = at; i < at + length; ++i) {
            const QChar c = dateTime.at(i);
            if (!c.isDigit() || c.unicode() > '9') return -1;
            value = value * 10 + (c.unicode() - '0');
        }
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    if (!date.isValid() || !time.isValid() || date.year() < 1) return std::nullopt;

    QDateTime stamp(date, time, Qt::LocalTime);
    // "+HH:MM" or "-HH:MM"
    if (offset.size() == 6 && (offset.at(0) == u'+' || offset.at(0) == u'-') &&
        offset.at(3) == u':') {
        bool hoursOk = false;
        bool minutesOk = false;
        const int hours = offset.mid(1, 2).toInt(&hoursOk);
        const int minutes = offset.mid(4, 2).toInt(&minutesOk);
        if (hoursOk && minutesOk && hours <= 14 && minutes < 60) {
            const int seconds = (hours * 60 + minutes) * 60;
            stamp =
                QDateTime(date, time, Qt::OffsetFromUTC, offset.at(0) == u'-' ? -seconds : seconds);
        }
    }
    if (!stamp.isValid()) return std::nullopt;
    return double(stamp.toSecsSinceEpoch());
}

} // namespace ovra::md
