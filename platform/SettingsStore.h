#pragma once

#include <QString>

namespace platform {

// The per-user settings store: a value under application name, section and key.
// Values are kept as text; a missing key gives the default.
QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue);
void SaveSetting(const QString& appName, const QString& section, const QString& key,
                 const QString& value);

} // namespace platform
