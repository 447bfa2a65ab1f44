// What a copy keeps beyond its contents, given through the door in the order Metadata.h
// describes. No system call here: every step is a call of fs(), which tests wrap to inject the
// refusals of a volume.
#include "platform/Metadata.h"
#include <QtEndian>
#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

constexpr quint32 kSetIdBits = 06000;
constexpr quint32 kPermissionBits = 0777;
constexpr quint32 kAllBits = 07777;
constexpr quint32 kGroupShift = 3;
constexpr quint32 kGroupBits = 07 << kGroupShift;
constexpr quint32 kAclVersion = 2;
constexpr qsizetype kAclHeaderSize = 4;
constexpr qsizetype kAclEntrySize = 8;
constexpr char kCapabilityName[] = "security.capability";

struct Attribute {
    QByteArray name, value;
};

// The work of one giving: both items, what the source has, what the copy has now.
struct Giving {
    Giving(ItemRef src, ItemRef dst, const Status &source, const Privileges &may)
        : src(src), dst(dst), source(source), may(may)
    {
    }
    ItemRef src, dst;
    const Status &source;
    const Privileges &may;
    Status now;
    QList<Attribute> attributes;    // the source's that this process copies, ACLs aside
    QByteArray accessAcl, defaultAcl;
    bool hasAccessAcl = false, hasDefaultAcl = false;
    quint32 intended = 0;           // the bits the copy is to have at the end
    bool ownersChanged = false;     // setOwner was answered with success
    bool madeNow = false;           // the copy is new: nothing of its own to list (see giveMetadata)
    MetadataResult r;

    bool isLink() const { return dst.isLink(); }
    bool isFolder() const { return source.kind == Kind::Folder; }
};

bool startsWith(const QByteArray &name, const char *prefix)
{
    return name.startsWith(prefix);
}

// The attributes this process copies (and removes from a copy that has them and its source
// not). Of the security.* attributes only the file capability is removed: the others are the
// labels the system gives every new item.
bool copies(const Giving &g, const QByteArray &name)
{
    if (startsWith(name, "user."))
        return !g.isLink();
    if (startsWith(name, "trusted.") || startsWith(name, "security."))
        return g.may.systemAttributes;
    return false;
}
bool removesStale(const Giving &g, const QByteArray &name)
{
    if (startsWith(name, "security."))
        return g.may.systemAttributes && name == kCapabilityName;
    if (name == kAccessAclName || name == kDefaultAclName)
        return !g.isLink();
    return copies(g, name);
}

// A refusal of the volume or of the system to this process: the copy goes on without the part.
// Anything else (EIO, EBADF, ENOMEM) is a real failure.
bool isRefusal(int err)
{
    // EOPNOTSUPP is ENOTSUP on Linux.
    switch (err) {
    case ENOTSUP: case ENOSYS: case EPERM: case EACCES: case E2BIG: case ENOSPC: case EDQUOT: case ERANGE:
    case EINVAL:
        return true;
    default:
        return false;
    }
}
// Whether a refusal is the volume's: what it cannot hold at all, or a permission refused to a
// process that may give it (exFAT refuses every owner, even to root).
bool byVolume(int err, bool allowed)
{
    if (err == ENOTSUP || err == ENOSYS || err == E2BIG || err == ENOSPC || err == EDQUOT)
        return true;
    return (err == EPERM || err == EACCES) && allowed;
}

void notKept(Giving &g, MetaPart part, int err, bool volume, const QByteArray &attribute = {})
{
    g.r.notKept.append({part, err, volume, attribute});
}

// Records the outcome of one call: false when the giving must end (a real failure).
bool outcome(Giving &g, MetaPart part, int err, bool allowed, const QByteArray &attribute = {})
{
    if (err == 0) {
        if (!g.r.given.contains(part))
            g.r.given.append(part);
        return true;
    }
    if (isRefusal(err)) {
        notKept(g, part, err, byVolume(err, allowed), attribute);
        return true;
    }
    g.r.failure = err;
    g.r.failedAt = part;
    return false;
}

// Whether the process may change the copy's bits and attributes: its owner, or privileged.
bool mayChange(const Giving &g)
{
    return g.may.changeOwners || g.now.uid == g.may.uid;
}

