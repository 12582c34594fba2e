#include "IniFile.h"

namespace ovra {
namespace {

constexpr QByteArrayView kGeneral = "General";
// Longer escapes than any character needs are cut short.
constexpr int kLongestNumericEscape = 8;

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

qsizetype trailingBackslashes(QByteArrayView text)
{
    qsizetype count = 0;
    while (count < text.size() && text[text.size() - 1 - count] == '\\')
        ++count;
    return count;
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (isSpace(text.front()) || text.front() == '\r'))
        text = text.sliced(1);
    while (!text.isEmpty() && (isSpace(text.back()) || text.back() == '\r'))
        text.chop(1);
    return text;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Keys and section names escape bytes as %XX and characters as %UXXXX.
QString unescapedKey(QByteArrayView text)
{
    QString key;
    QByteArray pending;
    auto flush = [&] {
        key += QString::fromUtf8(pending);
        pending.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 5 < text.size() && text[i + 1] == 'U') {
            int value = 0;
            bool ok = true;
            for (int k = 2; k <= 5; ++k) {
                const int h = hexValue(text[i + k]);
                ok = ok && h >= 0;
                value = value * 16 + h;
            }
            if (ok) {
                flush();
                key += QChar(char16_t(value));
                i += 5;
                continue;
            }
        }
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            pending += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
            continue;
        }
        pending += text[i] == '\\' ? '/' : text[i];
    }
    flush();
    return key;
}

QByteArray escapedKey(const QString& key)
{
    QByteArray out;
    for (const char c : key.toUtf8()) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (plain)
            out += c;
        else
            out += '%' + QByteArray::number(uchar(c), 16).toUpper().rightJustified(2, '0');
    }
    return out;
}

QString fullKey(QByteArrayView section, QByteArrayView name)
{
    const QString key = unescapedKey(name);
    if (section.isEmpty() || section == kGeneral) return key;
    return unescapedKey(section) + u'/' + key;
}

// A value as the line spells it, without the spaces around it; a space or tab
// escaped by a backslash is part of the value. A backslash before a carriage
// return escapes the end of a line, which adds nothing to the value (QSettings
// reads it so), and is left out: kept, it would end the value once the file is
// written again, and join the next line to it.
QByteArrayView trimmedValue(QByteArrayView text)
{
    const QByteArrayView value = trimmed(text);
    const qsizetype end = value.data() - text.data() + value.size();
    if (end >= text.size() || trailingBackslashes(value) % 2 == 0) return value;
    if (isSpace(text[end])) return QByteArrayView(value.data(), value.size() + 1);
    return value.chopped(1);
}

// Joins lines that end in an unescaped backslash with the next one.
QList<QByteArray> logicalLines(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    QByteArray current;
    const QList<QByteArray> physical = bytes.split('\n');
    for (const QByteArray& raw : physical) {
        QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (trailingBackslashes(line) % 2 == 1) {
            current += line.chopped(1);
            continue;
        }
        lines.append(current + line);
        current.clear();
    }
    if (!current.isEmpty()) lines.append(current);
    return lines;
}

// What QSettings makes of one element's text: "@@" stands for a text that
// begins with "@", "@Invalid()" for no value, and "@Type(…)" for a value of
// another type, which is left undecoded.
std::optional<QString> elementValue(const QString& text)
{
    if (!text.startsWith(u'@')) return text;
    if (text.startsWith(QLatin1StringView("@@"))) return text.mid(1);
    for (const char* type : {"@Invalid(", "@ByteArray(", "@String(", "@Variant(", "@DateTime(",
                             "@Rect(", "@Size(", "@Point("}) {
        if (text.startsWith(QLatin1StringView(type)) && text.endsWith(u')')) return std::nullopt;
    }
    return text;
}

void appendCodePoint(QString& out, uint value)
{
    if (QChar::isSurrogate(value) || value > 0x10FFFF) {
        out += QChar(QChar::ReplacementCharacter);
        return;
    }
    const char32_t c = value;
    out += QString::fromUcs4(&c, 1);
}

} // namespace

IniFile IniFile::read(const QString& path, OwnFile::Status* status)
{
    IniFile ini;
    // A settings file may be a link the user made (a folder of dotfiles).
    const QByteArray bytes = OwnFile::read(path, {kLargestFile, OwnFile::Links::followed}, status);
    QByteArray section;
    for (const QByteArray& raw : logicalLines(bytes)) {
        const QByteArrayView line = trimmedValue(raw);
        if (line.isEmpty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            const qsizetype end = line.indexOf(']');
            section = line.sliced(1, (end < 0 ? line.size() : end) - 1).toByteArray();
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) continue;
        Entry entry{section,
                    trimmed(line.first(equals)).toByteArray(),
                    {},
                    trimmedValue(line.sliced(equals + 1)).toByteArray()};
        entry.key = fullKey(entry.section, entry.name);
        // The last of several values for one key wins, as in QSettings.
        if (const auto existing = ini.m_index.constFind(entry.key);
            existing != ini.m_index.cend()) {
            ini.m_entries[*existing].value = entry.value;
            continue;
        }
        ini.m_index.insert(entry.key, ini.m_entries.size());
        ini.m_entries.append(std::move(entry));
    }
    return ini;
}

