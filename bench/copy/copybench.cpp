// Times the copier on demand: "qm_bench_copy file SRC DST" copies one file, "qm_bench_copy tree
// SRC DST" copies every regular file below SRC to the same place below DST, creating folders
// first as a run would. Prints the seconds taken and the bytes copied.
#include "FakeHost.h"
#include "core/Context.h"
#include "core/Errors.h"
#include "bigfile/CopyBigFiles.h"
#include <QFileInfo>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>

namespace {

qint64 files = 0;

void copyTree(Context &ctx, const QByteArray &src, const QByteArray &dst)
{
    ::mkdir(dst.constData(), 0777);
    DIR *d = ::opendir(src.constData());
    if (!d)
        return;
    while (dirent *e = ::readdir(d)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        const QByteArray s = src + '/' + n, t = dst + '/' + n;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::lstat(s.constData(), &st) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            copyTree(ctx, s, t);
        } else if (type == DT_REG) {
            CopyBigFiles(ctx, QFile::decodeName(s), QFile::decodeName(t));
            ++files;
        }
    }
    ::closedir(d);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: qm_bench_copy file|tree SRC DST\n");
        return 2;
    }
    FakeHost host;
    host.asker.answerDefaults(true);
    Context ctx(&host);
    const QByteArray mode = argv[1];
    QElapsedTimer t;
    t.start();
    const QString src = QFile::decodeName(argv[2]), dst = QFile::decodeName(argv[3]);
    // The copier works beneath the window's two folders: those of the one file, or the trees.
    const bool one = mode == "file";
    host.setText(Ctl::txtSource, one ? QFileInfo(src).absolutePath() : src);
    host.setText(Ctl::txtTarget, one ? QFileInfo(dst).absolutePath() : dst);
    try {
        if (mode == "file") {
            CopyBigFiles(ctx, src, dst);
            files = 1;
        } else {
            copyTree(ctx, argv[2], argv[3]);
        }
    } catch (const AppError &e) {
        std::fprintf(stderr, "error %d: %s\n", e.Number, qPrintable(e.Description));
        return 1;
    }
    std::printf("%.3f s, %lld files, %lld bytes\n", double(t.nsecsElapsed()) / 1e9, (long long)files,
                (long long)ctx.run.ProcessedBytes);
    return 0;
}
