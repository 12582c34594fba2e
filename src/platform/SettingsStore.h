#pragma once

#include "IniFile.h"

#include <QAnyStringView>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include <optional>

namespace ovra {

// The keys of the app's settings, spelled as they are stored.
namespace SettingsKey {
inline constexpr QLatin1StringView viewMode{"viewMode"};
inline constexpr QLatin1StringView cardSize{"cardSize"};
inline constexpr QLatin1StringView pinned{"pinned"};
inline constexpr QLatin1StringView liveTextMode{"liveTextMode"};
inline constexpr QLatin1StringView migratedFromLumo{"migratedFromLumo"};
} // namespace SettingsKey

// The user's settings: an INI file in the form QSettings writes. Values written
// by hand or by another app may hold any type, so the typed readers say
// "nothing" for a value of the wrong type instead of converting it, and a value
// of another type is never decoded at all (see IniFile). Main thread only, like
// everything that reads settings.
class SettingsStore {
public:
    // The app's own file, $XDG_CONFIG_HOME/Ovra/Ovra.conf, located from the
    // environment at construction.
    SettingsStore();
    // Another settings file in the same form (the earlier app's, say).
    explicit SettingsStore(const QString& filePath);

    static QString appFilePath();
    QString filePath() const;

    bool contains(QAnyStringView key) const;

    // The value when it is stored as text; nothing when missing or of another type.
    std::optional<QString> text(QAnyStringView key) const;
    // The value when it is stored as a list: its text elements in stored order,
    // skipping any element of another type. A single text counts as a list of
    // one, since that is how the file form writes a one-element list, and no
    // value as an empty list. Nothing when missing or of another type.
    std::optional<QStringList> textList(QAnyStringView key) const;
    // The value when it is stored as a truth value: a real Boolean, or exactly
    // the text "true" or "false" as the file form writes one.
    std::optional<bool> flag(QAnyStringView key) const;

    // Each write reaches the file before it returns, so a crash loses nothing;
    // it is made over the file as it is then, so two stores of one file never
    // undo each other's writes. A write that fails keeps the file as it was.
    void setText(QAnyStringView key, const QString& value);
    void setTextList(QAnyStringView key, const QStringList& value);
    void setFlag(QAnyStringView key, bool value);

private:
    void write(QAnyStringView key, const QByteArray& value);

    QString m_filePath;
    IniFile m_file;
};

} // namespace ovra
