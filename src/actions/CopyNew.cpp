// Copy of the items that are new on the source: folders are created, files copied.
#include "actions/Steps.h"
#include "core/Format.h"
#include "bigfile/CopyBigFiles.h"
#include "platform/Platform.h"
#include "core/ResultLists.h"
#include "scan/Compare.h"
#include <cerrno>
#include <sys/stat.h>

using namespace steps;

namespace {

// Creates one folder. Returns 0 when it was created or a folder of that name is there already,
// otherwise the errno of the failure (a file in its place gives EEXIST). For the new folder
// itself (`own`) only a real folder counts: a link in its place would take the copies to
// wherever it points, outside the target tree, onto files the listing never compared.
int makeFolder(const QString &folder, bool own)
{
    const QByteArray name = platform::encodeName(folder);
    if (::mkdir(name.constData(), 0777) == 0)
        return 0;
    const int err = errno;
    struct stat st;
    if (own) {
        if (::lstat(name.constData(), &st) == 0)
            return S_ISDIR(st.st_mode) ? 0 : EEXIST;
        return err;
    }
    // A folder of that name is there (some file systems answer EACCES rather than EEXIST).
    if (platform::folderExists(folder))
        return 0;
    return err;
}

} // namespace

void CreateFolderPath(Context &ctx, QString &path)
{
    ctx.FolderCreateFailed = false;
    const QChar sep = platform::separator();
    while (path.endsWith(sep))
        path.chop(1);
    path += sep;

    // Most new folders sit in a folder that exists already (the listing orders parents first):
    // one call then does it. Otherwise every missing level is created from the top down.
    const QString whole = path.left(path.size() - 1);
    if (!whole.isEmpty() && makeFolder(whole, true) == 0)
        return;

    for (int p = 1; p <= path.size(); ++p) {
        if (path.at(p - 1) != sep)
            continue;
        const QString folder = path.left(p - 1);
        // The root ("/", or a drive "C:") is never created.
        if (folder.isEmpty() || (folder.size() == 2 && folder.at(1) == QLatin1Char(':')))
            continue;
        const int err = makeFolder(folder, p == path.size());
        if (err == 0)
            continue;
        const QString number = QString::number(err);
        const QString text = platform::systemErrorText(err);
        ctx.ui->ask(messageBox(QStringLiteral("Error ") + number + QStringLiteral(" -- ") + text
                                   + QStringLiteral(" trying to create ") + folder,
                               Buttons::Ok, QStringLiteral("Quorvel Marnisyn.. Can't Create Folder")));
        ctx.log.writeC(NowText() + QStringLiteral(" Error ") + number + QStringLiteral(" -- ") + text
                           + QStringLiteral(" trying to create ") + folder,
                       QStringLiteral("Can't Create Folder"));
        ctx.FolderCreateFailed = true;
        return;
    }
}

void CopyNewItems(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    Pacer pacer(ctx);
    const qint32 count = qint32(ctx.NewItems.size());
    const QString sourceRoot = ui.text(Ctl::txtSource);
    const QString targetRoot = ui.text(Ctl::txtTarget);

    // A bar cannot run up to 0: it keeps its last maximum then (and the loop does not run).
    if (count > 0)
        ui.setMaximum(Ctl::pball, count);
    ui.setValue(Ctl::pball, 0);
    ui.setVisible(Ctl::pball, true);
    ctx.log.writeB(QStringLiteral(" .........Start copying ") + QString::number(count) + QStringLiteral(" New Files/Folders."));

    bool folderFailed = false;
    // The folder counter grows by the folders made here; both counters, the bar and the count
    // line are shown when the window's events are due to run and once at the end.
    qint64 folderTotal = CounterValue(ui.text(Ctl::lblTotalFolders, 1));
    qint32 done = 0;
    auto showProgress = [&] {
        ui.setValue(Ctl::pball, done);
        ui.setText(Ctl::lblListStatus1, CountLine(done, count));
        ui.setText(Ctl::lblTotalFiles, CounterText(ctx.TargetFileTotal), 1);
        ui.setText(Ctl::lblTotalFolders, CounterText(folderTotal), 1);
    };
    for (qint32 i = 1; i <= count; ++i) {
        // The entry is copied: the array may not be touched while the window processes events.
        const WorkItem item = ctx.NewItems[size_t(i - 1)];
        QString destination = Counterpart(item.Path, sourceRoot, targetRoot);
        if (pacer.due()) {
            ui.setText(Ctl::lblListStatus,
                       item.IsFolder ? QStringLiteral("Creating folder: ") + destination : QStringLiteral("Copying ") + item.Path);
            showProgress();
            pacer.pumpNow();
            // Stop pressed while the events ran: the item is not begun.
            if (ctx.StopRequested) {
                AcknowledgeStop(ctx);
                break;
            }
        }
        try {
            CheckUnderRoot(item.Path, sourceRoot);
            CheckNotIntoItself(item.Path, sourceRoot, targetRoot);
            if (item.IsFolder) {
                CreateFolderPath(ctx, destination);
                if (ctx.FolderCreateFailed) {
                    ui.setText(Ctl::lblListStatus, QStringLiteral("Error creating: ") + destination);
                    ++ctx.RunFailures;
                    folderFailed = true;
                    break;
                }
                ++folderTotal;
            } else {
                CheckCaseClash(ctx, item.Path, destination);
                CopyBigFiles(ctx, item.Path, destination);
                // After a stop the copier has abandoned the file: it is not counted.
                if (!ctx.StopRequested)
                    ++ctx.TargetFileTotal;
            }
        } catch (const std::exception &e) {
            // This step names the file and its destination (the changed and size copies also
            // log the error itself); a name that differs only in case from one copied already
            // says why as well.
            if (const auto *clash = dynamic_cast<const CaseClashError *>(&e))
                ctx.log.writeB(QStringLiteral(" ") + clash->Description);
            ctx.log.writeB(QStringLiteral(" Could not copy file: ") + item.Path + QStringLiteral(" to ") + destination);
            ++ctx.RunFailures;
        }
        done = i;
        if (ctx.StopRequested) {
            AcknowledgeStop(ctx);
            break;
        }
    }
    showProgress();

    if (ctx.StopRequested) {
        ui.setText(Ctl::lblListStatus, QStringLiteral("New Files Copy Interrupted by User."));
        AcknowledgeStop(ctx);
    } else if (!folderFailed) {
        ui.setText(Ctl::lblListStatus, QStringLiteral("New Files Copy Complete."));
    }
    ui.setVisible(Ctl::pball, false);
    ui.setText(Ctl::lblListStatus1, QString());
    pacer.pumpNow();
}
