#pragma once
// Tests move an item to the trash by its path: its folder is opened as named and the item is
// handed to the door by its last name, as the orphan deletion hands it over.
#include "platform/FileSystem.h"
#include <QDir>
#include <QString>

inline bool trashByPath(const QString &path, QString *error = nullptr)
{
    QByteArray item = platform::encodeName(QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(path)));
    const qsizetype slash = item.lastIndexOf('/');
    platform::Folder parent;
    if (const int err = platform::fs().openRoot(slash == 0 ? QByteArray("/") : item.left(slash), platform::FolderUse::Lookup, parent)) {
        if (error)
            *error = platform::systemErrorText(err);
        return false;
    }
    return platform::fs().moveToTrash(parent, item.constData() + slash + 1, error);
}
