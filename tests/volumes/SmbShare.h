#pragma once
// A real SMB share for the tests: the Samba server (smbd) with a configuration of its own under
// a temporary folder, listening on 127.0.0.1 only, and the share mounted through the smbnetfs
// FUSE client the way a user mounts one. Nothing leaves the machine: the server binds the
// loopback interface only, no NetBIOS service runs, and the client knows the one host by its
// address (no browsing, no broadcast, no name service). The server runs in a session of its own
// (it signals its process group when it ends); both are stopped when the object goes.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <unistd.h>

class SmbShare {
public:
    // On failure `why` says what is missing. `vetoed`: names the server refuses ("/a/b/").
    static std::unique_ptr<SmbShare> start(const QString &vetoed, QString *why)
    {
        auto fail = [why](const QString &text) {
            *why = text;
            return nullptr;
        };
        if (::geteuid() != 0)
            return fail(QStringLiteral("the share's server needs root"));
        if (!QFile::exists(QStringLiteral("/dev/fuse")))
            return fail(QStringLiteral("no /dev/fuse"));
        for (const QString &tool : {QStringLiteral("smbd"), QStringLiteral("smbpasswd"), QStringLiteral("smbnetfs"),
                                    QStringLiteral("setsid"), QStringLiteral("umount")})
            if (findTool(tool).isEmpty())
                return fail(tool + QStringLiteral(" is not installed (scripts/setup.sh installs it)"));
        std::unique_ptr<SmbShare> s(new SmbShare);
        if (!s->dir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        const QString problem = s->begin(vetoed);
        return problem.isEmpty() ? std::move(s) : fail(problem);
    }

    ~SmbShare()
    {
        for (int i = 0; i < 20 && mounted(); ++i) {
            run(findTool(QStringLiteral("umount")), {mountPoint}, nullptr);
            if (mounted())
                QThread::msleep(100);
        }
        if (mounted())
            run(findTool(QStringLiteral("umount")), {QStringLiteral("-l"), mountPoint}, nullptr);
        for (QProcess *p : {&client, &server}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(10000)) {
                p->kill();
                p->waitForFinished(2000);
            }
        }
    }

    QString mountPoint;  // where the client mounts the network
    QString share;       // the share as the client shows it (no trailing separator)
    QString served;      // the folder the server shares, read directly
    QString base;        // the temporary folder of the whole set-up

private:
    static constexpr const char *kPassword = "quorvel";

    SmbShare() : dir(QDir::tempPath() + QStringLiteral("/qm-share-XXXXXX")) { base = dir.path(); }

    // A port of its own (not the well-known one a system server may hold), by process.
    static int port() { return 20000 + int(::getpid() % 20000); }

