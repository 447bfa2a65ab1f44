// A name as it was written, or the entry undone. A share may store a name it cannot show as
// another one (a shortened name for a device name such as `aux.txt` or `CON`, a name with a
// trailing dot or blank) or cut it short (the client writes `q?x` as `q`): a lookup by the name
// written still finds the entry, but the folder lists it under the other name, and the next
// listing would take that one for an orphan and the one written for new. The folder's own list
// tells, byte for byte.
#include "bigfile/CopyFile.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include <QSet>
#include <algorithm>

using platform::fs;

namespace {

// Every name of the folder, read from the folder itself; false when it cannot be read.
bool listNames(const platform::Folder &folder, QSet<QByteArray> &names)
{
    platform::Folder listed;
    if (fs().openFolder(folder, QByteArrayView(), platform::FolderUse::Read, listed) != 0)
        return false;
    names.clear();
    return fs().readEntries(listed, [&names](const platform::FolderEntry &e) {
               names.insert(QByteArray(e.name, e.length));
           }) == 0;
}

// The folder lists the name in another letter case only: a volume that matches names without
// regard to case keeps the spelling it had (a copy over `photo.jpg` named `Photo.JPG`), and
// finds the entry under either, so the next listing pairs it with its source all the same.
bool listedInOtherCase(const QSet<QByteArray> &names, const QByteArray &name)
{
    const QString wanted = platform::decodeName(name);
    return std::any_of(names.cbegin(), names.cend(), [&wanted](const QByteArray &n) {
        return platform::decodeName(n).compare(wanted, Qt::CaseInsensitive) == 0;
    });
}

} // namespace

bool NameKeptOrUndone(const platform::Folder &folder, const QByteArray &name, bool isFolder, const QString &path,
                      CopyError &error)
{
    QSet<QByteArray> before;
    if (!listNames(folder, before) || before.contains(name) || listedInOtherCase(before, name))
        return true;
    // The entry is this run's own: it goes by the name it was made under, which still finds it.
    // The name that left the folder's list with it is the one the volume stores.
    const int removed = fs().remove(folder, name.constData(), isFolder);
    QSet<QByteArray> after;
    QString storedAs;
    if (removed == 0 && listNames(folder, after)) {
        before.subtract(after);
        if (before.size() == 1)
            storedAs = platform::decodeName(*before.cbegin());
    }
    error = CopyError{CopyStep::NameNotKept, 0, removed, path, storedAs};
    return false;
}