int statusOf(const Giving &g, Status &out)
{
    return g.isLink() ? fs().statAt(*g.dst.folder, g.dst.name, out) : fs().status(g.dst.fd, out);
}

// The source's attributes and ACLs that this process copies. A source volume without
// attributes has none to give.
bool readSource(Giving &g)
{
    QList<QByteArray> names;
    int err = fs().listAttributes(g.src, names);
    if (err == ENOTSUP || err == ENOSYS)
        return true;
    if (err)
        return outcome(g, MetaPart::Attributes, err, true);
    for (const QByteArray &name : names) {
        const bool access = name == kAccessAclName && !g.isLink();
        const bool deflt = name == kDefaultAclName && g.isFolder();
        if (!access && !deflt && !copies(g, name))
            continue;
        QByteArray value;
        err = fs().readAttribute(g.src, name, value);
        if (err == ENODATA)
            continue; // gone since it was listed
        if (err) {
            if (!outcome(g, access ? MetaPart::Acl : deflt ? MetaPart::DefaultAcl : MetaPart::Attributes, err, true, name))
                return false;
            continue;
        }
        if (access)
            g.accessAcl = value, g.hasAccessAcl = true;
        else if (deflt)
            g.defaultAcl = value, g.hasDefaultAcl = true;
        else
            g.attributes.append({name, value});
    }
    return true;
}

// Owner and group: the source's where the process may give them, else only the group where
// the user belongs to it. What it may not give is reported as the process's, not the volume's.
bool giveOwner(Giving &g)
{
    const bool ownerDiffers = g.now.uid != g.source.uid;
    const bool groupDiffers = g.now.gid != g.source.gid;
    if (!ownerDiffers && !groupDiffers)
        return true;
    if (g.may.changeOwners) {
        const int err = fs().setOwner(g.dst, g.source.uid, g.source.gid);
        g.ownersChanged = err == 0;
        if (err && !isRefusal(err))
            return outcome(g, MetaPart::Owner, err, true);
        if (ownerDiffers)
            outcome(g, MetaPart::Owner, err, true);
        if (groupDiffers)
            outcome(g, MetaPart::Group, err, true);
        return true;
    }
    if (ownerDiffers)
        notKept(g, MetaPart::Owner, EPERM, false);
    if (!groupDiffers)
        return true;
    if (!g.may.inGroup(g.source.gid) || g.now.uid != g.may.uid) {
        notKept(g, MetaPart::Group, EPERM, false);
        return true;
    }
    const int err = fs().setOwner(g.dst, kUnchangedId, g.source.gid);
    g.ownersChanged = err == 0;
    return outcome(g, MetaPart::Group, err, true);
}

// The permission bits, before any ACL: the set-id bits only where owner and group are the
// source's; the group bits no more than the owning group's own rights where the source has an
// ACL, so that a volume that cannot hold it never grants more than the source did.
bool giveMode(Giving &g)
{
    // A change of owner is looked at: a volume may take it without a word and keep none, and
    // the system clears set-id bits with it.
    if (g.ownersChanged)
        if (const int err = statusOf(g, g.now))
            return outcome(g, MetaPart::PermissionBits, err, true);
    quint32 wanted = g.source.mode & kAllBits;
    const bool ownersKept = g.now.uid == g.source.uid && g.now.gid == g.source.gid;
    if (!ownersKept && (wanted & kSetIdBits)) {
        wanted &= ~kSetIdBits;
        g.r.setIdDropped = true;
    }
    g.intended = wanted;
    const quint32 first = g.hasAccessAcl ? modeWithoutAcl(wanted, g.accessAcl) : wanted;
    if ((g.now.mode & kAllBits) == first)
        return true;
    const int err = fs().setMode(g.dst.fd, first);
    return outcome(g, MetaPart::PermissionBits, err, mayChange(g));
}

// Writes one ACL and reads it back: a volume may take it without a word and keep none. `kept`
// says whether the copy holds it; false only for a real failure.
bool giveAcl(Giving &g, const char *name, const QByteArray &value, MetaPart part, bool &kept)
{
    kept = false;
    const QByteArray key(name);
    const int err = fs().writeAttribute(g.dst, key, value);
    if (err)
        return outcome(g, part, err, mayChange(g));
    QByteArray back;
    const int readErr = fs().readAttribute(g.dst, key, back);
    if (readErr && !isRefusal(readErr) && readErr != ENODATA)
        return outcome(g, part, readErr, true);
    if (readErr || back != value) {
        notKept(g, part, 0, true);
        return true;
    }
    kept = true;
    return outcome(g, part, 0, true);
}

