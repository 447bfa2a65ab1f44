#pragma once
// What a copy keeps of its source beyond its contents: owner and group, permission bits with
// the set-id bits, the access ACL and a folder's default ACL, and the extended attributes.
//
// giveMetadata applies them to a copy that is complete but not yet in place (the temporary
// file), to a folder the run made or keeps, or to a link, in this order:
//   1. owner and group (numeric): the source's where the process may give them (root or
//      CAP_CHOWN); otherwise only the source's group, where the user belongs to it;
//   2. the permission bits: the source's, without its set-id bits unless the copy has the
//      source's owner and group; where the source has an ACL, the group bits are the owning
//      group's own rights, not the mask, until the ACL itself is in place (a volume that cannot
//      hold the ACL then never grants more than the source did);
//   3. the access ACL, and for a folder the default ACL;
//   4. the extended attributes: user.* always, trusted.* and security.* when the process may
//      (root); the file capability (security.capability) last of all;
//   5. a look at what the copy has now: the set-id bits that something cleared are set once
//      more, and what the volume took without a word but did not keep is reported.
// The kernel clears set-id bits and a file capability on a change of owner, which is why the
// owner comes first and the capability last. Attributes and ACLs the destination has and the
// source has not (an ACL a new file inherited from its folder) are removed, within what the
// process copies. Times are not touched: the caller sets them after this routine, since
// nothing here may move them afterwards; and it sets no permission bits of its own after it.
//
// Metadata a volume cannot hold never fails the copy: it is reported as not kept. Only a real
// failure (an I/O error and the like) is one.
#include "platform/FileSystem.h"
#include <QList>
#include <QString>
#include <QtGlobal>

namespace platform {

// What the process may give a copy. Read once per run with processPrivileges(); tests make
// their own.
struct Privileges {
    bool changeOwners = false;       // any owner and group (root, CAP_CHOWN)
    bool systemAttributes = false;   // trusted.* and security.*, the file capability (root)
    quint32 uid = 0;                 // the effective user
    QList<quint32> groups;           // the effective group and the supplementary ones
    bool inGroup(quint32 gid) const { return groups.contains(gid); }
};
Privileges processPrivileges();

// The parts of what a copy keeps.
enum class MetaPart : quint8 { Owner, Group, PermissionBits, SetIdBits, Acl, DefaultAcl, Attributes };
// The part's name in a log line: "owner", "group", "permission bits", "set-id bits", "ACL",
// "default ACL", "extended attributes".
QString metaPartName(MetaPart part);

// One part the copy did not get, and why.
struct NotKept {
    MetaPart part;
    // The system's error; 0 where the volume took the value without a word and keeps another.
    int err = 0;
    // True when the volume cannot hold it (FAT, exFAT, NTFS, a file system without ACLs or
    // attributes): one line per run and volume. False when this process may not give it (an
    // owner other than oneself, a group one is not in).
    bool volume = false;
    QByteArray attribute;   // the attribute's name, for Attributes
};

struct MetadataResult {
    quint32 mode = 0;           // the permission bits the copy was given (07777)
    bool setIdDropped = false;  // the source's set-id bits were left off: one line per file
    QList<NotKept> notKept;     // what the copy did not get (a part may appear more than once)
    QList<MetaPart> given;      // what was given beyond what the copy had already
    int failure = 0;            // a real failure (EIO and the like): the copy is not to be trusted
    MetaPart failedAt = MetaPart::Owner;

    bool kept(MetaPart part) const;
    bool volumeCannotHold(MetaPart part) const;
};

// Gives an open copy (`dest`: a regular file or a folder) what its open source has.
// `source` is the source's status, taken from the source descriptor.
// `madeNow`: the copy was made by this run (a temporary file, a new folder), so it holds nothing
// of its own but the labels the system gives every new item and the ACLs it inherited from its
// folder: those are looked up by name instead of listing the copy's attributes, a call some
// share clients fail (smbnetfs loses its connection to the server on it).
MetadataResult giveMetadata(int sourceFd, const Status &source, int destFd, const Privileges &may,
                            bool madeNow = false);
// The same for a symbolic link, by its name in its open folder on each side. A link has no
// permission bits or ACLs of its own, and holds no user.* attributes.
MetadataResult giveLinkMetadata(const Folder &sourceFolder, const char *sourceName, const Status &source,
                                const Folder &destFolder, const char *destName, const Privileges &may);

// Whether a kept folder or file (`dest`, open for reading) lacks something of its source's that
// giveMetadata would give it: an owner or group this process may give, the permission bits
// (with the set-id bits where the owners are kept), the access ACL, a folder's default ACL.
// Extended attributes are not compared. `source` and `dest` are the two statuses.
bool metadataDiffers(int sourceFd, const Status &source, int destFd, const Status &dest, const Privileges &may);

// ----- POSIX ACLs as their extended attribute holds them -----
inline constexpr char kAccessAclName[] = "system.posix_acl_access";
inline constexpr char kDefaultAclName[] = "system.posix_acl_default";

struct AclEntry {
    quint16 tag = 0;
    quint16 perm = 0;   // rwx as 4, 2, 1
    quint32 id = 0;
};
namespace acl {
inline constexpr quint16 UserObj = 0x01, User = 0x02, GroupObj = 0x04, Group = 0x08, Mask = 0x10, Other = 0x20;
}
// Parses the attribute's bytes (little-endian: version 2, then tag, perm, id per entry); false
// when they are not an ACL of that form.
bool parseAcl(const QByteArray &raw, QList<AclEntry> &entries);
// The permission bits a copy may have where it cannot hold the source's access ACL `raw`: the
// source's, with the group bits the owning group's effective rights (its own entry, limited by
// the mask) instead of the mask the source's mode shows. `mode` unchanged when `raw` is no ACL.
quint32 modeWithoutAcl(quint32 mode, const QByteArray &raw);

} // namespace platform
