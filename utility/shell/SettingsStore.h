#pragma once

#include <QString>

// The per-user settings store of the program: text values by section and key, kept in an INI file
// under the application name "Moxtrel". Every save reaches the file at once, so a crash loses
// nothing that was already saved.
class SettingsStore {
public:
    static constexpr const char* ApplicationName = "Moxtrel";

    // The stored text, or defaultValue when the key is missing.
    static QString GetSetting(const QString& section, const QString& key, const QString& defaultValue = QString());
    static void SaveSetting(const QString& section, const QString& key, const QString& value);

    // The INI file in use: the one set by setFileName, else Moxtrel/Moxtrel.ini in the user's
    // configuration folder ($XDG_CONFIG_HOME, by default ~/.config).
    static QString fileName();
    // Test seam: a store file of its own; an empty name returns to the usual one.
    static void setFileName(const QString& path);
};