bool giveAcls(Giving &g)
{
    if (g.isLink())
        return true;
    bool kept = false;
    if (g.hasAccessAcl) {
        if (!giveAcl(g, kAccessAclName, g.accessAcl, MetaPart::Acl, kept))
            return false;
        // Held: the copy's bits are the source's now, the group bits its mask. Not held: the
        // bits given before stay.
        if (!kept)
            g.intended = modeWithoutAcl(g.intended, g.accessAcl);
    }
    if (g.hasDefaultAcl && !giveAcl(g, kDefaultAclName, g.defaultAcl, MetaPart::DefaultAcl, kept))
        return false;
    return true;
}

// What a copy made just now can hold that its source may not have: the ACLs it inherited from
// its folder, each looked up by its name.
void inheritedNames(const Giving &g, QList<QByteArray> &names)
{
    for (const char *name : {kAccessAclName, kDefaultAclName}) {
        QByteArray value;
        if ((name != kDefaultAclName || g.isFolder()) && fs().readAttribute(g.dst, name, value) == 0)
            names.append(name);
    }
}

// Removes what the copy has and its source has not (an ACL a new file inherited from its
// folder, an attribute a re-copied folder kept), within what this process copies. A copy made
// just now is not listed: only what it inherited is looked up (some share clients fail a list).
bool removeStale(Giving &g)
{
    QList<QByteArray> names;
    int err = 0;
    if (g.madeNow)
        inheritedNames(g, names);
    else
        err = fs().listAttributes(g.dst, names);
    if (err)
        return isRefusal(err) ? true : outcome(g, MetaPart::Attributes, err, true);
    for (const QByteArray &name : names) {
        if (!removesStale(g, name))
            continue;
        const bool onSource = (name == kAccessAclName && g.hasAccessAcl) || (name == kDefaultAclName && g.hasDefaultAcl)
            || std::any_of(g.attributes.cbegin(), g.attributes.cend(), [&name](const Attribute &a) { return a.name == name; });
        if (onSource)
            continue;
        const MetaPart part = name == kAccessAclName ? MetaPart::Acl
            : name == kDefaultAclName                ? MetaPart::DefaultAcl
                                                     : MetaPart::Attributes;
        const int removeErr = fs().removeAttribute(g.dst, name);
        if (removeErr && removeErr != ENODATA && !outcome(g, part, removeErr, mayChange(g), name))
            return false;
    }
    return true;
}

// One attribute; a volume that holds none is reported once and asked no more.
bool giveAttribute(Giving &g, const Attribute &a, bool &volumeHoldsNone)
{
    if (volumeHoldsNone)
        return true;
    const int err = fs().writeAttribute(g.dst, a.name, a.value);
    if (err == ENOTSUP || err == ENOSYS)
        volumeHoldsNone = true;
    return outcome(g, MetaPart::Attributes, err, mayChange(g), a.name);
}

// The attributes, the file capability last: a change of owner clears it, so nothing that
// could change one comes after it.
bool giveAttributes(Giving &g)
{
    bool volumeHoldsNone = false;
    for (const Attribute &a : g.attributes)
        if (a.name != kCapabilityName && !giveAttribute(g, a, volumeHoldsNone))
            return false;
    if (!removeStale(g))
        return false;
    for (const Attribute &a : g.attributes)
        if (a.name == kCapabilityName && !giveAttribute(g, a, volumeHoldsNone))
            return false;
    return true;
}

bool reported(const Giving &g, MetaPart part)
{
    return std::any_of(g.r.notKept.cbegin(), g.r.notKept.cend(), [part](const NotKept &n) { return n.part == part; });
}

