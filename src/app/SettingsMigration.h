#pragma once

#include <QString>

namespace ovra {

// Takes over, once, what the earlier app (Lumo) left behind: its view
// settings, where this app has none of its own yet, and its data folder, where
// this app has none yet (the text index lives there). Runs at start-up before
// anything reads the settings or the data folder; the flag "migratedFromLumo"
// keeps it from ever running again, whatever came of the first run. The
// earlier app's settings file is only read.
class SettingsMigration {
public:
    SettingsMigration() = delete;

    // $XDG_CONFIG_HOME/com.quennet.lumo.conf
    static QString legacySettingsPath();
    // $XDG_DATA_HOME/Lumo
    static QString legacyDataFolder();

    static void run();

private:
    static void copySettings();
    static void moveDataFolder();
};

} // namespace ovra
