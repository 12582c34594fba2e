#include "SettingsMigration.h"

#include "platform/XdgPaths.h"

#include <QDir>
#include <QFileInfo>

namespace ovra {

QString SettingsMigration::legacySettingsPath()
{
    return xdg::configHome() + QStringLiteral("/com.quennet.lumo.conf");
}

QString SettingsMigration::legacyDataFolder()
{
    return xdg::dataHome() + QStringLiteral("/Lumo");
}

SettingsStore SettingsMigration::run()
{
    SettingsStore settings;
    if (settings.flag(SettingsKey::migratedFromLumo).value_or(false)) return settings;
    copySettings(settings);
    moveDataFolder();
    settings.setFlag(SettingsKey::migratedFromLumo, true);
    return settings;
}

// A value is taken over only in the form its reader expects: a value of any
// other type would sit in this app's settings as "set", and so block the
// earlier app's setting for good while every reader ignores it.
void SettingsMigration::copySettings(SettingsStore& settings)
{
    const QString legacyPath = legacySettingsPath();
    if (!QFileInfo(legacyPath).isFile()) return;
    const SettingsStore legacy(legacyPath);

    if (!settings.contains(SettingsKey::pinned)) {
        if (auto pinned = legacy.textList(SettingsKey::pinned))
            settings.setTextList(SettingsKey::pinned, *pinned);
    }
    for (QLatin1StringView key : {SettingsKey::viewMode, SettingsKey::cardSize}) {
        if (settings.contains(key)) continue;
        if (auto text = legacy.text(key)) settings.setText(key, *text);
    }
    if (!settings.contains(SettingsKey::liveTextMode)) {
        if (auto flag = legacy.flag(SettingsKey::liveTextMode))
            settings.setFlag(SettingsKey::liveTextMode, *flag);
    }
}

// Only a folder is taken for this app's folder: a file left under the earlier
// app's name would put a file where the app keeps its folder, and every write
// into it (the text index) would then fail.
void SettingsMigration::moveDataFolder()
{
    const QString legacy = legacyDataFolder();
    const QString own = xdg::appDataDir();
    const QFileInfo legacyInfo(legacy);
    const QFileInfo ownInfo(own);
    if (!legacyInfo.isDir()) return;
    // A dangling link counts as something in the way, too.
    if (ownInfo.exists() || ownInfo.isSymLink()) return;
    // One rename within the same parent folder; a failure leaves both as they were.
    QDir().rename(legacy, own);
}

} // namespace ovra
