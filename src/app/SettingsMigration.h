#pragma once

#include "platform/SettingsStore.h"

#include <QString>

namespace ovra {

// Takes over, once, what the earlier app (Lumo) left behind: its view
// settings, where this app has none of its own yet, and its data folder, where
// this app has none yet (the text index lives there). Runs at start-up before
// anything reads the settings or the data folder; the flag "migratedFromLumo"
// keeps it from ever running again, whatever came of the first run. The
// earlier app's settings file is only read. Runs off the GUI thread.
class SettingsMigration {
public:
    SettingsMigration() = delete;

    // $XDG_CONFIG_HOME/com.quennet.lumo.conf
    static QString legacySettingsPath();
    // $XDG_DATA_HOME/Lumo
    static QString legacyDataFolder();

    // Reads the app's settings, takes over what is due and answers the
    // settings with what it took. Blocks on the disk: the app runs it on a pool
    // thread; the settings reach their file moments later.
    static SettingsStore run();

private:
    static void copySettings(SettingsStore& settings);
    static void moveDataFolder();
};

} // namespace ovra