    QString begin(const QString &vetoed)
    {
        for (const char *d : {"lock", "state", "cache", "private", "pid", "ncalrpc", "log", "served", "home/.smb", "mnt"})
            QDir().mkpath(base + QLatin1Char('/') + QLatin1String(d));
        served = base + QStringLiteral("/served");
        mountPoint = base + QStringLiteral("/mnt");
        const QString host = QStringLiteral("127.0.0.1:") + QString::number(port());
        share = mountPoint + QLatin1Char('/') + host + QStringLiteral("/share");
        writeServerConfig(vetoed);
        writeClientConfig(host);
        QProcess pass;
        pass.start(findTool(QStringLiteral("smbpasswd")),
                   {QStringLiteral("-c"), serverConfig(), QStringLiteral("-s"), QStringLiteral("-a"), QStringLiteral("root")});
        pass.write(QByteArray(kPassword) + '\n' + kPassword + '\n');
        pass.closeWriteChannel();
        if (!pass.waitForFinished(30000) || pass.exitCode() != 0)
            return QStringLiteral("smbpasswd failed: ") + QString::fromLocal8Bit(pass.readAll());
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.setStandardOutputFile(base + QStringLiteral("/log/smbd.out"));
        server.start(findTool(QStringLiteral("setsid")),
                     {findTool(QStringLiteral("smbd")), QStringLiteral("--foreground"), QStringLiteral("--no-process-group"),
                      QStringLiteral("--configfile=") + serverConfig(), QStringLiteral("--debug-stdout")});
        if (!server.waitForStarted(10000) || !waitFor([] { return listening(port()); }))
            return QStringLiteral("smbd did not listen on 127.0.0.1:") + QString::number(port()) + QStringLiteral(": ")
                + QString::fromLocal8Bit(readAll(base + QStringLiteral("/log/smbd.out")).right(400));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), base + QStringLiteral("/home"));
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.setStandardOutputFile(base + QStringLiteral("/log/smbnetfs.out"));
        client.start(findTool(QStringLiteral("smbnetfs")),
                     {mountPoint, QStringLiteral("-f"), QStringLiteral("-o"),
                      QStringLiteral("config=") + base + QStringLiteral("/home/.smb/smbnetfs.conf")});
        const QString probe = share;
        if (!client.waitForStarted(10000) || !waitFor([this, probe] { return mounted() && QDir(probe).isReadable(); }))
            return QStringLiteral("smbnetfs did not mount the share: ")
                + QString::fromLocal8Bit(readAll(base + QStringLiteral("/log/smbnetfs.out")).right(400));
        return QString();
    }

    QString serverConfig() const { return base + QStringLiteral("/smb.conf"); }

    void writeServerConfig(const QString &vetoed)
    {
        QString c = QStringLiteral("[global]\n"
                                   "  workgroup = QMTEST\n"
                                   "  netbios name = QMSHARE\n"
                                   "  server role = standalone server\n"
                                   "  interfaces = lo\n"
                                   "  bind interfaces only = yes\n"
                                   "  disable netbios = yes\n"
                                   "  load printers = no\n"
                                   "  printing = bsd\n"
                                   "  printcap name = /dev/null\n"
                                   "  disable spoolss = yes\n");
        c += QStringLiteral("  smb ports = ") + QString::number(port()) + QLatin1Char('\n');
        for (const char *d : {"lock", "state", "cache", "pid", "ncalrpc"})
            c += QStringLiteral("  ") + QLatin1String(d) + QStringLiteral(" directory = ") + base + QLatin1Char('/')
                + QLatin1String(d) + QLatin1Char('\n');
        c += QStringLiteral("  private dir = ") + base + QStringLiteral("/private\n");
        c += QStringLiteral("  binddns dir = ") + base + QStringLiteral("/private\n");
        c += QStringLiteral("  passdb backend = tdbsam:") + base + QStringLiteral("/private/passdb.tdb\n");
        c += QStringLiteral("  log file = ") + base + QStringLiteral("/log/smbd.log\n");
        c += QStringLiteral("[share]\n  path = ") + served + QStringLiteral("\n  read only = no\n  force user = root\n");
        if (!vetoed.isEmpty())
            c += QStringLiteral("  veto files = ") + vetoed + QLatin1Char('\n');
        writeText(serverConfig(), c);
    }

    // The client's libraries read ~/.smb (HOME is the set-up's own): the one host by its
    // address, no browsing, no NetBIOS, names resolved by the system only (an address needs none).
    void writeClientConfig(const QString &host)
    {
        const QString smb = base + QStringLiteral("/home/.smb/");
        writeText(smb + QStringLiteral("smb.conf"), QStringLiteral("[global]\n"
                                                                   "  workgroup = QMTEST\n"
                                                                   "  disable netbios = yes\n"
                                                                   "  name resolve order = host\n"
                                                                   "  client min protocol = SMB2\n"));
        writeText(smb + QStringLiteral("smbnetfs.conf"),
                  QStringLiteral("smb_query_browsers \"false\"\n"
                                 "show_hidden_hosts \"false\"\n"
                                 "use_libsecret \"false\"\n"
                                 "host ")
                      + host + QStringLiteral(" visible=true\nauth \"root\" \"") + QLatin1String(kPassword)
                      + QStringLiteral("\"\n"));
        QFile::setPermissions(smb + QStringLiteral("smbnetfs.conf"), QFile::ReadOwner | QFile::WriteOwner);
    }

    static void writeText(const QString &path, const QString &text)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text.toUtf8());
    }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // A socket of 127.0.0.1 that listens on `port` (the kernel's table: address and port in hex).
    static bool listening(int port)
    {
        const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray &line : readAll(QStringLiteral("/proc/net/tcp")).split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() > 3 && f[1] == local && f[3] == "0A")
                return true;
        }
        return false;
    }

    template <class Ready> static bool waitFor(Ready ready)
    {
        QElapsedTimer t;
        t.start();
        while (!ready()) {
            if (t.elapsed() > 20000)
                return false;
            QThread::msleep(100);
        }
        return true;
    }

    bool mounted() const
    {
        const QByteArray needle = ' ' + QFile::encodeName(mountPoint) + ' ';
        return readAll(QStringLiteral("/proc/self/mountinfo")).contains(needle);
    }

    static QString findTool(const QString &name)
    {
        QString p = QStandardPaths::findExecutable(name);
        if (p.isEmpty())
            p = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                      QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
        return p;
    }

    static int run(const QString &program, const QStringList &args, QString *output)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished(1000);
            return -1;
        }
        if (output)
            *output = QString::fromLocal8Bit(p.readAll());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QTemporaryDir dir;
    QProcess server, client;
};
