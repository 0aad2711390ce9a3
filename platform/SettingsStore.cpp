#include "platform/SettingsStore.h"

#include <QSettings>

namespace platform {

namespace {
// An INI file per application in the user's configuration folder, on every system alike.
QSettings Store(const QString& appName) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(kSettingsApp),
                     appName);
}
QString Path(const QString& section, const QString& key) {
    return section + u'/' + key;
}
} // namespace

QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue) {
    return Store(appName).value(Path(section, key), defaultValue).toString();
}

bool SaveSetting(const QString& appName, const QString& section, const QString& key,
                 const QString& value) {
    QSettings store = Store(appName);
    store.setValue(Path(section, key), value);
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace platform

namespace platform {

bool RemoveSetting(const QString& appName, const QString& section, const QString& key) {
    QSettings store = Store(appName);
    store.remove(Path(section, key));
    store.sync();
    return store.status() == QSettings::NoError;
}

QString SettingsFilePath(const QString& appName) {
    return Store(appName).fileName();
}

} // namespace platform
