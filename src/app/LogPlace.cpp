#include "app/LogPlace.h"
#include "core/RunLog.h"
#include "platform/OwnFiles.h"
#include "platform/Platform.h"
#include <QDir>

namespace {

// The system's places for programs: a log there would be left behind by the package manager
// and readable by every user.
const char *const kSystemPlaces[] = {"/usr", "/opt", "/bin", "/sbin", "/lib"};

bool isUnder(const QString &path, const QString &place)
{
    return path == place || path.startsWith(place + QLatin1Char('/'));
}

} // namespace

bool IsPortableLayout(const ExecutableFolder &exe)
{
    if (exe.path.isEmpty() || !exe.ownedByUser || !exe.writable)
        return false;
    const QString clean = QDir::cleanPath(exe.path);
    for (const char *place : kSystemPlaces)
        if (isUnder(clean, QLatin1String(place)))
            return false;
    return true;
}

QString StateLogFolder(const QString &xdgStateHome, const QString &home)
{
    QString base;
    if (xdgStateHome.startsWith(QLatin1Char('/')))
        base = xdgStateHome;
    else if (home.startsWith(QLatin1Char('/')))
        base = QDir::cleanPath(home + QStringLiteral("/.local/state"));
    else
        return QString();
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return (base == QLatin1String("/") ? QString() : base) + QStringLiteral("/QuorvelMarnisyn");
}

QStringList LogPlaces(const ExecutableFolder &exe, const QString &stateFolder)
{
    QStringList places;
    if (IsPortableLayout(exe))
        places << RunLog::defaultPath(exe.path);
    if (!stateFolder.isEmpty())
        places << RunLog::defaultPath(stateFolder);
    return places;
}

QString NoLogPlaceReason()
{
    return QStringLiteral("XDG_STATE_HOME is not set and the home folder \"") + qEnvironmentVariable("HOME")
        + QStringLiteral("\" does not exist");
}

QStringList DefaultLogPlaces()
{
    ExecutableFolder exe;
    exe.path = platform::exeFolder();
    const platform::FolderStanding s = platform::folderStanding(platform::encodeName(exe.path));
    exe.ownedByUser = s.ownedByUser;
    exe.writable = s.writable;
    const QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    QString home = qEnvironmentVariable("HOME");
    // The home folder itself is never made: a service account's home that does not exist
    // (/nonexistent) stays so, and the run goes without its log.
    if (!stateHome.startsWith(QLatin1Char('/')) && !platform::folderExists(home))
        home.clear();
    return LogPlaces(exe, StateLogFolder(stateHome, home));
}
