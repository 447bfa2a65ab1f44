#include "scan/FileQuery.h"
#include "core/Format.h"
#include "core/TreeRoots.h"
#include "platform/Platform.h"

namespace scanio {

QByteArray encode(QStringView path)
{
    return platform::encodeName(path);
}

AppError systemError(int err)
{
    return AppError(err, QStringLiteral("Listing"), platform::pathErrorText(err));
}

Meta metaOf(const platform::Status &st)
{
    Meta m;
    m.kind = st.kind == platform::Kind::File ? Kind::File : st.kind == platform::Kind::Folder ? Kind::Folder : Kind::Other;
    if (st.kind == platform::Kind::Link)
        m.kind = Kind::Link;
    m.size = m.kind == Kind::File || m.kind == Kind::Link ? st.size : -1;
    m.mtimeNs = st.mtime.ns();
    m.ctimeNs = st.ctime.ns();
    m.dev = st.dev;
    m.ino = st.ino;
    return m;
}

int lookupAt(const platform::Folder &folder, const char *name, Meta &m)
{
    platform::Status st;
    if (const int err = platform::fs().statAt(folder, name, st))
        return err;
    m = metaOf(st);
    return 0;
}

int FolderLookups::enter(qint64 folderKey, QByteArrayView folderRelative)
{
    if (folderKey == key_)
        return folderErr_;
    key_ = folderKey;
    folder_ = platform::Folder();
    folderErr_ = root_ ? platform::fs().openFolder(*root_, folderRelative, platform::FolderUse::Lookup, folder_)
                       : (rootErr_ ? rootErr_ : platform::errc::NotFound);
    return folderErr_;
}

int FolderLookups::lookupIn(qint64 folderKey, QByteArrayView folderRelative, QByteArrayView name, Meta &m)
{
    if (const int err = enter(folderKey, folderRelative))
        return err;
    return lookupAt(folder_, name.toByteArray().constData(), m);
}

int FolderLookups::lookup(QByteArrayView relative, Meta &m)
{
    QByteArray folder, name;
    platform::splitLast(relative, folder, name);
    // Lookups by path name their folder by its bytes.
    constexpr qint64 kByPath = -4;
    if (key_ != kByPath || folder != keyBytes_) {
        keyBytes_ = folder;
        key_ = kNoFolder;
        enter(kByPath, folder);
    }
    if (folderErr_)
        return folderErr_;
    return lookupAt(folder_, name.constData(), m);
}

Meta FolderLookups::lookupOrThrow(QByteArrayView relative)
{
    Meta m;
    if (const int err = lookup(relative, m))
        throw systemError(err);
    return m;
}

QString dateText(qint64 mtimeNs)
{
    return GeneralDateOfSeconds(wholeSeconds(mtimeNs));
}

QByteArray linkText(Context &ctx, const QString &path)
{
    platform::Folder folder;
    QByteArray name, text;
    int err = ctx.treeRoots().openParent(path, platform::FolderUse::Lookup, folder, name);
    if (!err)
        err = platform::fs().readLinkAt(folder, name.constData(), text);
    if (err)
        throw systemError(err);
    return text;
}

} // namespace scanio
