#pragma once

#include "CoalescingWriter.h"
#include "IniFile.h"

#include <QAnyStringView>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include <memory>
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
// of another type is never decoded at all (see IniFile).
//
// The file is read once, when the store is made, and the store answers from
// memory after that; a change is saved in the background (one coalescing writer
// on the files pool), so the GUI thread that owns the store never waits for
// the disk. Reading blocks: make a store off the GUI thread (the GUI-thread
// check of UserFile covers it) and hand it over. One thread at a time.
class SettingsStore {
public:
    // The app's own file, $XDG_CONFIG_HOME/Ovra/Ovra.conf, located from the
    // environment and read now; the temporaries of saves cut short beside it
    // go.
    SettingsStore();
    // Another settings file in the same form (the earlier app's, say), read now.
    explicit SettingsStore(const QString& filePath);
    // Settings held in memory alone: nothing is read and nothing saved.
    static SettingsStore inMemory();

    SettingsStore(SettingsStore&&) noexcept;
    SettingsStore& operator=(SettingsStore&&) noexcept;
    // Waits for the saves asked for, so nothing is lost when the store goes.
    ~SettingsStore();

    static QString appFilePath();
    // Empty for a store in memory alone.
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

    // Each write holds at once and reaches the file moments later. A save is
    // made over the file as it is then, changing only the keys this store
    // wrote, so two stores of one file never undo each other's writes. A save
    // that fails keeps the file as it was, and the next one tries its keys again;
    // so does one refused because the file would grow past what a read takes
    // (IniFile::kLargestFile).
    // A file linked in is saved where it lives, and the link stays. A file that
    // cannot be read (too large, unreadable) is set aside as "….unreadable"
    // before the first save, never saved over; something that is no file (a
    // FIFO, a device) is left where it is, and nothing is saved.
    void setText(QAnyStringView key, const QString& value);
    void setTextList(QAnyStringView key, const QStringList& value);
    void setFlag(QAnyStringView key, bool value);

    // Blocks until every write so far has been saved (or failed to be).
    void flush() const;

private:
    struct Unsaved;
    SettingsStore(QString filePath, IniFile file);
    void write(QAnyStringView key, const QByteArray& value);

    QString m_filePath;
    IniFile m_file;
    std::shared_ptr<Unsaved> m_unsaved;
    std::unique_ptr<CoalescingWriter> m_writer; // none for a store in memory alone
};

} // namespace ovra
