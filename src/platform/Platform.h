#pragma once
// Everything that differs between operating systems. The rest of the program calls these
// small functions and never the system directly for these services.
#include <QList>
#include <QString>
#include <QtGlobal>

namespace platform {

// The path separator the program's "\" stands for ('/' here, '\\' on Windows).
QChar separator();
inline QString sepString() { return QString(separator()); }

// The user's home folder (the Linux form of "C:\"), without a trailing separator.
QString homeFolder();

// Default folder texts: home + "/Source" and so on.
QString defaultSource();
QString defaultTarget();
QString designSource();   // "C:\temp Source" on Windows
QString designTarget();

// The folder and base name of the running executable.
QString exeFolder();
QString exeBaseName();

// Folder exists (a directory-inclusive lookup that answers true only for a folder).
bool folderExists(const QString &path);

// Moves a file or folder (with its contents) to the desktop trash. Returns false when the
// item did not reach the trash; `error` then carries the system's text.
bool moveToTrash(const QString &path, QString *error = nullptr);
// Tests point the trash at a folder of their own: items are moved there instead.
void setTrashFolderForTests(const QString &folder);

// Read-only: no owner write permission.
bool isReadOnly(const QString &path);
bool makeOwnerWritable(const QString &path, QString *error = nullptr);

// Copies the access and modification times (full precision) and the permission bits of
// `from` (an open descriptor or path) to `to`. Returns false with the system text on failure.
bool copyTimesFromFd(int fromFd, int toFd, QString *error = nullptr);
bool copyPermissions(const QString &from, const QString &to, QString *error = nullptr);

// The system's text for an errno value.
QString systemErrorText(int err);

// Mounted volumes a user would browse: root path, display title and kind.
enum class VolumeKind { Removable, Fixed, Network, Other };
struct Volume {
    QString rootPath;
    QString title;
    VolumeKind kind = VolumeKind::Fixed;
};
QList<Volume> browsableVolumes();

// Total size in bytes of every file below a folder; -1 when the folder cannot be read.
qint64 folderSize(const QString &path);

} // namespace platform
