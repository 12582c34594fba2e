#include "SettingsStore.h"

#include "AtomicSave.h"
#include "XdgPaths.h"

#include <QDir>
#include <QFileInfo>

namespace ovra {
namespace {

// How the file form spells a value that is none, an empty list among them.
constexpr QByteArrayView kNoValue = "@Invalid()";

} // namespace

SettingsStore::SettingsStore()
    : SettingsStore(appFilePath())
{
}

SettingsStore::SettingsStore(const QString& filePath)
    : m_filePath(filePath)
    , m_file(IniFile::read(filePath))
{
}

QString SettingsStore::appFilePath()
{
    return xdg::appConfigDir() + QStringLiteral("/Ovra.conf");
}

QString SettingsStore::filePath() const
{
    return m_filePath;
}

bool SettingsStore::contains(QAnyStringView key) const
{
    return m_file.raw(key.toString()).has_value();
}

std::optional<QString> SettingsStore::text(QAnyStringView key) const
{
    const auto raw = m_file.raw(key.toString());
    if (!raw) return std::nullopt;
    const IniValue value = IniValue::decode(*raw);
    if (value.isList) return std::nullopt;
    return value.elements.value(0);
}

std::optional<QStringList> SettingsStore::textList(QAnyStringView key) const
{
    const auto raw = m_file.raw(key.toString());
    if (!raw) return std::nullopt;
    const IniValue value = IniValue::decode(*raw);
    // The INI form cannot tell a one-element list from a single text, and
    // writes an empty list as no value; a single value of any other type is not
    // a list of texts.
    if (!value.isList) {
        if (const auto text = value.elements.value(0)) return QStringList{*text};
        if (raw->trimmed() == kNoValue) return QStringList();
        return std::nullopt;
    }
    // A list with a foreign element in it (a date, raw bytes, an unreadable
    // value) keeps its text elements rather than losing them all.
    QStringList texts;
    for (const std::optional<QString>& element : value.elements)
        if (element) texts.append(*element);
    return texts;
}

std::optional<bool> SettingsStore::flag(QAnyStringView key) const
{
    const std::optional<QString> stored = text(key);
    if (stored == QLatin1StringView("true")) return true;
    if (stored == QLatin1StringView("false")) return false;
    return std::nullopt;
}

void SettingsStore::setText(QAnyStringView key, const QString& value)
{
    write(key, IniValue::encode(value));
}

void SettingsStore::setTextList(QAnyStringView key, const QStringList& value)
{
    write(key, IniValue::encode(value));
}

void SettingsStore::setFlag(QAnyStringView key, bool value)
{
    write(key, value ? QByteArrayLiteral("true") : QByteArrayLiteral("false"));
}

void SettingsStore::write(QAnyStringView key, const QByteArray& value)
{
    m_file = IniFile::read(m_filePath);
    m_file.setRaw(key.toString(), value);
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    AtomicSave::save(m_filePath, m_file.encoded());
}

} // namespace ovra
