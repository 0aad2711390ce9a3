#pragma once

#include <QString>

namespace platform {

// Application name under which the per-user settings are kept: the window, qmxcli and the
// port mapping share one file.
inline constexpr const char* kSettingsApp = "qmxconfig";

// The per-user settings store: a value under application name, section and key.
// Values are kept as text; a missing key gives the default.
QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue);
// Both false when the file could not be written.
bool SaveSetting(const QString& appName, const QString& section, const QString& key,
                 const QString& value);
bool RemoveSetting(const QString& appName, const QString& section, const QString& key);
// Where the store keeps its file.
QString SettingsFilePath(const QString& appName);

} // namespace platform
