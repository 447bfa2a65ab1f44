#pragma once
// Where the run log lives. The program installed for everyone (its folder under /usr, /opt,
// /bin, /sbin or /lib, or not its user's own to write in) keeps its log in the user's state folder:
// $XDG_STATE_HOME/QuorvelMarnisyn/, by default ~/.local/state/QuorvelMarnisyn/. Only a copy
// unpacked into a folder of the user's own (owned by the user running it, writable, not in a
// system place) keeps its log beside the executable, and there the state folder is the second
// place tried. A log left beside an executable in a system place is never touched.
#include <QString>
#include <QStringList>

// What the choice is made from: the executable's folder as the system names it and how the
// running user stands to it.
struct ExecutableFolder {
    QString path;
    bool ownedByUser = false;
    bool writable = false;
};

// Whether the executable lies in a folder of the user's own, outside the system's places.
bool IsPortableLayout(const ExecutableFolder &exe);

// The folder of the log in the state folder: $XDG_STATE_HOME (when absolute) or
// home + "/.local/state", then "/QuorvelMarnisyn". Empty without either.
QString StateLogFolder(const QString &xdgStateHome, const QString &home);

// The places the log is opened at, first that opens wins.
QStringList LogPlaces(const ExecutableFolder &exe, const QString &stateFolder);

// The same for the running process: its executable's folder and its environment.
QStringList DefaultLogPlaces();
// Why the running process has no place at all for its log (no places were found).
QString NoLogPlaceReason();
