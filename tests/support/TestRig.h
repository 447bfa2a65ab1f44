#pragma once
// Common ground of the engine tests: a pinned locale, a temporary folder, a context around a
// recording host, the real run log in the temporary folder and a settings file of its own.
#include "FakeHost.h"
#include "core/Context.h"
#include <QDateTime>
#include <QHash>
#include <QTemporaryDir>
#include <sys/types.h>
#include <memory>

// en_US: "," groups thousands, "." is the decimal point. Call once per test program
// (initTestCase) before anything formats a number.
void pinTestLocale();

struct TestRig {
    TestRig();
    QTemporaryDir tmp;
    FakeHost host;
    std::unique_ptr<Context> ctxPtr;
    Context &ctx;

    QString path(const QString &rel) const;        // tmp + "/" + rel
    QString logFile() const;                      // the run log's path
    QStringList logLines() const;                 // split at CR LF; the final empty piece dropped
    QString logText() const;
};

// Files and folders for real trees.
void mkdirs(const QString &path);
void writeFile(const QString &path, const QByteArray &content);
void writeFileOfSize(const QString &path, qint64 size, char fill = 'x');
void setMTime(const QString &path, const QDateTime &t);      // modification (and access) time
QDateTime mtime(const QString &path);
QByteArray readFile(const QString &path);
// The names in a folder, byte names included (decoded the program's way), sorted.
QStringList folderNames(const QString &folder);

// Permissions do not stop the superuser. Where the tests run as root, this gives the tree
// under `root` to an unprivileged user (65534) and takes on that user's rights until it goes
// out of scope; for anyone else it changes nothing. `ok()` is false (with the reason in
// `why`) when the rights could not be changed.
class Unprivileged {
public:
    explicit Unprivileged(const QString &root);
    ~Unprivileged();
    bool ok() const { return why.isEmpty(); }
    QString why;
private:
    bool switched_ = false;
    gid_t gid_ = 0;
};

// What a trash folder (files/ and info/ inside) holds: the Path of each info file, decoded to
// a name, -> the item in files/. A Path without a file, or a file without its info, is
// reported as a test failure by the callers through trashIsConsistent.
QHash<QString, QString> trashContents(const QString &trash);
// The item the trash keeps for `original` (the Path its info file names); empty when none.
QString trashedItem(const QString &trash, const QString &original);
// Every entry of files/ has its info file and every info file its entry, each info file
// starts with "[Trash Info]" and has a DeletionDate.
bool trashIsConsistent(const QString &trash);
