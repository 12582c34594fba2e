#include "SettingsStore.h"

#include "XdgPaths.h"

#include <QSettings>

namespace ovra {

SettingsStore::SettingsStore()
    : SettingsStore(appFilePath())
{
}

SettingsStore::SettingsStore(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;
SettingsStore::SettingsStore(SettingsStore&&) noexcept = default;
SettingsStore& SettingsStore::operator=(SettingsStore&&) noexcept = default;

QString SettingsStore::appFilePath()
{
    return xdg::appConfigDir() + QStringLiteral("/Ovra.conf");
}

QString SettingsStore::filePath() const
{
    return m_settings->fileName();
}

bool SettingsStore::contains(QAnyStringView key) const
{
    return m_settings->contains(key);
}

QVariant SettingsStore::value(QAnyStringView key) const
{
    return m_settings->value(key);
}

void SettingsStore::setValue(QAnyStringView key, const QVariant& value)
{
    write(key, value);
}

std::optional<QString> SettingsStore::text(QAnyStringView key) const
{
    const QVariant stored = m_settings->value(key);
    if (stored.typeId() != QMetaType::QString) return std::nullopt;
    return stored.toString();
}

std::optional<QStringList> SettingsStore::textList(QAnyStringView key) const
{
    const QVariant stored = m_settings->value(key);
    switch (stored.typeId()) {
    case QMetaType::QStringList: return stored.toStringList();
    // The INI form cannot tell a one-element list from a single text.
    case QMetaType::QString: return QStringList{stored.toString()};
    case QMetaType::QVariantList: {
        // A list with a foreign element in it (a date, raw bytes, an unreadable
        // value) keeps its text elements rather than losing them all.
        QStringList texts;
        for (const QVariant& element : stored.toList())
            if (element.typeId() == QMetaType::QString) texts.append(element.toString());
        return texts;
    }
    default: return std::nullopt;
    }
}

std::optional<bool> SettingsStore::flag(QAnyStringView key) const
{
    const QVariant stored = m_settings->value(key);
    if (stored.typeId() == QMetaType::Bool) return stored.toBool();
    if (stored.typeId() != QMetaType::QString) return std::nullopt;
    const QString text = stored.toString();
    if (text == QLatin1StringView("true")) return true;
    if (text == QLatin1StringView("false")) return false;
    return std::nullopt;
}

void SettingsStore::setText(QAnyStringView key, const QString& value)
{
    write(key, value);
}

void SettingsStore::setTextList(QAnyStringView key, const QStringList& value)
{
    write(key, value);
}

void SettingsStore::setFlag(QAnyStringView key, bool value)
{
    write(key, value);
}

void SettingsStore::write(QAnyStringView key, const QVariant& value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

} // namespace ovra
