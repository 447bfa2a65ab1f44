// The look that tells whether an item kept on both sides has its source's owners, bits and
// ACLs, so that only one that lacks something is given them again.
#include "platform/Metadata.h"

namespace platform {

namespace {

constexpr quint32 kSetIdBits = 06000;

// The ACL `name` of an open item as its bytes; empty where it has none (or the volume holds
// none: the copy could not have got it either).
QByteArray aclOf(int fd, const char *name)
{
    QByteArray value;
    return fs().readAttribute(ItemRef::open(fd), QByteArray(name), value) == 0 ? value : QByteArray();
}

// The owner and group the copy would be given, against the ones it has.
bool ownersDiffer(const Status &source, const Status &dest, const Privileges &may)
{
    if (may.changeOwners)
        return source.uid != dest.uid || source.gid != dest.gid;
    return may.inGroup(source.gid) && source.gid != dest.gid;
}

} // namespace

bool metadataDiffers(int sourceFd, const Status &source, int destFd, const Status &dest, const Privileges &may)
{
    if (ownersDiffer(source, dest, may))
        return true;
    // Set-id bits go with the source's owners only; without them the copy has none.
    const bool ownersKept = source.uid == dest.uid && source.gid == dest.gid;
    const quint32 wanted = ownersKept ? source.mode : source.mode & ~kSetIdBits;
    if ((wanted & 07777) != (dest.mode & 07777))
        return true;
    if (aclOf(sourceFd, kAccessAclName) != aclOf(destFd, kAccessAclName))
        return true;
    return source.kind == Kind::Folder && aclOf(sourceFd, kDefaultAclName) != aclOf(destFd, kDefaultAclName);
}

} // namespace platform