QByteArray IniFile::encoded() const
{
    // Keys above the first header belong to [General], as QSettings reads them.
    const auto sectionOf = [](const Entry& entry) {
        return entry.section.isEmpty() ? kGeneral.toByteArray() : entry.section;
    };
    // Each section once, where it first appears, with all its keys in order.
    QList<QByteArray> sections;
    QHash<QByteArray, QList<const Entry*>> entriesOf;
    for (const Entry& entry : m_entries) {
        const QByteArray section = sectionOf(entry);
        QList<const Entry*>& entries = entriesOf[section];
        if (entries.isEmpty()) sections.append(section);
        entries.append(&entry);
    }
    QByteArray out;
    for (const QByteArray& section : sections) {
        if (!out.isEmpty()) out += '\n';
        out += '[' + section + "]\n";
        for (const Entry* entry : std::as_const(entriesOf[section]))
            out += entry->name + '=' + entry->value + '\n';
    }
    return out;
}

std::optional<QByteArray> IniFile::raw(const QString& key) const
{
    const auto found = m_index.constFind(key);
    if (found == m_index.cend()) return std::nullopt;
    return m_entries[*found].value;
}

void IniFile::setRaw(const QString& key, const QByteArray& value)
{
    if (const auto found = m_index.constFind(key); found != m_index.cend()) {
        m_entries[*found].value = value;
        return;
    }
    const qsizetype slash = key.lastIndexOf(u'/');
    const QByteArray section = slash < 0 ? kGeneral.toByteArray() : escapedKey(key.first(slash));
    m_index.insert(key, m_entries.size());
    m_entries.append({section, escapedKey(key.mid(slash + 1)), key, value});
}

IniValue IniValue::decode(const QByteArray& raw)
{
    IniValue value;
    QString current;
    QByteArray pending; // plain bytes, decoded as UTF-8 together
    bool inQuotes = false;
    bool isQuoted = false;
    // What an escape spelled out is kept, even a space or a tab at the end.
    qsizetype escapedLength = 0;
    auto flush = [&] {
        current += QString::fromUtf8(pending);
        pending.clear();
    };
    auto finishElement = [&] {
        flush();
        if (!isQuoted) {
            while (current.size() > escapedLength &&
                   (current.back() == u' ' || current.back() == u'\t'))
                current.chop(1);
        }
        value.elements.append(elementValue(current));
        current.clear();
        isQuoted = false;
        escapedLength = 0;
    };
    auto skipSpaces = [&](qsizetype& i) {
        while (i < raw.size() && isSpace(raw[i]))
            ++i;
    };

    qsizetype i = 0;
    skipSpaces(i);
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '\\') {
            if (++i >= raw.size()) break;
            const char escaped = raw[i++];
            flush();
            switch (escaped) {
            case 'a': current += u'\a'; break;
            case 'b': current += u'\b'; break;
            case 'f': current += u'\f'; break;
            case 'n': current += u'\n'; break;
            case 'r': current += u'\r'; break;
            case 't': current += u'\t'; break;
            case 'v': current += u'\v'; break;
            case 'x': {
                uint code = 0;
                for (int n = 0;
                     n < kLongestNumericEscape && i < raw.size() && hexValue(raw[i]) >= 0; ++n)
                    code = code * 16 + uint(hexValue(raw[i++]));
                appendCodePoint(current, code);
                break;
            }
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7': {
                uint code = uint(escaped - '0');
                for (int n = 1;
                     n < kLongestNumericEscape && i < raw.size() && raw[i] >= '0' && raw[i] <= '7';
                     ++n)
                    code = code * 8 + uint(raw[i++] - '0');
                appendCodePoint(current, code);
                break;
            }
            default: current += QLatin1Char(escaped); break;
            }
            escapedLength = current.size();
        } else if (c == '"') {
            ++i;
            isQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) skipSpaces(i);
        } else if (c == ',' && !inQuotes) {
            value.isList = true;
            finishElement();
            ++i;
            skipSpaces(i);
        } else if (c == ';' && !inQuotes) {
            break; // a comment
        } else {
            pending += c;
            ++i;
        }
    }
    finishElement();
    return value;
}

// As QSettings writes a text: a leading "@" doubled, control characters and
// quotes escaped, and the whole in quotes when it holds a separator or begins
// or ends with a space.
QByteArray IniValue::encode(const QString& text)
{
    const QString stored = text.startsWith(u'@') ? u'@' + text : text;
    QByteArray out;
    bool needsQuotes = false;
    bool escapeNextIfHexDigit = false;
    for (const char32_t c : stored.toUcs4()) {
        if (c == ';' || c == ',' || c == '=') needsQuotes = true;
        if (escapeNextIfHexDigit && c < 0x80 && hexValue(char(c)) >= 0) {
            out += "\\x" + QByteArray::number(uint(c), 16);
            continue;
        }
        escapeNextIfHexDigit = false;
        switch (c) {
        case U'\0':
            out += "\\0";
            escapeNextIfHexDigit = true;
            break;
        case U'\a': out += "\\a"; break;
        case U'\b': out += "\\b"; break;
        case U'\f': out += "\\f"; break;
        case U'\n': out += "\\n"; break;
        case U'\r': out += "\\r"; break;
        case U'\t': out += "\\t"; break;
        case U'\v': out += "\\v"; break;
        case U'"':
        case U'\\':
            out += '\\';
            out += char(c);
            break;
        default:
            if (c <= 0x1F) {
                out += "\\x" + QByteArray::number(uint(c), 16);
                escapeNextIfHexDigit = true;
            } else {
                out += QString::fromUcs4(&c, 1).toUtf8();
            }
        }
    }
    if (needsQuotes || out.startsWith(' ') || out.endsWith(' ')) out = '"' + out + '"';
    return out;
}

QByteArray IniValue::encode(const QStringList& texts)
{
    // QSettings writes an empty list as no value.
    if (texts.isEmpty()) return "@Invalid()";
    QByteArray out;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0) out += ", ";
        out += encode(texts[i]);
    }
    return out;
}

} // namespace ovra