// What the copy has now: set-id bits something cleared are set once more; what the volume
// took without a word and keeps otherwise is reported (err 0).
bool checkKept(Giving &g)
{
    Status st;
    if (const int err = statusOf(g, st))
        return outcome(g, MetaPart::SetIdBits, err, true);
    if (st.uid != g.source.uid && !reported(g, MetaPart::Owner))
        notKept(g, MetaPart::Owner, 0, true);
    if (st.gid != g.source.gid && !reported(g, MetaPart::Group))
        notKept(g, MetaPart::Group, 0, true);
    if (g.isLink())
        return true;
    g.r.mode = g.intended;
    if ((st.mode & kPermissionBits) != (g.intended & kPermissionBits)) {
        if (!reported(g, MetaPart::PermissionBits))
            notKept(g, MetaPart::PermissionBits, 0, true);
        return true;
    }
    const quint32 wantedIds = g.intended & kSetIdBits;
    if ((st.mode & kSetIdBits) == wantedIds)
        return true;
    if (fs().setMode(g.dst.fd, g.intended) == 0 && statusOf(g, st) == 0 && (st.mode & kSetIdBits) == wantedIds)
        return true;
    // The system drops them for a group the user is not in.
    notKept(g, MetaPart::SetIdBits, EPERM, false);
    g.r.setIdDropped = true;
    g.r.mode = st.mode & kAllBits;
    return true;
}

MetadataResult give(Giving &g)
{
    if (const int err = statusOf(g, g.now)) {
        outcome(g, MetaPart::Owner, err, true);
        return g.r;
    }
    g.intended = g.now.mode & kAllBits;
    const bool done = readSource(g) && giveOwner(g) && (g.isLink() || giveMode(g)) && giveAcls(g) && giveAttributes(g)
        && checkKept(g);
    Q_UNUSED(done);
    return g.r;
}

} // namespace

QString metaPartName(MetaPart part)
{
    switch (part) {
    case MetaPart::Owner: return QStringLiteral("owner");
    case MetaPart::Group: return QStringLiteral("group");
    case MetaPart::PermissionBits: return QStringLiteral("permission bits");
    case MetaPart::SetIdBits: return QStringLiteral("set-id bits");
    case MetaPart::Acl: return QStringLiteral("ACL");
    case MetaPart::DefaultAcl: return QStringLiteral("default ACL");
    case MetaPart::Attributes: return QStringLiteral("extended attributes");
    }
    return QString();
}

bool MetadataResult::kept(MetaPart part) const
{
    return std::none_of(notKept.cbegin(), notKept.cend(), [part](const NotKept &n) { return n.part == part; });
}

bool MetadataResult::volumeCannotHold(MetaPart part) const
{
    return std::any_of(notKept.cbegin(), notKept.cend(), [part](const NotKept &n) { return n.part == part && n.volume; });
}

MetadataResult giveMetadata(int sourceFd, const Status &source, int destFd, const Privileges &may, bool madeNow)
{
    Giving g(ItemRef::open(sourceFd), ItemRef::open(destFd), source, may);
    g.madeNow = madeNow;
    return give(g);
}

MetadataResult giveLinkMetadata(const Folder &sourceFolder, const char *sourceName, const Status &source,
                                const Folder &destFolder, const char *destName, const Privileges &may)
{
    Giving g(ItemRef::link(sourceFolder, sourceName), ItemRef::link(destFolder, destName), source, may);
    return give(g);
}

// ----- POSIX ACLs -----

bool parseAcl(const QByteArray &raw, QList<AclEntry> &entries)
{
    entries.clear();
    if (raw.size() < kAclHeaderSize || (raw.size() - kAclHeaderSize) % kAclEntrySize != 0)
        return false;
    const uchar *p = reinterpret_cast<const uchar *>(raw.constData());
    if (qFromLittleEndian<quint32>(p) != kAclVersion)
        return false;
    for (qsizetype at = kAclHeaderSize; at < raw.size(); at += kAclEntrySize)
        entries.append({qFromLittleEndian<quint16>(p + at), qFromLittleEndian<quint16>(p + at + 2),
                        qFromLittleEndian<quint32>(p + at + 4)});
    return true;
}

quint32 modeWithoutAcl(quint32 mode, const QByteArray &raw)
{
    QList<AclEntry> entries;
    if (!parseAcl(raw, entries))
        return mode;
    int group = -1, mask = -1;
    for (const AclEntry &e : entries) {
        if (e.tag == acl::GroupObj)
            group = e.perm & 07;
        else if (e.tag == acl::Mask)
            mask = e.perm & 07;
    }
    if (group < 0)
        return mode;
    const quint32 rights = quint32(mask < 0 ? group : group & mask);
    return (mode & ~kGroupBits) | (rights << kGroupShift);
}

} // namespace platform
