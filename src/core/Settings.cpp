#include "core/Settings.h"
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>
#include "platform/OwnFiles.h"
#include "platform/Platform.h"

void Settings::setApplication(const QString &appName)
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    file_ = QDir(dir).filePath(appName + QLatin1Char('/') + appName + QStringLiteral(".ini"));
}

namespace {
// The stored name among `names` that matches `name` without regard to case, or `name` itself.
QString storedName(const QStringList &names, const QString &name)
{
    for (const QString &n : names)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    return name;
}

QString storedKey(QSettings &s, const QString &key)
{
    return storedName(s.childKeys(), key);
}

QString storedGroup(QSettings &s, const QString &section)
{
    return storedName(s.childGroups(), section);
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
    const QVariant v = s.value(k);
    // A folder name that is not UTF-8 is stored as its bytes (see SaveSetting).
    if (v.typeId() == QMetaType::QByteArray)
        return platform::decodeName(v.toByteArray());
    return v.toString();
}

namespace {
// Why the settings file cannot be written: the system's text of the first failing step.
QString whyNotWritable(const QString &file)
{
    if (const int err = platform::writeRefusal(platform::encodeName(file)))
        return platform::systemErrorText(err);
    return QStringLiteral("The settings file could not be written");
}
} // namespace

bool Settings::SaveSetting(const QString &section, const QString &key, const QString &value, QString *error)
{
    if (file_.isEmpty())
        return true;
    QSettings s(file_, QSettings::IniFormat);
    s.beginGroup(storedGroup(s, section));
    // Replace a key of any case by the one written now.
    const QStringList keys = s.childKeys();
    for (const QString &k : keys)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            s.remove(k);
    // The INI file is UTF-8 text: a name with bytes that are not UTF-8 is kept as its bytes.
    if (platform::hasEscapedBytes(value))
        s.setValue(key, platform::encodeName(value));
    else
        s.setValue(key, value);
    s.endGroup();
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    if (error)
        *error = s.status() == QSettings::FormatError ? QStringLiteral("The settings file is not in the INI format")
                                                      : whyNotWritable(file_);
    return false;
}

void Settings::DeleteSetting()
{
    if (file_.isEmpty())
        return;
    QFile::remove(file_);
}
