#pragma once
// The program itself, run unattended as a scheduler runs it: copied into `dir` so that its run
// log is the test's own, with HOME there too and no display. The exit status (-1 when it did not
// end within `boundMs`). The including test defines QM_EXECUTABLE.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

inline int runProgram(const QString &dir, const QStringList &args, int boundMs = 60000)
{
    const QString exe = dir + QStringLiteral("/QuorvelMarnisyn");
    if (!QFileInfo::exists(exe) && !QFile::copy(QStringLiteral(QM_EXECUTABLE), exe))
        return -1;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), dir);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(exe, args);
    if (!p.waitForFinished(boundMs)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
