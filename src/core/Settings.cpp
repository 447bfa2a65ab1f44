#include "core/Settings.h"
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

void Settings::setApplication(const QString &appName)
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    file_ = QDir(dir).filePath(appName + QLatin1Char('/') + appName + QStringLiteral(".ini"));
}

namespace {
// The stored key that matches `key` without regard to case, or `key` itself.
QString storedKey(QSettings &s, const QString &key)
{
    const QStringList keys = s.childKeys();
    for (const QString &k : keys)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return k;
    return key;
}

QString storedGroup(QSettings &s, const QString &section)
{
    const QStringList groups = s.childGroups();
    for (const QString &g : groups)
        if (g.compare(section, Qt::CaseInsensitive) == 0)
            return g;
    return section;
}
} // namespace

QString Settings::GetSetting(const QString &section, const QString &key, const QString &def) const
{
    if (file_.isEmpty() || !QFile::exists(file_))
        return def;
    QSettings s(file_, QSettings::IniFormat);
    s.beginGroup(storedGroup(s, section));
    const QString k = storedKey(s, key);
    if (!s.contains(k))
        return def;
    return s.value(k).toString();
}

void Settings::SaveSetting(const QString &section, const QString &key, const QString &value)
{
    if (file_.isEmpty())
        return;
    QSettings s(file_, QSettings::IniFormat);
    s.beginGroup(storedGroup(s, section));
    // Replace a key of any case by the one written now.
    const QStringList keys = s.childKeys();
    for (const QString &k : keys)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            s.remove(k);
    s.setValue(key, value);
    s.endGroup();
    s.sync();
}

void Settings::DeleteSetting()
{
    if (file_.isEmpty())
        return;
    QFile::remove(file_);
}
